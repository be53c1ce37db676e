// Watching the library's Server: the access-log sink's records field by
// field, the metrics each exchange moves, and a sink that fails.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <thread>
#include <vector>

#include "ServerFixture.hpp"
#include "workinstructions/Client.hpp"

using namespace serverfixture;

namespace {

const std::string loadAction = "http://velmora.com/Schemas/MES/2010-09/WorkInstructions/load";

// Records as the sink receives them, on whichever worker thread.
class RecordSink {
public:
    std::function<void(const wi::AccessRecord&)> sink()
    {
        return [this](const wi::AccessRecord& record) {
            const std::lock_guard<std::mutex> lock(m_mutex);
            m_records.push_back(record);
        };
    }
    // The count-th record, once the exchange has ended (after its answer went out).
    std::optional<wi::AccessRecord> awaited(std::size_t count)
    {
        for (int tries = 0; tries < 400; ++tries) {
            {
                const std::lock_guard<std::mutex> lock(m_mutex);
                if (m_records.size() >= count) return m_records[count - 1];
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return std::nullopt;
    }

private:
    std::mutex m_mutex;
    std::vector<wi::AccessRecord> m_records;
};

// The value of one sample of the exposition, -1 when it is not there.
long long sampleValue(const std::string& exposition, const std::string& sample)
{
    const auto at = exposition.find("\n" + sample + " ");
    return at == std::string::npos ? -1 : std::stoll(exposition.substr(at + sample.size() + 2));
}

} // namespace

TEST(ServerWatch, EachExchangeReachesTheSinkAndTheMetrics)
{
    struct Case {
        const char* name;
        std::string head; // after the request line
        std::string body;
        // What the record says.
        std::string operation, version;
        int status;
        std::string user;
        // What it counts besides its request.
        std::string fault, refusal;
    };
    const std::string token = "Authorization: Bearer t0k3n\r\n";
    const std::string load11 = wi::writeXml(loadRequest("Op0010"), wi::Envelope::Soap11);
    const std::string load12 = wi::writeXml(loadRequest("Op0020"), wi::Envelope::Soap12);
    const std::string bare = wi::writeXml(loadRequest("Op0030"), wi::Envelope::None);
    const std::string soap11 = "Content-Type: text/xml\r\nSOAPAction: \"" + loadAction + "\"\r\n";
    const Case cases[] = {
        {"SOAP 1.1", token + soap11, load11, "load", "soap11", 200, "robot", "", ""},
        {"SOAP 1.2", token + "Content-Type: application/soap+xml\r\n", load12, "load", "soap12", 200, "robot", "", ""},
        {"a bare message", token + "Content-Type: application/xml\r\n", bare, "load", "bare", 200, "robot", "", ""},
        {"the WSDL", "", "", "wsdl", "-", 200, "", "", ""},
        {"a body that is no XML", token + soap11, "<a", "-", "soap11", 500, "robot", "Sender", ""},
        {"a stranger", "Authorization: Bearer guess\r\n" + soap11, load11, "-", "-", 401, "", "", "authentication"},
        {"a body over the limit", token + soap11, std::string(5000, ' '), "-", "-", 413, "robot", "", "body_limit"},
        {"two framings", token + soap11 + "Transfer-Encoding: chunked\r\n", "0\r\n\r\n", "-", "-", 400, "", "",
         "framing"},
    };
    TestService service;
    wi::ServerOptions options = quickOptions();
    options.maxBody = 4096;
    options.metricsPath = "/watch/metrics";
    options.authenticator = wi::bearerTokens(
        [](std::string_view given) { return wi::sameSecret(given, "t0k3n") ? std::string("robot") : std::string(); });
    RecordSink records;
    options.accessLog = records.sink();
    wi::Server server(service, options);
    server.start();
    const unsigned short port = portOf(server.url());
    std::size_t count = 0;
    for (const Case& test : cases) {
        SCOPED_TRACE(test.name);
        const std::string id = "row-" + std::to_string(count);
        const bool get = test.operation == "wsdl";
        const std::string request =
            (get ? "GET /?wsdl" : "POST /WorkInstructions") + std::string(" HTTP/1.1\r\nHost: localhost\r\n") +
            "X-Request-Id: " + id + "\r\n" + test.head +
            (get ? "" : "Content-Length: " + std::to_string(test.body.size()) + "\r\n") + "\r\n" + test.body;
        const auto before = std::chrono::system_clock::now();
        RawConnection connection(port);
        ASSERT_TRUE(connection.send(request));
        const std::string answer = connection.answer();
        EXPECT_EQ(answer.substr(9, 3), std::to_string(test.status)) << answer;
        const std::optional<wi::AccessRecord> record = records.awaited(++count);
        ASSERT_TRUE(record);
        EXPECT_EQ(record->method, get ? "GET" : "POST");
        EXPECT_EQ(record->path, get ? "/" : "/WorkInstructions");
        EXPECT_EQ(record->operation, test.operation);
        EXPECT_EQ(record->version, test.version);
        EXPECT_EQ(record->status, test.status);
        EXPECT_EQ(record->outcome, "answered");
        EXPECT_EQ(record->user, test.user);
        EXPECT_EQ(record->requestId, id);
        EXPECT_EQ(record->peerAddress, "127.0.0.1");
        EXPECT_NE(record->peerPort, 0);
        // A body refused before it is read arrives as nothing.
        EXPECT_EQ(record->received, test.refusal.empty() ? test.body.size() : 0u);
        const std::size_t bodyAt = answer.find("\r\n\r\n") + 4;
        EXPECT_EQ(record->sent, answer.size() - bodyAt);
        EXPECT_GE(record->time, before - std::chrono::milliseconds(1));
        EXPECT_LE(record->time + record->duration, std::chrono::system_clock::now() + std::chrono::milliseconds(1));
        EXPECT_GT(record->duration.count(), 0);
    }
    // The server sees the rows' connections close when it next looks at them.
    std::string metrics;
    for (int tries = 0; tries < 200; ++tries) {
        RawConnection scrape(port);
        ASSERT_TRUE(scrape.send("GET /watch/metrics HTTP/1.1\r\nHost: localhost\r\n\r\n"));
        metrics = scrape.answer();
        if (sampleValue(metrics, "wi_server_open_connections") == 1) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ASSERT_NE(metrics.find("Content-Type: text/plain; version=0.0.4"), std::string::npos) << metrics;
    for (const Case& test : cases) {
        SCOPED_TRACE(test.name);
        const auto sameLabels = [&](const Case& other) {
            return other.operation == test.operation && other.version == test.version && other.status == test.status;
        };
        const auto label = [](const std::string& value) { return value == "-" ? std::string("none") : value; };
        EXPECT_EQ(sampleValue(metrics, "wi_server_requests_total{operation=\"" + label(test.operation) +
                                           "\",version=\"" + label(test.version) + "\",code=\"" +
                                           std::to_string(test.status) + "\"}"),
                  std::count_if(std::begin(cases), std::end(cases), sameLabels));
        const auto sameFault = [&](const Case& other) { return other.fault == test.fault; };
        if (!test.fault.empty()) {
            EXPECT_EQ(sampleValue(metrics, "wi_server_faults_total{code=\"" + test.fault + "\"}"),
                      std::count_if(std::begin(cases), std::end(cases), sameFault));
        }
        const auto sameRefusal = [&](const Case& other) { return other.refusal == test.refusal; };
        if (!test.refusal.empty()) {
            EXPECT_EQ(sampleValue(metrics, "wi_server_refusals_total{cause=\"" + test.refusal + "\"}"),
                      std::count_if(std::begin(cases), std::end(cases), sameRefusal));
        }
    }
    EXPECT_EQ(sampleValue(metrics, "wi_server_request_duration_seconds_count{operation=\"load\"}"), 3);
    // The scrape's own connection is open, nothing else.
    EXPECT_EQ(sampleValue(metrics, "wi_server_open_connections"), 1);
    EXPECT_EQ(sampleValue(metrics, "wi_server_bodies_in_flight"), 0);
    EXPECT_EQ(sampleValue(metrics, "wi_server_body_memory_limit_bytes"), static_cast<long long>(options.maxBodyMemory));
    EXPECT_TRUE(server.stop());
}

TEST(ServerWatch, ASinkThatThrowsLeavesTheServerServing)
{
    TestService service;
    wi::ServerOptions options = quickOptions();
    int calls = 0;
    options.threads = 1; // calls is counted on one worker
    options.accessLog = [&calls](const wi::AccessRecord&) {
        ++calls;
        throw std::runtime_error("journal gone");
    };
    CapturedLog log;
    {
        wi::Server server(service, options);
        server.start();
        wi::Client client(server.url());
        for (const char* uid : {"Op0010", "Op0020", "Op0030"}) {
            EXPECT_EQ(client.load(loadRequest(uid))->getLoadedObjectArray().at(0)->getWorkInstructionFile(),
                      std::string(uid) + ".wix");
        }
        EXPECT_TRUE(server.stop());
    }
    EXPECT_EQ(calls, 3);
    const std::string text = log.text();
    EXPECT_EQ(text, "server: the access log sink failed, and its records are dropped while it fails (said once): "
                    "journal gone\n");
}

TEST(ServerWatch, MetricsPathsThatAreNoPathsAreRefused)
{
    TestService service;
    for (const char* path : {"metrics", "/health", "/metrics?x", "/a b"}) {
        SCOPED_TRACE(path);
        wi::ServerOptions options = quickOptions();
        options.metricsPath = path;
        wi::Server server(service, options);
        EXPECT_THROW(server.start(), std::invalid_argument);
    }
}
