#include "ServeHttp.hpp"

#include <microhttpd.h>

#include <arpa/inet.h>
#include <malloc.h>
#include <netdb.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <iostream>
#include <memory>
#include <thread>

#include "ServeDeadlines.hpp"
#include "ServeLog.hpp"

namespace wixml {

namespace {

using Clock = std::chrono::steady_clock;

// Requests still being sent to the stopping server are cut after this;
// answers already on their way get up to this long to finish.
constexpr auto stopGrace = std::chrono::milliseconds(1500);

struct Server {
    const ServeOptions& options;
    Service& service;
    HeaderDeadlines& deadlines;
    std::atomic<int> answering{0}; // answers queued and not yet sent
};

struct Exchange {
    Clock::time_point start = Clock::now();
    std::string method;
    bool headersSeen = false;
    bool tooLarge = false;
    bool queued = false;
    std::size_t received = 0;
    std::size_t sent = 0;
    std::string status = "-";
    std::string operation = "-";
    std::string body;
};

void* beginExchange(void*, const char*, MHD_Connection*)
{
    return new Exchange;
}

const char* header(MHD_Connection* connection, const char* name)
{
    return MHD_lookup_connection_value(connection, MHD_HEADER_KIND, name);
}

MHD_Result queue(Server& server, Exchange& exchange, MHD_Connection* connection, const ServiceAnswer& answer,
                 bool close = false)
{
    const std::string& body = answer.body();
    MHD_Response* response =
        answer.prepared ? MHD_create_response_from_buffer(body.size(), const_cast<char*>(body.data()),
                                                          MHD_RESPMEM_PERSISTENT)
                        : MHD_create_response_from_buffer(body.size(), const_cast<char*>(body.data()),
                                                          MHD_RESPMEM_MUST_COPY);
    if (!response) return MHD_NO;
    MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE, answer.contentType);
    if (answer.allowHeader) MHD_add_response_header(response, MHD_HTTP_HEADER_ALLOW, "GET, HEAD, POST");
    if (close) MHD_add_response_header(response, MHD_HTTP_HEADER_CONNECTION, "close");
    const MHD_Result result = MHD_queue_response(connection, static_cast<unsigned>(answer.status), response);
    MHD_destroy_response(response);
    if (result == MHD_YES) {
        exchange.queued = true;
        exchange.status = std::to_string(answer.status);
        exchange.sent = body.size();
        exchange.operation = answer.operation;
        ++server.answering;
    }
    return result;
}

ServiceAnswer tooLarge(const ServeOptions& options)
{
    ServiceAnswer answer;
    answer.status = 413;
    answer.contentType = "text/plain; charset=utf-8";
    answer.text = "the request body is over the limit of " + std::to_string(options.maxBody) +
                  " bytes (wixml serve --max-body)\n";
    return answer;
}

MHD_Result handle(void* context, MHD_Connection* connection, const char*, const char* method, const char*,
                  const char* data, size_t* size, void** slot)
{
    Server& server = *static_cast<Server*>(context);
    const ServeOptions& options = server.options;
    auto* exchange = static_cast<Exchange*>(*slot);
    if (!exchange) *slot = exchange = new Exchange; // when the URI log callback did not run

    if (!exchange->headersSeen) {
        exchange->headersSeen = true;
        server.deadlines.headersIn(connection);
        exchange->method = method;
        // Refused before a byte of the body is read: the connection closes after the answer.
        const char* length = header(connection, MHD_HTTP_HEADER_CONTENT_LENGTH);
        if (length) {
            const unsigned long long declared = std::strtoull(length, nullptr, 10);
            if (declared > options.maxBody) return queue(server, *exchange, connection, tooLarge(options), true);
            exchange->body.reserve(static_cast<std::size_t>(declared));
        }
        return MHD_YES;
    }

    if (*size != 0) {
        exchange->received += *size;
        // A body that trickles in must not hold its connection for ever.
        if (Clock::now() - exchange->start > std::chrono::seconds(options.readTimeout)) {
            exchange->status = "cut:read-timeout";
            return MHD_NO;
        }
        if (exchange->received > options.maxBody) {
            // Chunked, so no length came first: read on without keeping it, up to a second limit's worth.
            if (!exchange->tooLarge) std::string().swap(exchange->body);
            exchange->tooLarge = true;
            if (exchange->received > 2 * options.maxBody) {
                exchange->status = "cut:body-too-large";
                return MHD_NO;
            }
        } else {
            exchange->body.append(data, *size);
        }
        *size = 0;
        return MHD_YES;
    }

    if (exchange->tooLarge) return queue(server, *exchange, connection, tooLarge(options), true);
    ServiceRequest request;
    request.method = method;
    // libmicrohttpd takes the query off the URL; a bare "?wsdl" comes back as an argument without value.
    MHD_get_connection_values(
        connection, MHD_GET_ARGUMENT_KIND,
        [](void* target, MHD_ValueKind, const char* key, const char* value) -> MHD_Result {
            auto& text = *static_cast<std::string*>(target);
            if (text.empty()) text = value ? std::string(key) + "=" + value : key;
            return MHD_NO;
        },
        &request.query);
    const char* host = header(connection, MHD_HTTP_HEADER_HOST);
    if (host) request.host = host;
    request.contentType = header(connection, MHD_HTTP_HEADER_CONTENT_TYPE);
    request.soapAction = header(connection, "SOAPAction");
    request.body = exchange->body;
    ServiceAnswer answer;
    try {
        answer = server.service.answer(request);
    } catch (const std::exception& error) {
        answer.status = 500;
        answer.contentType = "text/xml; charset=utf-8";
        answer.text = internalErrorFault(error.what());
    }
    const MHD_Result result = queue(server, *exchange, connection, answer);
    std::string().swap(exchange->body);
    return result;
}

const char* terminationName(MHD_RequestTerminationCode code)
{
    switch (code) {
    case MHD_REQUEST_TERMINATED_COMPLETED_OK: return nullptr;
    case MHD_REQUEST_TERMINATED_TIMEOUT_REACHED: return "cut:idle-timeout";
    case MHD_REQUEST_TERMINATED_DAEMON_SHUTDOWN: return "cut:stopping";
    case MHD_REQUEST_TERMINATED_CLIENT_ABORT: return "cut:client-gone";
    case MHD_REQUEST_TERMINATED_READ_ERROR: return "cut:read-error";
    default: return "cut:error";
    }
}

void endExchange(void* context, MHD_Connection* connection, void** slot, MHD_RequestTerminationCode code)
{
    if (code == MHD_REQUEST_TERMINATED_COMPLETED_OK) static_cast<Server*>(context)->deadlines.requestDone(connection);
    auto* exchange = static_cast<Exchange*>(*slot);
    if (!exchange) return;
    *slot = nullptr;
    const std::unique_ptr<Exchange> owned(exchange);
    if (exchange->queued) --static_cast<Server*>(context)->answering;
    AccessRecord record;
    record.method = exchange->method.empty() ? "-" : exchange->method;
    record.operation = exchange->operation;
    record.status = exchange->status;
    if (const char* cut = terminationName(code)) {
        if (exchange->status.rfind("cut:", 0) != 0) record.status = exchange->queued ? exchange->status + ",unsent" : cut;
    }
    record.received = exchange->received;
    record.sent = exchange->queued && code == MHD_REQUEST_TERMINATED_COMPLETED_OK ? exchange->sent : 0;
    record.microseconds =
        std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - exchange->start).count();
    logAccess(record);
}

