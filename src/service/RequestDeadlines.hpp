#pragma once

// A deadline for each request as a whole, from its first byte (or the end of
// the one before on a kept connection) until it is all in: line, headers,
// body, chunk sizes, chunk extensions and trailers alike. libmicrohttpd's idle
// timeout starts again with every byte and its callbacks see only body data,
// so a client trickling a byte a second through any part would hold its
// connection for ever; a watch thread shuts down the socket of one whose
// request is not in when the read timeout is up.
//
// It also remembers which connections are to close gracefully, and hands
// their sockets to a LingeringCloser as libmicrohttpd lets them go.

#include <microhttpd.h>

#include <chrono>
#include <cstdint>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <unordered_map>

#include "LingeringCloser.hpp"

namespace Velmora::Schemas::Mes::_2010_09::Workinstructions::serving {

class RequestDeadlines {
public:
    /// quietBytes: what a client sends after its last request on closing
    /// that is no request (its FIN; with TLS, a close_notify alert too).
    RequestDeadlines(std::chrono::milliseconds limit, LingeringCloser& closer, std::uint64_t quietBytes = 1);
    ~RequestDeadlines();
    RequestDeadlines(const RequestDeadlines&) = delete;
    RequestDeadlines& operator=(const RequestDeadlines&) = delete;

    /// For MHD_OPTION_NOTIFY_CONNECTION, with this as its closure.
    static void notify(void* self, MHD_Connection* connection, void** socketContext,
                       MHD_ConnectionNotificationCode code);
    /// The request is all in, or answered without the rest: its clock stops.
    void requestIn(MHD_Connection* connection);
    /// A request is over and the connection kept: the next one's clock starts.
    void requestDone(MHD_Connection* connection);
    /// The connection is to close gracefully, its client maybe still sending.
    void lingerOnClose(MHD_Connection* connection);
    /// Whether the watch cut the connection for its deadline.
    bool cutForTime(MHD_Connection* connection);
    /// A request has reached our callbacks (its line was read).
    void exchangeBegun(MHD_Connection* connection);
    /// Before the connection closes: whether bytes came after the last
    /// exchange that no exchange of ours saw, a request refused or cut while
    /// its line was read.
    bool unseenRequest(MHD_Connection* connection);
    /// Whether a request on the connection has been answered.
    bool servedAny(MHD_Connection* connection);

private:
    using Clock = std::chrono::steady_clock;
    struct Watched {
        int socket;
        Clock::time_point deadline;
        bool waiting; // for the rest of a request
        bool cut;     // by the watch
        bool linger;
        bool begun = false;            // an exchange since the last one ended
        bool served = false;           // an exchange has ended
        std::uint64_t receivedBefore = 0; // bytes received when the last one ended
    };

    void watch();

    const std::chrono::milliseconds m_limit;
    const std::uint64_t m_quietBytes;
    LingeringCloser& m_closer;
    // Held while a socket is shut down, and by libmicrohttpd's close notice,
    // which comes before it closes the socket: no socket is shut down once
    // its number may belong to another connection.
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_stopping = false;
    std::unordered_map<MHD_Connection*, Watched> m_connections;
    std::thread m_watch;
};

} // namespace Velmora::Schemas::Mes::_2010_09::Workinstructions::serving
