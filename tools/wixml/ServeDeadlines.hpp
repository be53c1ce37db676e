#pragma once

// A deadline for a request's line and headers. libmicrohttpd's idle timeout
// starts again with every byte, so a client sending a byte a second would hold
// its connection for ever; a watch thread shuts down the socket of one that is
// still sending its headers when the read timeout is up.

#include <microhttpd.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <unordered_map>

namespace wixml {

class HeaderDeadlines {
public:
    explicit HeaderDeadlines(std::chrono::seconds limit);
    ~HeaderDeadlines();
    HeaderDeadlines(const HeaderDeadlines&) = delete;
    HeaderDeadlines& operator=(const HeaderDeadlines&) = delete;

    /// For MHD_OPTION_NOTIFY_CONNECTION, with this as its closure.
    static void notify(void* self, MHD_Connection* connection, void** socketContext,
                       MHD_ConnectionNotificationCode code);
    /// The request's headers are in: its clock stops.
    void headersIn(MHD_Connection* connection);
    /// A request is over and the connection kept: the next one's clock starts.
    void requestDone(MHD_Connection* connection);

private:
    using Clock = std::chrono::steady_clock;
    struct Waiting {
        int socket;
        Clock::time_point deadline;
        bool waiting; // for a request's line and headers
    };

    void watch();

    const std::chrono::seconds m_limit;
    // Held while a socket is shut down, and by libmicrohttpd's close notice,
    // which comes before it closes the socket: no socket is shut down once
    // its number may belong to another connection.
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_stopping = false;
    std::unordered_map<MHD_Connection*, Waiting> m_connections;
    std::thread m_watch;
};

} // namespace wixml
