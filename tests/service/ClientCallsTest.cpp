// The client's calls that succeed or bring a fault: against `wixml serve` in
// every envelope, faults of both SOAP versions, and what a request carries.

#include <curl/curl.h>
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "ServiceProcess.hpp"
#include "workinstructions/Client.hpp"

namespace wi = Velmora::Schemas::Mes::_2010_09::Workinstructions;
using Kavella::Soa::Common::Xml::SoapFault;
using service_test::exampleFile;

namespace {

template <class T>
wi::AutoPtr<T> example(const std::string& name)
{
    return wi::readXml<T>(exampleFile(name));
}

// A GET of the stand-in's record, with libcurl as any other peer would.
std::string fetch(const std::string& url)
{
    CURL* curl = curl_easy_init();
    std::string text;
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, +[](char* data, size_t size, size_t count, void* out) {
        static_cast<std::string*>(out)->append(data, size * count);
        return size * count;
    });
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &text);
    const CURLcode result = curl_easy_perform(curl);
    curl_easy_cleanup(curl);
    if (result != CURLE_OK) throw std::runtime_error("GET " + url + ": " + curl_easy_strerror(result));
    return text;
}

int connectionsSoFar(const std::string& base)
{
    const std::string record = fetch(base + "last");
    return std::stoi(record.substr(record.find(':') + 1));
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

// Clients on different threads at once, each its own: every reply whole.
TEST(ClientCalls, ClientsOnThreadsShareNothing)
{
    const service_test::ServiceProcess serve = service_test::startServe();
    const std::string expected = wi::writeXml(*example<wi::SavedObjectsResponse>("save-reply.xml"));
    const auto request = example<wi::SaveWorkInstructionDocInput>("save-request.xml");
    std::atomic<int> whole{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            wi::ClientOptions options;
            options.envelope = t % 2 ? wi::Envelope::Soap12 : wi::Envelope::Soap11;
            wi::Client client(serve.url(), options);
            for (int call = 0; call < 25; ++call) {
                if (wi::writeXml(*client.save(*request)) == expected) ++whole;
            }
        });
    }
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(whole.load(), 100);
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
