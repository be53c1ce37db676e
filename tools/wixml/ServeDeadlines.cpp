#include "ServeDeadlines.hpp"

#include <sys/socket.h>

namespace wixml {

HeaderDeadlines::HeaderDeadlines(std::chrono::seconds limit) : m_limit(limit), m_watch([this] { watch(); }) {}

HeaderDeadlines::~HeaderDeadlines()
{
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_all();
    m_watch.join();
}

void HeaderDeadlines::notify(void* self, MHD_Connection* connection, void**, MHD_ConnectionNotificationCode code)
{
    auto& deadlines = *static_cast<HeaderDeadlines*>(self);
    const std::lock_guard<std::mutex> lock(deadlines.m_mutex);
    if (code == MHD_CONNECTION_NOTIFY_CLOSED) {
        deadlines.m_connections.erase(connection);
        return;
    }
    const MHD_ConnectionInfo* info = MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CONNECTION_FD);
    if (!info) return;
    deadlines.m_connections[connection] = {info->connect_fd, Clock::now() + deadlines.m_limit, true};
}

void HeaderDeadlines::headersIn(MHD_Connection* connection)
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    const auto found = m_connections.find(connection);
    if (found != m_connections.end()) found->second.waiting = false;
}

void HeaderDeadlines::requestDone(MHD_Connection* connection)
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    const auto found = m_connections.find(connection);
    if (found == m_connections.end()) return;
    found->second.deadline = Clock::now() + m_limit;
    found->second.waiting = true;
}

void HeaderDeadlines::watch()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    while (!m_stopping) {
        m_wake.wait_for(lock, std::chrono::milliseconds(250));
        const Clock::time_point now = Clock::now();
        for (auto& [connection, entry] : m_connections) {
            if (!entry.waiting || now < entry.deadline) continue;
            // libmicrohttpd sees the connection fail and closes it.
            ::shutdown(entry.socket, SHUT_RDWR);
            entry.waiting = false;
        }
    }
}

} // namespace wixml
