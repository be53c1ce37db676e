#include "LingeringCloser.hpp"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace Velmora::Schemas::Mes::_2010_09::Workinstructions::serving {

LingeringCloser::LingeringCloser(std::size_t slots, std::size_t bytes, std::chrono::milliseconds time)
    : m_slots(slots), m_bytes(bytes), m_time(time), m_drain([this] { drain(); })
{
}

LingeringCloser::~LingeringCloser()
{
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_all();
    m_drain.join();
    for (const Lingering& lingering : m_sockets) ::close(lingering.socket);
}

bool LingeringCloser::adopt(int socket)
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    if (m_stopping || m_sockets.size() >= m_slots) return false;
    const int copy = ::fcntl(socket, F_DUPFD_CLOEXEC, 0);
    if (copy < 0) return false;
    ::shutdown(copy, SHUT_WR);
    m_sockets.push_back({copy, 0, Clock::now() + m_time});
    m_wake.notify_all();
    return true;
}

void LingeringCloser::drain()
{
    std::vector<pollfd> watched;
    char sink[65536];
    std::unique_lock<std::mutex> lock(m_mutex);
    while (!m_stopping) {
        if (m_sockets.empty()) {
            m_wake.wait(lock, [this] { return m_stopping || !m_sockets.empty(); });
            continue;
        }
        watched.clear();
        for (const Lingering& lingering : m_sockets) watched.push_back({lingering.socket, POLLIN, 0});
        lock.unlock();
        ::poll(watched.data(), watched.size(), 100);
        lock.lock();
        // Sockets adopted meanwhile were appended after the ones polled.
        const Clock::time_point now = Clock::now();
        for (std::size_t i = 0; i < watched.size(); ++i) {
            Lingering& lingering = m_sockets[i];
            bool done = now >= lingering.deadline;
            if (!done && watched[i].revents != 0) {
                const ssize_t got = ::recv(lingering.socket, sink, sizeof sink, MSG_DONTWAIT);
                if (got > 0) {
                    lingering.read += static_cast<std::size_t>(got);
                    done = lingering.read >= m_bytes;
                } else {
                    done = got == 0 || (errno != EAGAIN && errno != EINTR);
                }
            }
            if (done) {
                ::close(lingering.socket);
                lingering.socket = -1;
            }
        }
        m_sockets.erase(std::remove_if(m_sockets.begin(), m_sockets.end(),
                                       [](const Lingering& lingering) { return lingering.socket < 0; }),
                        m_sockets.end());
    }
}

} // namespace Velmora::Schemas::Mes::_2010_09::Workinstructions::serving
