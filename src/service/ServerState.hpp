#pragma once

// What the server's libmicrohttpd callbacks share, and the daemon they run in.

#include <microhttpd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstddef>
#include <memory>

#include "BodyBudget.hpp"
#include "Dispatch.hpp"
#include "LingeringCloser.hpp"
#include "RequestDeadlines.hpp"
#include "ServerMetrics.hpp"
#include "TlsSetup.hpp"
#include "workinstructions/Server.hpp"

namespace Velmora::Schemas::Mes::_2010_09::Workinstructions::serving {

// What the callbacks share, for as long as libmicrohttpd may call them.
struct ServerState {
    ServerState(Service& service, const ServerOptions& serverOptions, std::size_t lingerSlots,
                std::size_t lingerLimit)
        : options(serverOptions),
          dispatcher(service, options),
          closer(lingerSlots, lingerLimit, std::chrono::seconds(std::min(options.readTimeout, 5u))),
          // A TLS client closes with a close_notify alert: a record of some 30 bytes.
          deadlines(std::chrono::seconds(options.readTimeout), closer, wantsTls(options) ? 64 : 1),
          budget(options.maxBodyMemory),
          answers(options.maxAnswerMemory),
          metrics(options.metricsPath.empty() ? nullptr : std::make_unique<ServerMetrics>())
    {
    }
    const ServerOptions options; // a copy: the state may outlive the Server
    Dispatcher dispatcher;
    LingeringCloser closer;
    RequestDeadlines deadlines;
    BodyBudget budget;
    BodyBudget answers; // made and not yet sent
    TlsMaterial tls;    // read by libmicrohttpd while the daemon runs
    const std::unique_ptr<ServerMetrics> metrics; // null: none counted
    std::atomic<bool> sinkFailed{false};          // said once
    std::atomic<bool> stopping{false};
    std::atomic<int> open{0}; // exchanges begun and not ended
    MHD_Daemon* daemon = nullptr;
};

// A client refused for a body just over the limit sends it all before
// reading: the graceful close reads up to twice the limit, so that it finishes.
std::size_t lingerBytes(const ServerOptions& options);

/// libmicrohttpd on the listening socket, its callbacks given state, with
/// state.options' threads and limits and at most connections at once; null
/// when it cannot start.
MHD_Daemon* startDaemon(ServerState& state, int listeningSocket, bool ipv6, unsigned connections);

} // namespace Velmora::Schemas::Mes::_2010_09::Workinstructions::serving
