// The library's Server, in this process, with the library's Client as its
// peer: replies in each envelope, handlers' faults on the wire, the health
// check while the server drains, and a port that is taken.

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <future>
#include <stdexcept>
#include <thread>

#include "ServerFixture.hpp"
#include "workinstructions/Client.hpp"
#include "kvsoa/Monitor.hpp"
#include "workinstructions/Server.hpp"
#include "workinstructions/WorkInstructions.hpp"

using Kavella::Soa::Common::Xml::SoapFault;
using Kavella::Soa::Common::Xml::SoapFaultCode;
using Kavella::Soa::Common::Xml::SoapFaultParts;
using Kavella::Soa::Common::Xml::SoapVersion;

using namespace serverfixture;

TEST(Server, AnswersTheClientInEachEnvelope)
{
    TestService service;
    wi::Server server(service, quickOptions());
    server.start();
    for (const wi::Envelope envelope : {wi::Envelope::Soap11, wi::Envelope::Soap12, wi::Envelope::None}) {
        SCOPED_TRACE(static_cast<int>(envelope));
        wi::ClientOptions options;
        options.envelope = envelope;
        wi::Client client(server.url(), options);
        EXPECT_EQ(client.load(loadRequest("Op0010"))->getLoadedObjectArray().at(0)->getWorkInstructionFile(),
                  "Op0010.wix");
        EXPECT_EQ(client.save(saveRequest("Op0020"))->getServiceData()->getCreatedArray(),
                  std::vector<std::string>{"Op0020"});
    }
    EXPECT_TRUE(server.stop());
}

// What a handler throws, and what the client gets, in each SOAP version.
TEST(Server, HandlerFaultsReachTheClientAndNothingElseDoes)
{
    struct Case {
        const char* name;
        std::function<void()> thrown;
        SoapFaultCode code;
        std::vector<std::string> subcodes11; // SOAP 1.1 carries a subcode's local name only
        std::vector<std::string> subcodes12;
        std::string reason;
        std::string detailXml; // as the client reads it
    };
    const std::string secret = "password=hunter2 at db7:5432";
    const std::string detail = "<t:uid xmlns:t=\"urn:test:store\">X1</t:uid>"
                               "<t:hint xmlns:t=\"urn:test:store\" at=\"2\"><t:by>7</t:by> reload</t:hint>";
    const Case cases[] = {
        {"a Sender fault with a subcode and detail elements",
         [&detail] {
             SoapFaultParts parts(SoapFaultCode::Sender, "Op0010 is locked");
             parts.subcodes = {"{urn:test:store}Locked"};
             parts.detailXml = detail;
             throw SoapFault(std::move(parts));
         },
         SoapFaultCode::Sender, {"Locked"}, {"{urn:test:store}Locked"}, "Op0010 is locked", detail},
        {"SOAP 1.1's dotted Server code",
         [] { throw SoapFault(SoapVersion::Soap11, "soapenv:Server.Database.Down", "try later", ""); },
         SoapFaultCode::Receiver, {"Database", "Down"}, {"Database", "Down"}, "try later", ""},
        {"SOAP 1.2's Sender word given to a SOAP 1.1 request alike",
         [] { throw SoapFault(SoapVersion::Soap12, "env:Sender", "bad uid", "uid 0"); },
         SoapFaultCode::Sender, {}, {}, "bad uid", "uid 0"},
        {"a runtime_error, whose text stays in the log",
         [&secret] { throw std::runtime_error(secret); },
         SoapFaultCode::Receiver, {}, {}, "the service failed to answer", ""},
        {"something that is no exception class", [] { throw 42; },
         SoapFaultCode::Receiver, {}, {}, "the service failed to answer", ""},
    };
    TestService service;
    wi::Server server(service, quickOptions());
    server.start();
    for (const Case& test : cases) {
        for (const wi::Envelope envelope : {wi::Envelope::Soap11, wi::Envelope::Soap12}) {
            SCOPED_TRACE(std::string(test.name) + (envelope == wi::Envelope::Soap11 ? ", SOAP 1.1" : ", SOAP 1.2"));
            service.beforeLoad = test.thrown;
            wi::ClientOptions options;
            options.envelope = envelope;
            wi::Client client(server.url(), options);
            try {
                client.load(loadRequest("Op0010"));
                ADD_FAILURE() << "no fault";
            } catch (const SoapFault& fault) {
                EXPECT_EQ(fault.faultCode(), test.code);
                EXPECT_EQ(fault.subcodes(), envelope == wi::Envelope::Soap11 ? test.subcodes11 : test.subcodes12);
                EXPECT_EQ(fault.reason(), test.reason);
                EXPECT_EQ(fault.detailXml(), test.detailXml);
            }
            RawConnection raw(portOf(server.url()));
            const std::string body = wi::writeXml(loadRequest("Op0010"), envelope);
            ASSERT_TRUE(raw.send(loadHead(envelope, body.size()) + body));
            EXPECT_EQ(raw.answer().find("hunter2"), std::string::npos);
        }
    }
    server.stop();
}

// Hears each document the reader reads, on any thread.
class ReadCounter : public Kavella::Soa::Common::MonitorListener {
public:
    ReadCounter() { Kavella::Soa::Common::Monitor::setListener(this); }
    ~ReadCounter() override { Kavella::Soa::Common::Monitor::setListener(nullptr); }
    void onStart(const std::string& traceName) override
    {
        if (traceName == Kavella::Soa::Common::Xml::XMLEventReader::traceName) ++reads;
    }
    std::atomic<int> reads{0};
};

