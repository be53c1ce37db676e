// The Server of the public API: listening, the daemon's life, the graceful stop.

#include "workinstructions/Server.hpp"

#include <malloc.h>
#include <sched.h>
#include <signal.h>
#include <unistd.h>

#include <iostream>
#include <memory>
#include <stdexcept>
#include <thread>

#include "Listener.hpp"
#include "ServerState.hpp"
#include "SoapBinding.hpp"

namespace Velmora::Schemas::Mes::_2010_09::Workinstructions::serving {

namespace {

using Clock = std::chrono::steady_clock;

// Lets the answers ready or made within the grace go out, then stops the
// daemon; false when it could not stop within the grace, for an exchange still
// open (arriving, or being answered): its stop goes on without us.
bool stopWithin(const std::shared_ptr<ServerState>& server, Clock::time_point deadline)
{
    const auto margin = std::chrono::milliseconds(300);
    while (server->open.load() > 0 && Clock::now() < deadline - margin) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    auto stopped = std::make_shared<std::atomic<bool>>(false);
    std::thread stopper([server, stopped] {
        MHD_stop_daemon(server->daemon);
        *stopped = true;
    });
    while (!*stopped && Clock::now() < deadline) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    if (!*stopped) {
        std::cerr << server->options.logPrefix << server->open.load()
                  << " exchange(s) still open at the end of the grace; stopped without them" << std::endl;
        stopper.detach(); // holds the state until libmicrohttpd lets go of it
        return false;
    }
    stopper.join();
    return true;
}

void checkOptions(const ServerOptions& options)
{
    const auto refuse = [](const std::string& what) { throw std::invalid_argument("ServerOptions: " + what); };
    if (options.maxBody == 0) refuse("maxBody is 0");
    if (options.maxBodyMemory < options.maxBody) {
        refuse("maxBodyMemory " + std::to_string(options.maxBodyMemory) + " is below maxBody " +
               std::to_string(options.maxBody) + ": a body at the limit could never be taken");
    }
    if (options.maxHeader < 1024) refuse("maxHeader " + std::to_string(options.maxHeader) + " is below 1024");
    if (options.maxConnections == 0) refuse("maxConnections is 0");
    if (options.readTimeout == 0) refuse("readTimeout is 0");
    if (options.idleTimeout == 0) refuse("idleTimeout is 0");
}

} // namespace

} // namespace Velmora::Schemas::Mes::_2010_09::Workinstructions::serving

namespace Velmora::Schemas::Mes::_2010_09::Workinstructions {

class Server::Running {
public:
    std::shared_ptr<serving::ServerState> state;
    std::string url;
};

Service::~Service() = default;

Server::Server(Service& service, ServerOptions options) : m_service(service), m_options(std::move(options)) {}

Server::~Server()
{
    stop();
}

void Server::start()
{
    using namespace serving;
    if (m_running) throw std::logic_error("Server::start: already started");
    checkOptions(m_options);
    ServerOptions options = m_options;
    if (options.threads == 0) options.threads = usableCores();
    Listener listener;
    std::string problem;
    if (!listenOn(options.host, options.port, listener, problem)) throw std::runtime_error(problem);

    // A client gone mid-answer must not end the process.
    signal(SIGPIPE, SIG_IGN);
    // Bodies of up to maxBody come and go. After the first big one is freed,
    // glibc raises its mmap threshold and keeps later ones in arenas it hardly
    // ever gives back (bench/faults: 10 MB resident grew to 80 MB and stayed,
    // with nothing leaked); a fixed threshold hands them back when freed.
    mallopt(M_MMAP_THRESHOLD, 128 * 1024);

    const std::size_t lingerSlots = 32;
    const ConnectionPlan plan = planConnections(options.maxConnections, options.threads, lingerSlots);
    if (!plan.warning.empty()) std::cerr << options.logPrefix << plan.warning << '\n';
    auto state = std::make_shared<ServerState>(m_service, options, lingerSlots, lingerBytes(options));
    // The WSDL is written with the address known, before the first request can arrive.
    state->dispatcher.setAddress(listener.host, listener.port);
    state->daemon = startDaemon(*state, listener.socket, listener.family == AF_INET6, plan.connections);
    if (!state->daemon) {
        ::close(listener.socket);
        throw std::runtime_error("cannot start the HTTP server on " + listener.host + " port " +
                                 std::to_string(listener.port));
    }
    const std::string shown = listener.host.find(':') != std::string::npos ? "[" + listener.host + "]" : listener.host;
    m_running = std::make_shared<Running>();
    m_running->state = std::move(state);
    m_running->url = "http://" + shown + ":" + std::to_string(listener.port) + "/";
}

std::string Server::url() const
{
    return m_running ? m_running->url : std::string();
}

bool Server::stop()
{
    using namespace serving;
    if (!m_running) return true;
    const std::shared_ptr<ServerState> state = std::move(m_running->state);
    m_running.reset();
    const auto deadline = Clock::now() + std::chrono::milliseconds(state->options.stopGraceMs);
    state->stopping = true;
    // No new connections from here: the listening socket closes at once.
    const MHD_socket quiet = MHD_quiesce_daemon(state->daemon);
    if (quiet != MHD_INVALID_SOCKET) ::close(quiet);
    return stopWithin(state, deadline);
}

} // namespace Velmora::Schemas::Mes::_2010_09::Workinstructions
