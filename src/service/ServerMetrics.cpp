#include "ServerMetrics.hpp"

#include <cstdio>
#include <iterator>

namespace Velmora::Schemas::Mes::_2010_09::Workinstructions::serving {

namespace {

// Label values, in slot order; the last of operations and versions, and the
// last two statuses, take what is in no list.
const char* const operationNames[] = {"load", "save", "wsdl", "xsd", "health", "metrics", "none"};
const char* const versionNames[] = {"soap11", "soap12", "bare", "none"};
const int statusCodes[] = {200, 400, 401, 403, 404, 405, 408, 411, 413, 414, 415, 431, 500, 501, 503, 505};
const char* const faultNames[] = {"VersionMismatch", "MustUnderstand", "DataEncodingUnknown", "Sender", "Receiver"};
const char* const refusalNames[] = {"none",        "body_limit",   "header_limit", "body_memory",
                                    "answer_memory", "out_of_memory", "read_timeout", "idle_timeout",
                                    "framing",     "authentication", "tls_handshake"};
// Upper bounds of the latency buckets, in microseconds: 1 ms to 10 s.
const std::uint64_t bucketBounds[] = {1000,   2500,   5000,    10000,   25000,   50000,   100000,
                                      250000, 500000, 1000000, 2500000, 5000000, 10000000};

template <class Names>
std::size_t indexOf(const Names& names, const std::string& name)
{
    const std::size_t last = std::size(names) - 1;
    for (std::size_t i = 0; i < last; ++i) {
        if (name == names[i]) return i;
    }
    return last;
}

std::size_t operationIndex(const std::string& name)
{
    return indexOf(operationNames, name);
}

std::size_t statusIndex(int status)
{
    const std::size_t known = std::size(statusCodes);
    if (status == 0) return known + 1;
    for (std::size_t i = 0; i < known; ++i) {
        if (statusCodes[i] == status) return i;
    }
    return known;
}

std::string statusName(std::size_t index)
{
    const std::size_t known = std::size(statusCodes);
    return index < known ? std::to_string(statusCodes[index]) : index == known ? "other" : "none";
}

// Seconds from microseconds, exactly: the exposition takes decimals.
std::string seconds(std::uint64_t microseconds)
{
    char text[32];
    std::snprintf(text, sizeof text, "%llu.%06llu", static_cast<unsigned long long>(microseconds / 1000000),
                  static_cast<unsigned long long>(microseconds % 1000000));
    return text;
}

// A bucket's bound as Prometheus's own clients write it ("0.0025", "1"), since
// queries select buckets by the label's text.
std::string bound(std::uint64_t microseconds)
{
    std::string text = seconds(microseconds);
    text.erase(text.find_last_not_of('0') + 1);
    if (text.back() == '.') text.pop_back();
    return text;
}

void family(std::string& text, const char* name, const char* type, const char* help)
{
    text += std::string("# HELP ") + name + " " + help + "\n# TYPE " + name + " " + type + "\n";
}

void sample(std::string& text, const std::string& name, const std::string& labels, const std::string& value)
{
    text += name + (labels.empty() ? "" : "{" + labels + "}") + " " + value + "\n";
}

std::uint64_t read(const std::atomic<std::uint64_t>& counter)
{
    return counter.load(std::memory_order_relaxed);
}

} // namespace

void ServerMetrics::count(const AccessRecord& record, const ExchangeEnd& end)
{
    const std::size_t operation = operationIndex(record.operation);
    const std::size_t version = indexOf(versionNames, record.version);
    const auto add = [](Counter& counter, std::uint64_t amount) {
        counter.fetch_add(amount, std::memory_order_relaxed);
    };
    add(m_requests[(operation * versions + version) * statuses + statusIndex(record.status)], 1);
    const auto microseconds = static_cast<std::uint64_t>(record.duration.count() < 0 ? 0 : record.duration.count());
    std::size_t bucket = 0;
    while (bucket < std::size(bucketBounds) && microseconds > bucketBounds[bucket]) ++bucket;
    add(m_latency[operation * buckets + bucket], 1);
    add(m_latencyMicroseconds[operation], microseconds);
    if (end.fault) add(m_faults[static_cast<std::size_t>(*end.fault)], 1);
    if (end.refusal != Refusal::none) add(m_refusals[static_cast<std::size_t>(end.refusal)], 1);
    add(m_received, record.received);
    add(m_sent, record.sent);
}

std::string ServerMetrics::exposition(const ServerGauges& gauges) const
{
    std::string text;
    text.reserve(8192);
    family(text, "wi_server_requests_total", "counter",
           "Exchanges by operation, SOAP version of the answer and HTTP status (none: cut before an answer).");
    for (std::size_t operation = 0; operation < operations; ++operation) {
        for (std::size_t version = 0; version < versions; ++version) {
            for (std::size_t status = 0; status < statuses; ++status) {
                const std::uint64_t value = read(m_requests[(operation * versions + version) * statuses + status]);
                if (value == 0) continue;
                sample(text, "wi_server_requests_total",
                       std::string("operation=\"") + operationNames[operation] + "\",version=\"" +
                           versionNames[version] + "\",code=\"" + statusName(status) + "\"",
                       std::to_string(value));
            }
        }
    }
    family(text, "wi_server_request_duration_seconds", "histogram",
           "Time from a request's first byte to the end of its exchange, by operation.");
    for (std::size_t operation = 0; operation < operations; ++operation) {
        std::uint64_t cumulative = 0;
        for (std::size_t bucket = 0; bucket < buckets; ++bucket) {
            cumulative += read(m_latency[operation * buckets + bucket]);
        }
        // The operations of the service always; the others once they happened.
        if (cumulative == 0 && operation > 1) continue;
        const std::string label = std::string("operation=\"") + operationNames[operation] + "\"";
        cumulative = 0;
        for (std::size_t bucket = 0; bucket < buckets; ++bucket) {
            cumulative += read(m_latency[operation * buckets + bucket]);
            const std::string le = bucket < std::size(bucketBounds) ? bound(bucketBounds[bucket]) : "+Inf";
            sample(text, "wi_server_request_duration_seconds_bucket", label + ",le=\"" + le + "\"",
                   std::to_string(cumulative));
        }
        sample(text, "wi_server_request_duration_seconds_sum", label, seconds(read(m_latencyMicroseconds[operation])));
        sample(text, "wi_server_request_duration_seconds_count", label, std::to_string(cumulative));
    }
    family(text, "wi_server_faults_total", "counter", "SOAP faults answered, by code (SOAP 1.2's words).");
    for (std::size_t fault = 0; fault < faults; ++fault) {
        sample(text, "wi_server_faults_total", std::string("code=\"") + faultNames[fault] + "\"",
               std::to_string(read(m_faults[fault])));
    }
    family(text, "wi_server_refusals_total", "counter", "Exchanges turned away or cut by the server, by cause.");
    for (std::size_t refusal = 1; refusal < refusals; ++refusal) {
        sample(text, "wi_server_refusals_total", std::string("cause=\"") + refusalNames[refusal] + "\"",
               std::to_string(read(m_refusals[refusal])));
    }
    family(text, "wi_server_received_bytes_total", "counter", "Bytes of request bodies received.");
    sample(text, "wi_server_received_bytes_total", {}, std::to_string(read(m_received)));
    family(text, "wi_server_sent_bytes_total", "counter", "Bytes of answer bodies sent.");
    sample(text, "wi_server_sent_bytes_total", {}, std::to_string(read(m_sent)));
    const auto gauge = [&](const char* name, const char* help, std::int64_t value) {
        family(text, name, "gauge", help);
        sample(text, name, {}, std::to_string(value));
    };
    gauge("wi_server_open_connections", "Connections open.", m_connections.load(std::memory_order_relaxed));
    gauge("wi_server_open_exchanges", "Exchanges begun and not ended.",
          static_cast<std::int64_t>(gauges.openExchanges));
    gauge("wi_server_bodies_in_flight", "Request bodies arriving or being answered.",
          static_cast<std::int64_t>(gauges.bodiesInFlight));
    gauge("wi_server_body_memory_bytes", "Memory the request bodies in flight hold.",
          static_cast<std::int64_t>(gauges.bodyMemory));
    gauge("wi_server_body_memory_limit_bytes", "The budget of the request bodies in flight.",
          static_cast<std::int64_t>(gauges.bodyMemoryLimit));
    gauge("wi_server_answers_waiting", "Answers made and not yet sent whole.",
          static_cast<std::int64_t>(gauges.answersWaiting));
    gauge("wi_server_answer_memory_bytes", "Memory the answers waiting to be sent hold.",
          static_cast<std::int64_t>(gauges.answerMemory));
    gauge("wi_server_answer_memory_limit_bytes", "The budget of the answers waiting to be sent.",
          static_cast<std::int64_t>(gauges.answerMemoryLimit));
    return text;
}

} // namespace Velmora::Schemas::Mes::_2010_09::Workinstructions::serving
