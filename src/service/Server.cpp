// The Server of the public API: listening, the daemon's life, the graceful stop.

#include "workinstructions/Server.hpp"

#include <malloc.h>
#include <sched.h>
#include <signal.h>
#include <unistd.h>

#include <memory>
#include <stdexcept>
#include <thread>

#include "AccessLog.hpp"
#include "Listener.hpp"
#include "ServerState.hpp"
#include "SoapBinding.hpp"

namespace Velmora::Schemas::Mes::_2010_09::Workinstructions::serving {

namespace {

using Clock = std::chrono::steady_clock;

// Lets the answers ready or made within the grace go out, then stops the
// daemon; false when it could not stop within the grace, for an exchange still
// open (arriving, or being answered): its stop goes on in stopper.
bool stopWithin(const std::shared_ptr<ServerState>& server, Clock::time_point deadline, std::thread& stopper)
{
    const auto margin = std::chrono::milliseconds(300);
    while (server->open.load() > 0 && Clock::now() < deadline - margin) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    auto stopped = std::make_shared<std::atomic<bool>>(false);
    stopper = std::thread([server, stopped] {
        MHD_stop_daemon(server->daemon);
        *stopped = true;
    });
    while (!*stopped && Clock::now() < deadline) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    if (!*stopped) {
        logLine(server->options.logPrefix, std::to_string(server->open.load()) +
                                               " exchange(s) still open at the end of the grace; stopped without them");
        return false; // the stopper holds the state until libmicrohttpd lets go of it
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
    if (options.maxAnswerMemory == 0) refuse("maxAnswerMemory is 0");
    if (options.maxHeader < 1024) refuse("maxHeader " + std::to_string(options.maxHeader) + " is below 1024");
    if (options.maxConnections == 0) refuse("maxConnections is 0");
    if (options.readTimeout == 0) refuse("readTimeout is 0");
    if (options.idleTimeout == 0) refuse("idleTimeout is 0");
    const std::string& metrics = options.metricsPath;
    if (!metrics.empty() && (metrics.front() != '/' || metrics == "/health" ||
                             metrics.find_first_of("?# \t\r\n") != std::string::npos)) {
        refuse("metricsPath '" + metrics + "' is no path of its own (\"/metrics\", say)");
    }
}

} // namespace

} // namespace Velmora::Schemas::Mes::_2010_09::Workinstructions::serving

namespace Velmora::Schemas::Mes::_2010_09::Workinstructions {

class Server::Running {
public:
    std::shared_ptr<serving::ServerState> state;
    std::string url;
    std::thread stopper; // after a stop that ran out of grace
};

Service::~Service() = default;

AutoPtr<LoadedObjectsResponse> Service::load(const LoadWorkInstructionDocInput& request, CallContext&)
{
    return load(request);
}

AutoPtr<SavedObjectsResponse> Service::save(const SaveWorkInstructionDocInput& request, CallContext&)
{
    return save(request);
}

Server::Server(Service& service, ServerOptions options) : m_service(service), m_options(std::move(options)) {}

Server::~Server()
{
    stop();
    // Without a wait(), the leftover exchanges finish on their own.
    if (m_leftover && m_leftover->stopper.joinable()) m_leftover->stopper.detach();
}

void Server::start()
{
    using namespace serving;
    if (std::atomic_load(&m_running)) throw std::logic_error("Server::start: already started");
    wait();
    checkOptions(m_options);
    ServerOptions options = m_options;
    if (options.threads == 0) options.threads = usableCores();
    TlsMaterial tls;
    if (wantsTls(options)) {
        if (MHD_is_feature_supported(MHD_FEATURE_TLS) != MHD_YES) {
            throw std::runtime_error("the libmicrohttpd this server runs on has no TLS");
        }
        tls = loadTls(options);
    }
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
    if (!plan.warning.empty()) logLine(options.logPrefix, plan.warning);
    auto state = std::make_shared<ServerState>(m_service, options, lingerSlots, lingerBytes(options));
    state->tls = std::move(tls);
    // The WSDL is written with the address known, before the first request can arrive.
    state->dispatcher.setAddress(listener.host, listener.port);
    state->daemon = startDaemon(*state, listener.socket, listener.family == AF_INET6, plan.connections);
    if (!state->daemon) {
        ::close(listener.socket);
        throw std::runtime_error("cannot start the HTTP server on " + listener.host + " port " +
                                 std::to_string(listener.port));
    }
    const std::string shown = listener.host.find(':') != std::string::npos ? "[" + listener.host + "]" : listener.host;
    auto running = std::make_shared<Running>();
    running->state = std::move(state);
    running->url = (wantsTls(options) ? "https://" : "http://") + shown + ":" + std::to_string(listener.port) + "/";
    std::atomic_store(&m_running, std::shared_ptr<const Running>(std::move(running)));
}

std::string Server::url() const
{
    // A stop() on another thread lets go of the running server meanwhile:
    // this thread holds its own share while it reads.
    const std::shared_ptr<const Running> running = std::atomic_load(&m_running);
    return running ? running->url : std::string();
}

bool Server::stop()
{
    using namespace serving;
    const std::shared_ptr<const Running> running = std::atomic_exchange(&m_running, std::shared_ptr<const Running>());
    if (!running) return true;
    const std::shared_ptr<ServerState> state = running->state;
    const auto deadline = Clock::now() + std::chrono::milliseconds(state->options.stopGraceMs);
    state->stopping = true;
    // No new connections from here: the listening socket closes at once.
    const MHD_socket quiet = MHD_quiesce_daemon(state->daemon);
    if (quiet != MHD_INVALID_SOCKET) ::close(quiet);
    auto leftover = std::make_unique<Running>();
    if (stopWithin(state, deadline, leftover->stopper)) return true;
    m_leftover = std::move(leftover);
    return false;
}

void Server::wait()
{
    if (m_leftover && m_leftover->stopper.joinable()) m_leftover->stopper.join();
    m_leftover.reset();
}

} // namespace Velmora::Schemas::Mes::_2010_09::Workinstructions
