// The client's calls that succeed or bring a fault: against `wixml serve` in
// every envelope, faults of both SOAP versions, and what a request carries.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "ServiceProcess.hpp"
#include "workinstructions/Client.hpp"

namespace wi = Velmora::Schemas::Mes::_2010_09::Workinstructions;
using Kavella::Soa::Common::Xml::SoapFault;
using service_test::connectionsSoFar;
using service_test::exampleFile;
using service_test::fetch;

namespace {

template <class T>
wi::AutoPtr<T> example(const std::string& name)
{
    return wi::readXml<T>(exampleFile(name));
}

const char* envelopeName(wi::Envelope envelope)
{
    return envelope == wi::Envelope::Soap11 ? "SOAP 1.1" : envelope == wi::Envelope::Soap12 ? "SOAP 1.2" : "bare";
}

} // namespace

// Both operations in every envelope against wixml serve --strict, which checks
// media type, action and schema: the replies are the example replies, whole.
TEST(ClientCalls, BothOperationsInEveryEnvelope)
{
    const service_test::ServiceProcess serve = service_test::startServe({"--strict"});
    const std::string expectedLoad = wi::writeXml(*example<wi::LoadedObjectsResponse>("load-reply.xml"));
    const std::string expectedSave = wi::writeXml(*example<wi::SavedObjectsResponse>("save-reply.xml"));
    for (const wi::Envelope envelope : {wi::Envelope::Soap11, wi::Envelope::Soap12, wi::Envelope::None}) {
        SCOPED_TRACE(envelopeName(envelope));
        wi::ClientOptions options;
        options.envelope = envelope;
        wi::Client client(serve.url() + "WorkInstructions", options);
        EXPECT_EQ(wi::writeXml(*client.load(*example<wi::LoadWorkInstructionDocInput>("load-request.xml"))),
                  expectedLoad);
        EXPECT_EQ(wi::writeXml(*client.save(*example<wi::SaveWorkInstructionDocInput>("save-request.xml"))),
                  expectedSave);
    }
}

// A reply many times the pieces it is read in arrives whole, in order, and
// the connection is kept for the next call.
TEST(ClientCalls, LargeReplyArrivesWhole)
{
    const service_test::ServiceProcess standIn = service_test::startStandIn();
    wi::Client client(standIn.url() + "large");
    for (int call = 0; call < 2; ++call) {
        const auto reply = client.save(*example<wi::SaveWorkInstructionDocInput>("save-request.xml"));
        const auto& created = reply->getServiceData()->getCreatedArray();
        ASSERT_EQ(created.size(), 20000u);
        for (std::size_t i = 0; i < created.size(); i += 997) EXPECT_EQ(created[i], "Obj" + std::to_string(i));
        EXPECT_EQ(created.back(), "Obj19999");
    }
}

