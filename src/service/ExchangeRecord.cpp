#include "ExchangeRecord.hpp"

#include <algorithm>
#include <exception>

#include "AccessLog.hpp"
#include "LibraryLog.hpp"

namespace Velmora::Schemas::Mes::_2010_09::Workinstructions::serving {

namespace {

const char* versionName(const std::optional<SoapVersion>& version)
{
    if (!version) return "-";
    return *version == SoapVersion::Soap11 ? "soap11" : *version == SoapVersion::Soap12 ? "soap12" : "bare";
}

// What libmicrohttpd refused on its own, by its status.
Refusal libraryRefusal(int status)
{
    if (status == 414 || status == 431) return Refusal::headerLimit;
    return status == 413 ? Refusal::bodyLimit : Refusal::framing;
}

struct Outcome {
    int status = 0;
    std::string outcome = "answered";
    Refusal cut = Refusal::none; // when the end itself turned the exchange away
};

// Ours, or libmicrohttpd's own answer to a request it refused before any callback saw it.
Outcome outcomeOf(ServerState& server, const Exchange& exchange, MHD_Connection* connection,
                  MHD_RequestTerminationCode code)
{
    if (exchange.cutForBody) return {0, "body-too-large", Refusal::bodyLimit};
    if (code == MHD_REQUEST_TERMINATED_COMPLETED_OK) {
        return exchange.queued ? Outcome{exchange.status, "answered"} : Outcome{0, "error"};
    }
    if (exchange.queued) return {exchange.status, "unsent"};
    if (server.deadlines.cutForTime(connection)) return {0, "read-timeout", Refusal::readTimeout};
    if (code == MHD_REQUEST_TERMINATED_WITH_ERROR) {
        const unsigned logged = claimLibraryRefusal();
        const MHD_ConnectionInfo* info = MHD_get_connection_info(connection, MHD_CONNECTION_INFO_HTTP_STATUS);
        const int status = info && info->http_status != 0 ? static_cast<int>(info->http_status)
                                                          : static_cast<int>(logged);
        if (status != 0) return {status, "answered", libraryRefusal(status)};
        return {0, "error"};
    }
    switch (code) {
    case MHD_REQUEST_TERMINATED_TIMEOUT_REACHED: return {0, "idle-timeout", Refusal::idleTimeout};
    case MHD_REQUEST_TERMINATED_DAEMON_SHUTDOWN: return {0, "stopping"};
    case MHD_REQUEST_TERMINATED_CLIENT_ABORT: return {0, "client-gone"};
    case MHD_REQUEST_TERMINATED_READ_ERROR: return {0, "read-error"};
    default: return {0, "error"};
    }
}

// To the program's sink, or standard error. A sink that fails is the
// program's fault: said once, and the server goes on.
void deliver(ServerState& server, const AccessRecord& record)
{
    if (!server.options.accessLog) {
        logAccess(record);
        return;
    }
    std::string problem;
    try {
        server.options.accessLog(record);
        return;
    } catch (const std::exception& error) {
        problem = error.what();
    } catch (...) {
        problem = "an exception that is no std::exception";
    }
    if (!server.sinkFailed.exchange(true)) {
        logLine(server.options.logPrefix, "the access log sink failed, and its records are dropped while it "
                                          "fails (said once): " + problem);
    }
}

void finish(ServerState& server, AccessRecord& record, std::chrono::steady_clock::time_point start,
            const ExchangeEnd& end)
{
    const auto now = std::chrono::steady_clock::now();
    record.duration = std::chrono::duration_cast<std::chrono::microseconds>(now - start);
    record.time = std::chrono::time_point_cast<std::chrono::system_clock::duration>(
        std::chrono::system_clock::now() - (now - start));
    if (server.metrics) server.metrics->count(record, end);
    deliver(server, record);
}

} // namespace

void recordExchange(ServerState& server, const Exchange& exchange, MHD_Connection* connection,
                    MHD_RequestTerminationCode code)
{
    AccessRecord record;
    record.method = exchange.method;
    record.path = exchange.path;
    record.operation = exchange.operation;
    const Outcome outcome = outcomeOf(server, exchange, connection, code);
    record.status = outcome.status;
    record.outcome = outcome.outcome;
    record.version = versionName(exchange.version);
    record.received = exchange.received;
    record.sent = exchange.queued && code == MHD_REQUEST_TERMINATED_COMPLETED_OK ? exchange.sent : 0;
    const CallFacts& facts = exchange.facts;
    record.peerAddress = facts.peerAddress;
    record.peerPort = facts.peerPort;
    record.user = facts.identity.name;
    record.requestId = facts.requestId;
    ExchangeEnd end = exchange.end;
    if (end.refusal == Refusal::none) end.refusal = outcome.cut;
    finish(server, record, exchange.start, end);
}

void recordUnseenRequest(ServerState& server, MHD_Connection* connection)
{
    AccessRecord record;
    ExchangeEnd end;
    const unsigned status = claimLibraryRefusal();
    // Over TLS, bytes without a request are most often a handshake that failed.
    const bool handshakeOnly = !server.tls.certificate.empty() && !server.deadlines.servedAny(connection);
    if (status != 0) {
        record.status = static_cast<int>(status);
        end.refusal = libraryRefusal(record.status);
    } else if (server.deadlines.cutForTime(connection)) {
        record.outcome = "read-timeout";
        end.refusal = Refusal::readTimeout;
    } else if (handshakeOnly) {
        record.outcome = "no-request";
        end.refusal = Refusal::handshake;
    } else {
        record.outcome = "request-line";
        end.refusal = Refusal::framing;
    }
    // Its start is not known: the line says 0 us.
    finish(server, record, std::chrono::steady_clock::now(), end);
}

ServiceAnswer metricsAnswer(const ServerState& server)
{
    ServerGauges gauges;
    gauges.openExchanges = static_cast<std::size_t>(std::max(0, server.open.load()));
    gauges.bodiesInFlight = server.budget.holders();
    gauges.bodyMemory = server.budget.used();
    gauges.bodyMemoryLimit = server.budget.limit();
    gauges.answersWaiting = server.answers.holders();
    gauges.answerMemory = server.answers.used();
    gauges.answerMemoryLimit = server.answers.limit();
    ServiceAnswer answer;
    answer.contentType = metricsContentType;
    answer.text = server.metrics->exposition(gauges);
    answer.operation = "metrics";
    return answer;
}

} // namespace Velmora::Schemas::Mes::_2010_09::Workinstructions::serving
