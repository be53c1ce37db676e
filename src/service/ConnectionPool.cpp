#include "ConnectionPool.hpp"

namespace Velmora::Schemas::Mes::_2010_09::Workinstructions::detail {

ConnectionPool::Lease ConnectionPool::take()
{
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        if (!m_idle.empty()) {
            std::unique_ptr<Transfer> transfer = std::move(m_idle.back());
            m_idle.pop_back();
            return Lease(*this, std::move(transfer));
        }
    }
    // Made outside the lock: setting up a handle need not hold up other calls.
    return Lease(*this, std::make_unique<Transfer>(m_url, m_options));
}

void ConnectionPool::giveBack(std::unique_ptr<Transfer> transfer) noexcept
{
    transfer->stop();
    const std::lock_guard<std::mutex> lock(m_mutex);
    try {
        m_idle.push_back(std::move(transfer));
    } catch (...) {
        // No room to keep it: its connection closes with it.
    }
}

} // namespace Velmora::Schemas::Mes::_2010_09::Workinstructions::detail