// An https service's certificate is checked unless told otherwise; a CA
// file stands in for the system's.
TEST(ClientCalls, TlsIsVerifiedUnlessToldOtherwise)
{
    namespace fs = std::filesystem;
    const fs::path directory = fs::temp_directory_path() / ("client-tls-" + std::to_string(getpid()));
    fs::create_directories(directory);
    const service_test::ServiceProcess standIn = service_test::startStandIn({"--tls", directory.string()});
    struct Row {
        std::string name;
        std::function<void(wi::ClientOptions&)> change;
        bool succeeds;
    };
    const Row rows[] = {
        {"the system's CAs", {}, false},
        {"the certificate as CA file", [&](wi::ClientOptions& o) { o.caFile = (directory / "cert.pem").string(); },
         true},
        {"no verification", [](wi::ClientOptions& o) { o.verifyTls = false; }, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        wi::ClientOptions options;
        if (row.change) row.change(options);
        wi::Client client(standIn.url() + "echo", options);
        try {
            const auto reply = client.save(*example<wi::SaveWorkInstructionDocInput>("save-request.xml"));
            EXPECT_TRUE(row.succeeds);
            EXPECT_EQ(reply->getServiceData()->getCreatedArray().size(), 1u);
        } catch (const wi::CallError& error) {
            EXPECT_FALSE(row.succeeds) << error.what();
            EXPECT_EQ(error.kind(), wi::CallError::Kind::Tls) << error.what();
        }
    }
    fs::remove_all(directory);
}

// A client certificate goes to a service that asks for one (the stand-in takes
// no client without it); without one, or with another key, the call fails.
// Under TLS 1.3 a refused client learns it at its first read: from the
// service's alert (Tls), or, when the service has closed first, as Closed.
TEST(ClientCalls, ClientCertificateForMutualTls)
{
    namespace fs = std::filesystem;
    const fs::path directory = fs::temp_directory_path() / ("client-mtls-" + std::to_string(getpid()));
    fs::create_directories(directory);
    const service_test::ServiceProcess standIn =
        service_test::startStandIn({"--tls", directory.string(), "--client-cert"});
    const std::string cert = (directory / "client-cert.pem").string(), key = (directory / "client-key.pem").string();
    struct Row {
        std::string name, certFile, keyFile;
        bool succeeds;
        std::set<wi::CallError::Kind> kinds;
    };
    using Kind = wi::CallError::Kind;
    const Row rows[] = {
        {"the certificate and its key", cert, key, true, {}},
        {"no certificate", "", "", false, {Kind::Tls, Kind::Closed}},
        {"the certificate with the service's key", cert, (directory / "key.pem").string(), false, {Kind::Tls}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        wi::ClientOptions options;
        options.caFile = (directory / "cert.pem").string();
        options.clientCertFile = row.certFile;
        options.clientKeyFile = row.keyFile;
        wi::Client client(standIn.url() + "echo", options);
        try {
            client.save(*example<wi::SaveWorkInstructionDocInput>("save-request.xml"));
            EXPECT_TRUE(row.succeeds);
        } catch (const wi::CallError& error) {
            EXPECT_FALSE(row.succeeds) << error.what();
            EXPECT_EQ(row.kinds.count(error.kind()), 1u) << error.what();
        }
    }
    fs::remove_all(directory);
}

// A UsernameToken as a peer that follows the profile judges it (the stand-in
// computes the digest with Python's hashlib): in either envelope, digest or
// text, a fresh nonce for each call; a wrong password is refused by the peer.
TEST(ClientCalls, UsernameTokenIsWhatTheProfileSays)
{
    namespace fs = std::filesystem;
    const fs::path directory = fs::temp_directory_path() / ("client-wsse-" + std::to_string(getpid()));
    fs::create_directories(directory);
    const service_test::ServiceProcess standIn = service_test::startStandIn({"--tls", directory.string()});
    struct Row {
        wi::Envelope envelope;
        bool digest;
        std::string password, refusal;
    };
    const Row rows[] = {
        {wi::Envelope::Soap11, true, "secret", ""},
        {wi::Envelope::Soap12, true, "secret", ""},
        {wi::Envelope::Soap11, true, "secreT", "the password digest differs"},
        {wi::Envelope::Soap11, false, "secret", ""},
        {wi::Envelope::Soap12, false, "wrong", "wrong password"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(envelopeName(row.envelope)) + (row.digest ? " digest " : " text ") + row.password);
        wi::ClientOptions options;
        options.envelope = row.envelope;
        options.caFile = (directory / "cert.pem").string();
        options.usernameToken = {"jdoe", row.password, row.digest};
        wi::Client client(standIn.url() + "wsse", options);
        for (int call = 0; call < 2; ++call) {
            try {
                client.save(*example<wi::SaveWorkInstructionDocInput>("save-request.xml"));
                EXPECT_EQ(row.refusal, "");
            } catch (const SoapFault& fault) {
                EXPECT_EQ(fault.reason(), row.refusal);
            }
        }
    }
    fs::remove_all(directory);
}

// SOAP header blocks and headers of the client go with every call, a call's
// own after them and with that call only, in the envelope's Header.
TEST(ClientCalls, HeaderBlocksOfClientAndCall)
{
    const service_test::ServiceProcess standIn = service_test::startStandIn();
    const std::string clientBlock = "<a:trace xmlns:a=\"urn:a\">t-1</a:trace>";
    const std::string callBlock = "<b:tenant xmlns:b=\"urn:b\" b:site=\"7\">plant &amp; line</b:tenant>";
    struct Row {
        wi::Envelope envelope;
        bool withCall;
        std::vector<std::string> expected, absent;
    };
    const Row rows[] = {
        {wi::Envelope::Soap11, true,
         {"<soapenv:Header>" + clientBlock + callBlock + "</soapenv:Header><soapenv:Body>", "x-client: c", "x-call: 1"},
         {}},
        {wi::Envelope::Soap11, false, {"<soapenv:Header>" + clientBlock + "</soapenv:Header><soapenv:Body>"},
         {"x-call", "b:tenant"}},
        {wi::Envelope::Soap12, true, {"<env:Header>" + clientBlock + callBlock + "</env:Header><env:Body>"}, {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(envelopeName(row.envelope)) + (row.withCall ? " with" : " without") + " call options");
        wi::ClientOptions options;
        options.envelope = row.envelope;
        options.soapHeaders = {clientBlock};
        options.headers = {{"X-Client", "c"}};
        wi::CallOptions call;
        call.soapHeaders = {callBlock};
        call.headers = {{"X-Call", "1"}};
        wi::Client client(standIn.url() + "echo", options);
        const auto request = example<wi::SaveWorkInstructionDocInput>("save-request.xml");
        if (row.withCall) {
            client.save(*request, call);
        } else {
            client.save(*request);
        }
        const std::string record = fetch(standIn.url() + "last");
        for (const std::string& text : row.expected) EXPECT_NE(record.find(text), std::string::npos) << text;
        for (const std::string& text : row.absent) EXPECT_EQ(record.find(text), std::string::npos) << text;
    }
}

// A fault arrives as SoapFault with its code (subcodes after '/', their
// prefixes resolved), reason and detail with its elements, whatever the HTTP
// status it came with.
TEST(ClientCalls, FaultsRaiseSoapFault)
{
    namespace fs = std::filesystem;
    const fs::path replies = fs::temp_directory_path() / ("client-faults-" + std::to_string(getpid()));
    fs::create_directories(replies);
    for (const char* name : {"load-reply.xml", "save-reply.xml"}) {
        std::ofstream(replies / name) << exampleFile(name);
    }
    std::ofstream(replies / "save-fault.xml")
        << "<soapenv:Envelope xmlns:soapenv=\"http://schemas.xmlsoap.org/soap/envelope/\"><soapenv:Body>"
           "<soapenv:Fault><faultcode>soapenv:Server</faultcode><faultstring>Work instruction is checked out"
           "</faultstring><detail><lock>jdoe since 08:00</lock></detail></soapenv:Fault></soapenv:Body>"
           "</soapenv:Envelope>";
    const service_test::ServiceProcess serve = service_test::startServe({"--replies", replies.string()});
    const service_test::ServiceProcess standIn = service_test::startStandIn();
    fs::remove_all(replies); // read at start-up

    struct Row {
        const service_test::ServiceProcess& service;
        std::string path;
        wi::Envelope envelope;
        std::string code, reason, detail;
        std::vector<std::string> subcodes;
        std::string detailXml;
    };
    const Row rows[] = {
        {serve, "", wi::Envelope::Soap11, "soapenv:Server", "Work instruction is checked out", "jdoe since 08:00", {},
         "<lock>jdoe since 08:00</lock>"},
        {serve, "", wi::Envelope::Soap12, "env:Receiver", "Work instruction is checked out", "jdoe since 08:00", {},
         "<lock>jdoe since 08:00</lock>"},
        {standIn, "fault-200", wi::Envelope::Soap11, "s:Server", "Store offline", "retry later", {}, "<x>retry later</x>"},
        {standIn, "fault-12", wi::Envelope::Soap12, "env:Sender/app:Locked", "Checked out", "jdoe", {"{urn:app}Locked"},
         "<app:by xmlns:app=\"urn:app\">jdoe</app:by>"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.service.url() + row.path + " " + envelopeName(row.envelope));
        wi::ClientOptions options;
        options.envelope = row.envelope;
        wi::Client client(row.service.url() + row.path, options);
        try {
            client.save(*example<wi::SaveWorkInstructionDocInput>("save-request.xml"));
            ADD_FAILURE() << "no fault";
        } catch (const SoapFault& fault) {
            EXPECT_EQ(fault.code(), row.code);
            EXPECT_EQ(fault.reason(), row.reason);
            EXPECT_EQ(fault.detail(), row.detail);
            EXPECT_EQ(fault.subcodes(), row.subcodes);
            EXPECT_EQ(fault.detailXml(), row.detailXml);
        }
    }
}

// The media type and soapAction as the WSDL binds them, the user's headers and
// credentials; and one connection for all the calls of a client, a new one
// only after the last was cut.
TEST(ClientCalls, RequestsCarryTheBindingAndReuseTheConnection)
{
    const service_test::ServiceProcess standIn = service_test::startStandIn();
    const std::string save = "\"http://velmora.com/Schemas/MES/2010-09/WorkInstructions/save\"";
    struct Row {
        wi::Envelope envelope;
        std::vector<std::string> expected, absent;
    };
    const Row rows[] = {
        {wi::Envelope::Soap11,
         {"content-type: text/xml; charset=utf-8", "soapaction: " + save, "<soapenv:Envelope", "x-token: abc 123",
          "authorization: Basic dXNlcjpww6Fzcw=="},
         {"expect:"}},
        {wi::Envelope::Soap12,
         {"content-type: application/soap+xml; charset=utf-8; action=" + save, "<env:Envelope", "x-token: abc 123",
          "authorization: Basic dXNlcjpww6Fzcw=="},
         {"soapaction:", "expect:"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(envelopeName(row.envelope));
        wi::ClientOptions options;
        options.envelope = row.envelope;
        options.headers = {{"X-Token", "abc 123"}};
        options.user = "user";
        options.password = "p\xC3\xA1ss";
        wi::Client client(standIn.url() + "echo", options);
        const int before = connectionsSoFar(standIn.url());
        for (int call = 0; call < 3; ++call) {
            client.save(*example<wi::SaveWorkInstructionDocInput>("save-request.xml"));
        }
        const std::string record = fetch(standIn.url() + "last");
        EXPECT_EQ(connectionsSoFar(standIn.url()) - before, 3) << "three calls, two GETs: one connection each";
        for (const std::string& text : row.expected) EXPECT_NE(record.find(text), std::string::npos) << text;
        for (const std::string& text : row.absent) EXPECT_EQ(record.find(text), std::string::npos) << text;
    }

    wi::Client client(standIn.url() + "cut-once");
    const auto request = example<wi::SaveWorkInstructionDocInput>("save-request.xml");
    EXPECT_THROW(client.save(*request), wi::CallError);
    EXPECT_NO_THROW(client.save(*request)) << "the client recovers on a new connection";
    EXPECT_NO_THROW(client.save(*request));
}
