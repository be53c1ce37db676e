// Faults an attack on the Server found: answers nobody reads, header lines
// that peers read otherwise, what the service's own code throws, the log a
// request can write into, and a stop that leaves a handler running.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <new>
#include <regex>
#include <sstream>
#include <thread>

#include "ServerFixture.hpp"
#include "workinstructions/Client.hpp"

using namespace serverfixture;
using Kavella::Soa::Common::Xml::DomException;
using Kavella::Soa::Common::Xml::SoapFault;

namespace {

std::string statusLine(const std::string& answer)
{
    return answer.substr(0, answer.find("\r\n"));
}

std::string loadExchange(RawConnection& connection)
{
    const std::string body = wi::writeXml(loadRequest("Op0010"), wi::Envelope::Soap11);
    if (!connection.send(loadHead(wi::Envelope::Soap11, body.size()) + body)) return "send failed";
    return connection.answer();
}

bool waitFor(const std::function<bool()>& condition)
{
    for (int i = 0; i < 400; ++i) {
        if (condition()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return condition();
}

} // namespace

// Clients that ask and never read hold their answers in the server: no more
// of them than the budget, and the budget comes back once they go.
TEST(ServerFaults, AnswersNobodyReadsStayWithinTheirBudget)
{
    TestService service;
    service.padding.assign(6u << 20, 'x');
    wi::ServerOptions options = quickOptions();
    options.maxAnswerMemory = 8u << 20;
    options.metricsPath = "/metrics";
    wi::Server server(service, options);
    server.start();
    const unsigned short port = portOf(server.url());

    auto silent = std::make_unique<RawConnection>(port, 4096);
    const std::string body = wi::writeXml(loadRequest("Op0010"), wi::Envelope::Soap11);
    ASSERT_TRUE(silent->send(loadHead(wi::Envelope::Soap11, body.size()) + body));
    // Its answer is held once written, some time after the handler returned.
    ASSERT_TRUE(waitFor([&] {
        RawConnection scrape(port);
        scrape.send("GET /metrics HTTP/1.1\r\nHost: localhost\r\n\r\n");
        const std::string metrics = scrape.answer();
        const std::string gauge = "\nwi_server_answer_memory_bytes ";
        const auto at = metrics.find(gauge);
        return at != std::string::npos && std::stoull(metrics.substr(at + gauge.size())) >= service.padding.size();
    }));

    RawConnection second(port);
    const std::string refused = loadExchange(second);
    EXPECT_EQ(statusLine(refused), "HTTP/1.1 503 Service Unavailable");
    EXPECT_NE(refused.find("Retry-After: 1"), std::string::npos) << refused.substr(0, 300);
    EXPECT_NE(refused.find("answers waiting to be sent"), std::string::npos) << refused.substr(0, 300);

    silent.reset();
    EXPECT_TRUE(waitFor([&] {
        RawConnection third(port);
        return statusLine(loadExchange(third)) == "HTTP/1.1 200 OK";
    }));
    server.stop();
}

// libmicrohttpd reads a NUL as the end of a value and a bare LF as the end of
// a line; a proxy in front may read neither so.
TEST(ServerFaults, RefusesHeaderLinesOtherPeersReadOtherwise)
{
    struct Case {
        const char* name;
        std::string head;
        std::string status;
    };
    const std::string body = wi::writeXml(loadRequest("Op0010"), wi::Envelope::Soap11);
    const std::string length = std::to_string(body.size());
    const std::string start = "POST / HTTP/1.1\r\nHost: localhost\r\nContent-Type: text/xml\r\n"
                              "SOAPAction: \"http://velmora.com/Schemas/MES/2010-09/WorkInstructions/load\"\r\n";
    const Case cases[] = {
        {"sound lines", start + "Content-Length: " + length + "\r\n\r\n", "HTTP/1.1 200 OK"},
        {"a NUL inside Content-Length", start + "Content-Length: " + length + std::string(1, '\0') + "99\r\n\r\n",
         "HTTP/1.1 400 Bad Request"},
        {"a NUL inside another header", start + "X-Note: a" + std::string(1, '\0') + "b\r\nContent-Length: " +
                                            length + "\r\n\r\n",
         "HTTP/1.1 400 Bad Request"},
        {"a bare LF between two lines", start + "X-Note: a\nContent-Length: " + length + "\r\n\r\n",
         "HTTP/1.1 400 Bad Request"},
        {"a bare LF ending the last line", start + "Content-Length: " + length + "\n\r\n",
         "HTTP/1.1 400 Bad Request"},
        {"a bare LF ending the request line", "POST / HTTP/1.1\n" + start.substr(17) + "Content-Length: " + length +
                                                  "\r\n\r\n",
         "HTTP/1.1 400 Bad Request"},
    };
    TestService service;
    wi::Server server(service, quickOptions());
    server.start();
    for (const Case& test : cases) {
        SCOPED_TRACE(test.name);
        RawConnection raw(portOf(server.url()));
        ASSERT_TRUE(raw.send(test.head + body));
        EXPECT_EQ(statusLine(raw.answer()), test.status);
    }
    server.stop();
}

// A check of the request and a handler are the service's code: what they
// throw, other than a fault, tells the client nothing of its text.
TEST(ServerFaults, WhatTheServiceThrowsStaysInTheLog)
{
    struct Case {
        const char* name;
        std::function<void()> check;
        std::function<void()> handler;
        std::string status;
        std::string answerHolds;
        std::string logHolds;
    };
    const Case cases[] = {
        {"checkRequest throws DomException", [] { throw DomException("table wi_docs on db7 is gone"); }, [] {},
         "HTTP/1.1 500 Internal Server Error", "the service failed to answer", "table wi_docs on db7 is gone"},
        {"the handler runs out of memory", [] {}, [] { throw std::bad_alloc(); },
         "HTTP/1.1 503 Service Unavailable", "ran out of memory for this request", ""},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.name);
        TestService service;
        service.beforeLoad = test.handler;
        wi::ServerOptions options = quickOptions();
        options.checkRequest = [&test](std::string_view, wi::Envelope) { test.check(); };
        CapturedLog log;
        std::string answer;
        {
            wi::Server server(service, options);
            server.start();
            RawConnection raw(portOf(server.url()));
            answer = loadExchange(raw);
        }
        EXPECT_EQ(statusLine(answer), test.status);
        EXPECT_NE(answer.find(test.answerHolds), std::string::npos) << answer;
        EXPECT_EQ(answer.find("db7"), std::string::npos) << answer;
        EXPECT_EQ(answer.find("request bodies"), std::string::npos) << answer;
        EXPECT_NE(log.text().find(test.logHolds), std::string::npos) << log.text();
    }
}

// A request can make a handler name what it sent; that text must neither
// forge a line of the log nor tear one, whatever runs beside it.
TEST(ServerFaults, EveryLogLineIsWholeAndOneLine)
{
    TestService service;
    service.beforeLoad = [] { throw std::runtime_error("no Op1\nPOST load 200 received 1 sent 1 bytes in 1 us"); };
    wi::ServerOptions options = quickOptions();
    CapturedLog log;
    {
        wi::Server server(service, options);
        server.start();
        std::vector<std::thread> callers;
        for (int t = 0; t < 4; ++t) {
            callers.emplace_back([&server] {
                wi::Client client(server.url());
                for (int i = 0; i < 50; ++i) {
                    try {
                        client.load(loadRequest("Op1"));
                    } catch (const SoapFault&) {
                    }
                    client.save(saveRequest("Op2"));
                }
            });
        }
        for (std::thread& caller : callers) caller.join();
    }
    const std::regex access(R"(POST (load|save) (200|500) received \d+ sent \d+ bytes in \d+ us peer \S+ user - id \S+)");
    const std::string own = "server: load handler failed: no Op1\\x0aPOST load 200 received 1 sent 1 bytes in 1 us";
    std::istringstream lines(log.text());
    int accessLines = 0, ownLines = 0;
    for (std::string line; std::getline(lines, line);) {
        if (std::regex_match(line, access)) {
            ++accessLines;
        } else if (line == own) {
            ++ownLines;
        } else {
            ADD_FAILURE() << "a line of neither shape: " << line;
        }
    }
    EXPECT_EQ(accessLines, 400);
    EXPECT_EQ(ownLines, 200);
}

// After a stop out of grace, wait() returns once the handler has, so that the
// service can go.
TEST(ServerFaults, WaitOutlastsTheHandlerAStopLeft)
{
    TestService service;
    std::atomic<bool> entered{false}, release{false}, finished{false};
    service.beforeLoad = [&] {
        entered = true;
        while (!release) std::this_thread::sleep_for(std::chrono::milliseconds(5));
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        finished = true;
    };
    wi::ServerOptions options = quickOptions();
    options.stopGraceMs = 400;
    wi::Server server(service, options);
    server.start();
    RawConnection raw(portOf(server.url()));
    const std::string body = wi::writeXml(loadRequest("Op0010"), wi::Envelope::Soap11);
    ASSERT_TRUE(raw.send(loadHead(wi::Envelope::Soap11, body.size()) + body));
    ASSERT_TRUE(waitFor([&] { return entered.load(); }));
    EXPECT_FALSE(server.stop());
    EXPECT_FALSE(finished);
    release = true;
    server.wait();
    EXPECT_TRUE(finished);
}

// url() may be asked from any thread, while another stops the server.
TEST(ServerFaults, UrlWhileStopping)
{
    TestService service;
    wi::Server server(service, quickOptions());
    for (int round = 0; round < 20; ++round) {
        server.start();
        std::atomic<bool> done{false};
        std::thread asker([&] {
            while (!done) {
                const std::string url = server.url();
                if (!url.empty() && url.rfind("http://127.0.0.1:", 0) != 0) ADD_FAILURE() << url;
            }
        });
        server.stop();
        done = true;
        asker.join();
        EXPECT_EQ(server.url(), "");
    }
}
