#include "kvsoa/Monitor.hpp"

#include <atomic>

namespace Kavella::Soa::Common {

namespace {
std::atomic<MonitorListener*> installedListener{nullptr};
}

MonitorListener::~MonitorListener() = default;
void MonitorListener::onStart(const std::string&) {}
void MonitorListener::onEnd(const std::string&) {}

void Monitor::markStart(const std::string& traceName)
{
    if (MonitorListener* listener = getListener()) listener->onStart(traceName);
}

void Monitor::markEnd(const std::string& traceName)
{
    if (MonitorListener* listener = getListener()) listener->onEnd(traceName);
}

MonitorListener* Monitor::markStartHeard(const std::string& traceName)
{
    MonitorListener* const listener = getListener();
    if (listener) listener->onStart(traceName);
    return listener;
}

void Monitor::markEnd(MonitorListener* heard, const std::string& traceName)
{
    if (heard && getListener() == heard) heard->onEnd(traceName);
}

void Monitor::setListener(MonitorListener* listener) noexcept
{
    installedListener.store(listener, std::memory_order_release);
}

MonitorListener* Monitor::getListener() noexcept
{
    return installedListener.load(std::memory_order_acquire);
}

} // namespace Kavella::Soa::Common
