#include "RequestDeadlines.hpp"

#include <sys/socket.h>

#include <algorithm>

#include "LibraryLog.hpp"

namespace Velmora::Schemas::Mes::_2010_09::Workinstructions::serving {

RequestDeadlines::RequestDeadlines(std::chrono::milliseconds limit, LingeringCloser& closer, std::uint64_t quietBytes)
    : m_limit(limit), m_quietBytes(quietBytes), m_closer(closer), m_watch([this] { watch(); })
{
}

RequestDeadlines::~RequestDeadlines()
{
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_all();
    m_watch.join();
}

void RequestDeadlines::notify(void* self, MHD_Connection* connection, void**, MHD_ConnectionNotificationCode code)
{
    auto& deadlines = *static_cast<RequestDeadlines*>(self);
    try {
        const std::lock_guard<std::mutex> lock(deadlines.m_mutex);
        if (code == MHD_CONNECTION_NOTIFY_CLOSED) {
            const auto found = deadlines.m_connections.find(connection);
            if (found == deadlines.m_connections.end()) return;
            if (found->second.linger) deadlines.m_closer.adopt(found->second.socket);
            deadlines.m_connections.erase(found);
            return;
        }
        const MHD_ConnectionInfo* info = MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CONNECTION_FD);
        if (!info) return;
        deadlines.m_connections[connection] = {info->connect_fd, Clock::now() + deadlines.m_limit, true, false, false};
    } catch (...) {
        // Out of memory for the entry: the connection goes unwatched, bounded by the idle timeout only.
    }
}

void RequestDeadlines::requestIn(MHD_Connection* connection)
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    const auto found = m_connections.find(connection);
    if (found != m_connections.end()) found->second.waiting = false;
}

void RequestDeadlines::requestDone(MHD_Connection* connection)
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    const auto found = m_connections.find(connection);
    if (found == m_connections.end()) return;
    found->second.deadline = Clock::now() + m_limit;
    found->second.waiting = true;
    found->second.begun = false;
    found->second.served = true;
    found->second.receivedBefore = bytesReceived(found->second.socket);
}

void RequestDeadlines::exchangeBegun(MHD_Connection* connection)
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    const auto found = m_connections.find(connection);
    if (found != m_connections.end()) found->second.begun = true;
}

bool RequestDeadlines::unseenRequest(MHD_Connection* connection)
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    const auto found = m_connections.find(connection);
    // After an answer given before its body was read, the rest of the body comes
    // unseen. The kernel counts the client's closing FIN as a byte received.
    return found != m_connections.end() && !found->second.begun && !found->second.linger &&
           bytesReceived(found->second.socket) > found->second.receivedBefore + m_quietBytes;
}

bool RequestDeadlines::servedAny(MHD_Connection* connection)
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    const auto found = m_connections.find(connection);
    return found != m_connections.end() && found->second.served;
}

void RequestDeadlines::lingerOnClose(MHD_Connection* connection)
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    const auto found = m_connections.find(connection);
    if (found != m_connections.end()) found->second.linger = true;
}

bool RequestDeadlines::cutForTime(MHD_Connection* connection)
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    const auto found = m_connections.find(connection);
    return found != m_connections.end() && found->second.cut;
}

void RequestDeadlines::watch()
{
    const auto tick = std::min(std::chrono::milliseconds(250), m_limit / 4 + std::chrono::milliseconds(1));
    std::unique_lock<std::mutex> lock(m_mutex);
    while (!m_stopping) {
        m_wake.wait_for(lock, tick);
        const Clock::time_point now = Clock::now();
        for (auto& [connection, entry] : m_connections) {
            if (!entry.waiting || now < entry.deadline) continue;
            // libmicrohttpd sees the connection fail and closes it.
            ::shutdown(entry.socket, SHUT_RDWR);
            entry.waiting = false;
            entry.cut = true;
        }
    }
}

} // namespace Velmora::Schemas::Mes::_2010_09::Workinstructions::serving