// However a request is answered, its text is read once: the envelope judged,
// the operation chosen and the message read in the same pass.
TEST(Server, ReadsEachRequestOnce)
{
    const auto withHeader = [](std::string body) {
        const std::string block = "<soapenv:Header><h xmlns=\"urn:test\" soapenv:mustUnderstand=\"1\"/></soapenv:Header>";
        return body.insert(body.find("<soapenv:Body>"), block);
    };
    const auto withinMessage = [](std::string body, const std::string& markup) {
        return body.insert(body.find('>', body.find("LoadWorkInstructionDocInput")) + 1, markup);
    };
    const std::string soap11 = wi::writeXml(loadRequest("Op0010"), wi::Envelope::Soap11);
    struct Case {
        const char* name;
        wi::Envelope envelope;
        std::string body;
        const char* status;
        bool handled;
    };
    const Case cases[] = {
        {"SOAP 1.1", wi::Envelope::Soap11, soap11, "200", true},
        {"SOAP 1.2", wi::Envelope::Soap12, wi::writeXml(loadRequest("Op0010"), wi::Envelope::Soap12), "200", true},
        {"bare", wi::Envelope::None, wi::writeXml(loadRequest("Op0010")), "200", true},
        {"a mandatory header block", wi::Envelope::Soap11, withHeader(soap11), "500", false},
        {"no operation's request", wi::Envelope::Soap11,
         "<soapenv:Envelope xmlns:soapenv=\"http://schemas.xmlsoap.org/soap/envelope/\"><soapenv:Body><x/>"
         "</soapenv:Body></soapenv:Envelope>", "500", false},
        {"an unknown member", wi::Envelope::Soap11, withinMessage(soap11, "<bogus/>"), "500", false},
        {"malformed after the message", wi::Envelope::Soap11, soap11 + "<tail>", "500", false},
    };
    TestService service;
    wi::Server server(service, quickOptions());
    server.start();
    ReadCounter counter;
    int readWhenHandled = -1;
    service.beforeLoad = [&] { readWhenHandled = counter.reads.load(); };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.name);
        counter.reads = 0;
        readWhenHandled = -1;
        RawConnection raw(portOf(server.url()));
        ASSERT_TRUE(raw.send(loadHead(test.envelope, test.body.size()) + test.body));
        const std::string answer = raw.answer();
        EXPECT_EQ(answer.substr(9, 3), test.status) << answer;
        EXPECT_EQ(counter.reads.load(), 1);
        EXPECT_EQ(readWhenHandled, test.handled ? 1 : -1);
    }
    server.stop();
}

// A load balancer asks /health: 200 while the server takes work, 503 once it
// stops while a request is still arriving; that request is still answered.
TEST(Server, HealthTurns503WhileDraining)
{
    TestService service;
    wi::ServerOptions options = quickOptions();
    options.stopGraceMs = 5000;
    wi::Server server(service, options);
    server.start();
    const unsigned short port = portOf(server.url());
    RawConnection balancer(port);
    ASSERT_TRUE(balancer.connected());
    EXPECT_EQ(balancer.get("/health"), "HTTP/1.1 200 OK");

    // Half a request: an exchange open that holds no worker thread. The
    // server's 100 Continue says that its headers are in.
    RawConnection slow(port);
    const std::string body = wi::writeXml(loadRequest("Op0030"), wi::Envelope::Soap11);
    ASSERT_TRUE(slow.send(loadHead(wi::Envelope::Soap11, body.size(), "Expect: 100-continue\r\n")));
    ASSERT_EQ(slow.answer(), "HTTP/1.1 100 Continue\r\n\r\n");
    ASSERT_TRUE(slow.send(body.substr(0, 100)));

    auto stopped = std::async(std::launch::async, [&] { return server.stop(); });
    // The stop closes the listening socket first: new connections are refused.
    for (int i = 0; i < 200 && RawConnection(port).connected(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_FALSE(RawConnection(port).connected());
    EXPECT_EQ(balancer.get("/health"), "HTTP/1.1 503 Service Unavailable");
    ASSERT_TRUE(slow.send(body.substr(100)));
    const std::string answer = slow.answer();
    EXPECT_EQ(answer.substr(0, answer.find("\r\n")), "HTTP/1.1 200 OK");
    EXPECT_NE(answer.find("workInstructionFile=\"Op0030.wix\""), std::string::npos) << answer;
    EXPECT_TRUE(stopped.get());
}

TEST(Server, StartNamesTheAddressItCannotTake)
{
    TestService service;
    wi::Server first(service, quickOptions());
    first.start();
    wi::ServerOptions options = quickOptions();
    options.port = portOf(first.url());
    wi::Server second(service, options);
    try {
        second.start();
        ADD_FAILURE() << "a second server took port " << options.port;
    } catch (const std::runtime_error& error) {
        const std::string message = error.what();
        EXPECT_NE(message.find("127.0.0.1 port " + std::to_string(options.port)), std::string::npos) << message;
        EXPECT_NE(message.find("in use"), std::string::npos) << message;
    }
    EXPECT_EQ(second.url(), "");
    options.maxBodyMemory = options.maxBody - 1;
    EXPECT_THROW(wi::Server(service, options).start(), std::invalid_argument);
}
