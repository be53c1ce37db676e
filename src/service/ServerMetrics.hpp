#pragma once

// The server's counters for GET /metrics. Every label set is known before the
// first request (operations x versions x a short list of statuses, fault codes,
// refusal causes), so each has its own slot fixed at start, and counting an
// exchange is a few relaxed atomic additions: no lock, no allocation.

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "kvsoa/Soap.hpp"
#include "workinstructions/Server.hpp"

namespace Velmora::Schemas::Mes::_2010_09::Workinstructions::serving {

/// Why the server turned an exchange away or cut it.
enum class Refusal {
    none,
    bodyLimit,      // 413, or a chunked body cut at twice the limit
    headerLimit,    // 414, 431
    bodyMemory,     // 503: the bodies in flight fill their budget
    answerMemory,   // 503: the answers waiting to be sent fill theirs
    outOfMemory,    // 503: the allocator failed while answering
    readTimeout,    // the request did not arrive within readTimeout
    idleTimeout,    // the connection stayed silent
    framing,        // a request that is no well-framed HTTP
    authentication, // 401, 403
    handshake,      // a TLS connection that never made a request
};

/// What the HTTP layer knows of an exchange at its end, beyond its record.
struct ExchangeEnd {
    std::optional<::Kavella::Soa::Common::Xml::SoapFaultCode> fault;
    Refusal refusal = Refusal::none;
};

/// Gauges read from the server when the metrics are asked for.
struct ServerGauges {
    std::size_t openExchanges = 0;
    std::size_t bodiesInFlight = 0, bodyMemory = 0, bodyMemoryLimit = 0;
    std::size_t answersWaiting = 0, answerMemory = 0, answerMemoryLimit = 0;
};

class ServerMetrics {
public:
    ServerMetrics() = default;
    ServerMetrics(const ServerMetrics&) = delete;
    ServerMetrics& operator=(const ServerMetrics&) = delete;

    void connectionOpened() { m_connections.fetch_add(1, std::memory_order_relaxed); }
    void connectionClosed() { m_connections.fetch_sub(1, std::memory_order_relaxed); }
    /// Counts one exchange; record.operation, version and status pick its slots.
    void count(const AccessRecord& record, const ExchangeEnd& end);

    /// Everything counted, in the text exposition format 0.0.4.
    std::string exposition(const ServerGauges& gauges) const;

private:
    static constexpr std::size_t operations = 7, versions = 4, statuses = 18, faults = 5, refusals = 11;
    static constexpr std::size_t buckets = 14; // the last is +Inf

    using Counter = std::atomic<std::uint64_t>;
    std::array<Counter, operations * versions * statuses> m_requests{};
    std::array<Counter, operations * buckets> m_latency{}; // not cumulative: summed when written
    std::array<Counter, operations> m_latencyMicroseconds{};
    std::array<Counter, faults> m_faults{};
    std::array<Counter, refusals> m_refusals{};
    Counter m_received{0}, m_sent{0};
    std::atomic<std::int64_t> m_connections{0};
};

/// The content type of the exposition.
constexpr const char* metricsContentType = "text/plain; version=0.0.4; charset=utf-8";

} // namespace Velmora::Schemas::Mes::_2010_09::Workinstructions::serving
