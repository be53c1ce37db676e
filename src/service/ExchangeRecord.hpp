#pragma once

// The end of each exchange: its record, for the access log or the program's
// sink, and its count in the metrics; and the metrics' own answer.

#include <microhttpd.h>

#include <chrono>
#include <optional>
#include <string>

#include "BodyBudget.hpp"
#include "CallFacts.hpp"
#include "ServerMetrics.hpp"
#include "ServerState.hpp"

namespace Velmora::Schemas::Mes::_2010_09::Workinstructions::serving {

/// One request on a connection, from its request line to the end of its answer.
struct Exchange {
    explicit Exchange(BodyBudget& budget) : body(budget) {}
    std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();
    std::string method;
    std::string path;
    bool headersSeen = false;
    bool queued = false;
    int refusal = 0;   // 413 or 503 once found in the body: the rest is read and dropped
    std::size_t received = 0;
    std::size_t sent = 0;
    int status = 0;            // of the answer queued
    bool cutForBody = false;   // a chunked body past twice the limit
    std::string operation = "-";
    std::optional<SoapVersion> version;
    ExchangeEnd end;
    BudgetedBody body;
    CallFacts facts;
};

/// Logs and counts exchange, which ended with code.
void recordExchange(ServerState& server, const Exchange& exchange, MHD_Connection* connection,
                    MHD_RequestTerminationCode code);

/// Logs and counts a request libmicrohttpd refused, or that was cut, before
/// any callback of ours saw it.
void recordUnseenRequest(ServerState& server, MHD_Connection* connection);

/// GET of the metrics path: the counters in the text exposition format.
ServiceAnswer metricsAnswer(const ServerState& server);

} // namespace Velmora::Schemas::Mes::_2010_09::Workinstructions::serving