// getaddrinfo's first answer for the host, with the port put in.
bool resolve(const std::string& host, unsigned port, sockaddr_storage& address, socklen_t& length, std::string& problem)
{
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
    addrinfo* found = nullptr;
    const std::string bare = host.size() > 2 && host.front() == '[' && host.back() == ']' ? host.substr(1, host.size() - 2) : host;
    const int error = getaddrinfo(bare.c_str(), std::to_string(port).c_str(), &hints, &found);
    if (error != 0 || !found) {
        problem = "cannot resolve '" + host + "': " + gai_strerror(error);
        return false;
    }
    std::memcpy(&address, found->ai_addr, found->ai_addrlen);
    length = found->ai_addrlen;
    freeaddrinfo(found);
    return true;
}

std::string numericHost(const sockaddr_storage& address)
{
    char text[INET6_ADDRSTRLEN] = {};
    if (address.ss_family == AF_INET6) {
        inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6&>(address).sin6_addr, text, sizeof text);
    } else {
        inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in&>(address).sin_addr, text, sizeof text);
    }
    return text;
}

} // namespace

int runHttpServer(const ServeOptions& options, Service& service)
{
    sockaddr_storage address{};
    socklen_t addressLength = 0;
    std::string problem;
    if (!resolve(options.host, options.port, address, addressLength, problem)) {
        std::cerr << "wixml serve: " << problem << '\n';
        return 2;
    }
    // Bound here rather than by libmicrohttpd, so that the address is known
    // (and the WSDL written) before the first request can arrive.
    const int listener = ::socket(address.ss_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int on = 1;
    if (listener < 0 || ::setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0 ||
        ::bind(listener, reinterpret_cast<const sockaddr*>(&address), addressLength) != 0 ||
        ::listen(listener, 128) != 0 ||
        ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &addressLength) != 0) {
        std::cerr << "wixml serve: cannot listen on " << options.host << " port " << options.port << ": "
                  << std::strerror(errno) << '\n';
        if (listener >= 0) ::close(listener);
        return 2;
    }
    const unsigned port = ntohs(address.ss_family == AF_INET6 ? reinterpret_cast<const sockaddr_in6&>(address).sin6_port
                                                              : reinterpret_cast<const sockaddr_in&>(address).sin_port);
    const std::string host = numericHost(address);
    service.setAddress(host, port);

    // Every thread libmicrohttpd starts inherits the mask: the signals reach sigwait below only.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    signal(SIGPIPE, SIG_IGN);

    // Bodies of up to --max-body come and go. After the first big one is freed,
    // glibc raises its mmap threshold and keeps later ones in arenas it hardly
    // ever gives back (bench/faults: 10 MB resident grew to 80 MB and stayed,
    // with nothing leaked); a fixed threshold hands them back when freed.
    mallopt(M_MMAP_THRESHOLD, 128 * 1024);

    HeaderDeadlines deadlines(std::chrono::seconds(options.readTimeout));
    Server server{options, service, deadlines};
    // poll, not epoll: edge-triggered, libmicrohttpd 0.9.75 misses a hang-up that
    // arrives with the last bytes of a partial body and holds the connection until
    // the idle timeout.
    unsigned flags = MHD_USE_INTERNAL_POLLING_THREAD | MHD_USE_POLL | MHD_USE_ITC;
    if (address.ss_family == AF_INET6) flags |= MHD_USE_IPv6;
    // The header limit is the connection's memory pool, which holds the request line and headers.
    MHD_Daemon* daemon = MHD_start_daemon(
        flags, 0, nullptr, nullptr, handle, &server,
        MHD_OPTION_LISTEN_SOCKET, listener,
        MHD_OPTION_THREAD_POOL_SIZE, options.threads,
        MHD_OPTION_CONNECTION_LIMIT, options.maxConnections,
        MHD_OPTION_CONNECTION_TIMEOUT, options.idleTimeout,
        MHD_OPTION_CONNECTION_MEMORY_LIMIT, options.maxHeader,
        MHD_OPTION_URI_LOG_CALLBACK, beginExchange, nullptr,
        MHD_OPTION_NOTIFY_COMPLETED, endExchange, &server,
        MHD_OPTION_NOTIFY_CONNECTION, &HeaderDeadlines::notify, &deadlines,
        MHD_OPTION_END);
    if (!daemon) {
        std::cerr << "wixml serve: cannot start the HTTP server\n";
        ::close(listener);
        return 2;
    }
    const std::string shown = host.find(':') != std::string::npos ? "[" + host + "]" : host;
    std::cout << "listening on http://" << shown << ":" << port << "/" << std::endl;

    int received = 0;
    sigwait(&stopSignals, &received);
    std::cerr << "wixml serve: " << (received == SIGINT ? "SIGINT" : "SIGTERM") << ", stopping\n";
    // No new connections; the answers on their way get a moment, the rest is cut.
    const MHD_socket quiet = MHD_quiesce_daemon(daemon);
    const auto deadline = Clock::now() + stopGrace;
    while (server.answering.load() > 0 && Clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    MHD_stop_daemon(daemon);
    if (quiet != MHD_INVALID_SOCKET) ::close(quiet);
    return 0;
}

} // namespace wixml
