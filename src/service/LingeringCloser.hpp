#pragma once

// A graceful close for connections answered before their body was read (413,
// 400, 503). Closing a socket with unread bytes makes the kernel reset the
// connection, and a client still writing its body then loses the answer it has
// not read yet. So the socket is kept open after the server is done with it:
// its sending side is shut, and what the client still sends is read and
// dropped until the client closes, a byte limit or a time limit is reached
// (RFC 9112, section 9.6).

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <thread>
#include <vector>

namespace Velmora::Schemas::Mes::_2010_09::Workinstructions::serving {

class LingeringCloser {
public:
    /// At most slots sockets at once, each for at most bytes and for time.
    LingeringCloser(std::size_t slots, std::size_t bytes, std::chrono::milliseconds time);
    ~LingeringCloser();
    LingeringCloser(const LingeringCloser&) = delete;
    LingeringCloser& operator=(const LingeringCloser&) = delete;

    /// Takes over a duplicate of socket, which its owner then closes; false
    /// when every slot is taken or no descriptor is left (the owner's close
    /// is then abrupt).
    bool adopt(int socket);
    std::size_t slots() const { return m_slots; }

private:
    using Clock = std::chrono::steady_clock;
    struct Lingering {
        int socket;
        std::size_t read;
        Clock::time_point deadline;
    };

    void drain();

    const std::size_t m_slots;
    const std::size_t m_bytes;
    const std::chrono::milliseconds m_time;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_stopping = false;
    std::vector<Lingering> m_sockets;
    std::thread m_drain;
};

} // namespace Velmora::Schemas::Mes::_2010_09::Workinstructions::serving
