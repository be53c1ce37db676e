// The client's calls that fail: the transport, HTTP errors without a fault,
// replies of the wrong message, and options that cannot be used.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <optional>

#include "ServiceProcess.hpp"
#include "workinstructions/Client.hpp"

namespace wi = Velmora::Schemas::Mes::_2010_09::Workinstructions;
using Kavella::Soa::Common::Xml::DomException;
using Kind = wi::CallError::Kind;
using service_test::exampleFile;

namespace {

// A loopback port bound by a socket that does not listen: connecting is
// refused. With full, it listens but never accepts, and its queue is filled,
// so that connecting waits for ever.
class LoopbackPort {
public:
    explicit LoopbackPort(bool full = false) : m_socket(socket(AF_INET, SOCK_STREAM, 0))
    {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (bind(m_socket, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
            getsockname(m_socket, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
            throw std::runtime_error("cannot bind a loopback port");
        }
        m_url = "http://127.0.0.1:" + std::to_string(ntohs(address.sin_port)) + "/";
        if (!full) return;
        listen(m_socket, 0);
        for (int& filler : m_fillers) {
            filler = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
            connect(filler, reinterpret_cast<sockaddr*>(&address), length);
        }
    }
    ~LoopbackPort()
    {
        for (const int filler : m_fillers) {
            if (filler >= 0) close(filler);
        }
        close(m_socket);
    }
    const std::string& url() const { return m_url; }

private:
    int m_socket;
    int m_fillers[3] = {-1, -1, -1};
    std::string m_url;
};

double secondsOf(const std::function<void()>& call)
{
    const auto start = std::chrono::steady_clock::now();
    call();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

wi::AutoPtr<wi::SaveWorkInstructionDocInput> saveRequest()
{
    return wi::readXml<wi::SaveWorkInstructionDocInput>(exampleFile("save-request.xml"));
}

} // namespace

// Each failure of the transport, or an HTTP error without a fault, raises
// CallError saying which, with the URL; none waits longer than its limit.
TEST(ClientFailures, TransportAndHttpErrorsSayWhich)
{
    const service_test::ServiceProcess standIn = service_test::startStandIn();
    const LoopbackPort closedPort, fullPort(true);
    struct Row {
        std::string url;
        std::chrono::milliseconds timeout; // the connect timeout, for the connect timeout
        std::size_t maxReplyBytes;
        Kind kind;
        long status;
        std::vector<std::string> message;
        double seconds; // the most the call may take
    };
    const std::chrono::milliseconds second{1000}, minute{60000};
    const std::size_t mebibyte = 1024 * 1024, unlimited = 64 * mebibyte;
    const std::string base = standIn.url();
    const Row rows[] = {
        {base + "hang", second, unlimited, Kind::Timeout, 0, {"no complete reply within the timeout of 1000 ms"}, 3},
        {base + "wrong-then-hang", second, unlimited, Kind::Timeout, 200, {"timeout"}, 3}, // read as a load
        {base + "cut", minute, unlimited, Kind::Closed, 200, {"closed the connection before the reply was complete"}, 5},
        {base + "cut-chunked", minute, unlimited, Kind::Closed, 200, {"before the reply was complete"}, 5},
        {base + "nothing", minute, unlimited, Kind::Closed, 0, {"closed the connection without replying"}, 5},
        {base + "status-503", minute, unlimited, Kind::HttpStatus, 503,
         {"HTTP 503 Service Unavailable: <html><body> <h1>Down for maintenance</h1> </body></html>"}, 5},
        {base + "xml-500", minute, unlimited, Kind::HttpStatus, 500, {"HTTP 500", "no SOAP fault"}, 5},
        {base + "status-control", minute, unlimited, Kind::HttpStatus, 502, {": HTTP 502 Bad\\x1B[2J\\x07Gateway\\x7F"}, 5},
        {base + "long-header", minute, unlimited, Kind::ReplyTooLarge, 200, {"headers are larger than libcurl takes"}, 5},
        {base + "many-headers", minute, unlimited, Kind::ReplyTooLarge, 200, {"headers are larger than libcurl takes"}, 5},
        {base + "big", minute, mebibyte, Kind::ReplyTooLarge, 200, {"longer than the limit of 1048576 bytes"}, 5},
        {base + "big-chunked", minute, mebibyte, Kind::ReplyTooLarge, 200, {"past the limit of 1048576 bytes"}, 5},
        {closedPort.url(), minute, unlimited, Kind::Refused, 0, {"connection refused"}, 5},
        {fullPort.url(), second, unlimited, Kind::ConnectTimeout, 0,
         {"no connection within the connect timeout of 1000 ms"}, 3},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.url);
        wi::ClientOptions options;
        (row.kind == Kind::ConnectTimeout ? options.connectTimeout : options.timeout) = row.timeout;
        options.maxReplyBytes = row.maxReplyBytes;
        wi::Client client(row.url, options);
        std::optional<wi::CallError> error;
        const double seconds = secondsOf([&] {
            try {
                if (row.url.find("wrong-then-hang") != std::string::npos) {
                    client.load(wi::LoadWorkInstructionDocInput());
                } else {
                    client.save(*saveRequest());
                }
            } catch (const wi::CallError& thrown) {
                error = thrown;
            }
        });
        ASSERT_TRUE(error) << "no CallError";
        EXPECT_EQ(error->kind(), row.kind) << error->what();
        EXPECT_EQ(error->httpStatus(), row.status) << error->what();
        EXPECT_EQ(error->url(), row.url);
        EXPECT_EQ(std::string(error->what()).rfind(row.url + ": ", 0), 0u) << error->what();
        for (const std::string& text : row.message) {
            EXPECT_NE(std::string(error->what()).find(text), std::string::npos) << error->what();
        }
        EXPECT_LT(seconds, row.seconds);
        if (row.kind == Kind::Timeout || row.kind == Kind::ConnectTimeout) {
            EXPECT_GE(seconds, 0.9);
        }
    }
}

// Another operation's reply, or another namespace's, is refused by name, at
// its element; before the rest of it arrives, since the reply is read as it comes.
TEST(ClientFailures, WrongMessageIsRefusedByName)
{
    const service_test::ServiceProcess standIn = service_test::startStandIn();
    const std::string uri = wi::NamespaceUri;
    struct Row {
        std::string path;
        bool load;
        std::string message;
        int line;
    };
    const Row rows[] = {
        {"wrong", false, "<LoadedObjectsResponse> in " + uri + " is not a SavedObjectsResponse", 0},
        {"wrong-then-hang", false, "<LoadedObjectsResponse> in " + uri + " is not a SavedObjectsResponse", 1},
        {"echo", true, "<SavedObjectsResponse> in " + uri + " is not a LoadedObjectsResponse", 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.path);
        wi::ClientOptions options;
        options.timeout = std::chrono::seconds(20);
        wi::Client client(standIn.url() + row.path, options);
        const double seconds = secondsOf([&] {
            try {
                if (row.load) {
                    client.load(wi::LoadWorkInstructionDocInput());
                } else {
                    client.save(*saveRequest());
                }
                ADD_FAILURE() << "no error";
            } catch (const DomException& error) {
                EXPECT_NE(error.getMessage().find(row.message), std::string::npos) << error.getMessage();
                EXPECT_GT(error.line(), 0);
                if (row.line) {
                    EXPECT_EQ(error.line(), row.line);
                }
            }
        });
        EXPECT_LT(seconds, 5.0) << "waited for a reply already refused";
    }
}

// Options that cannot work are refused when the client is made, by name.
TEST(ClientFailures, UnusableOptionsAreRefused)
{
    struct Row {
        std::string url;
        std::function<void(wi::ClientOptions&)> change;
        std::string message;
    };
    const Row rows[] = {
        {"ftp://host/", {}, "'ftp://host/' is not an http:// or https:// URL"},
        {"http://host /x", {}, "'http://host /x' holds white space"},
        {"http://host/", [](wi::ClientOptions& o) { o.timeout = std::chrono::milliseconds(0); },
         "ClientOptions::timeout must be positive, not 0 ms"},
        {"http://host/", [](wi::ClientOptions& o) { o.connectTimeout = std::chrono::milliseconds(-5); },
         "ClientOptions::connectTimeout must be positive, not -5 ms"},
        {"http://host/", [](wi::ClientOptions& o) { o.maxReplyBytes = 0; }, "maxReplyBytes must be positive"},
        {"http://host/", [](wi::ClientOptions& o) { o.headers = {{"Bad Name", "x"}}; }, "'Bad Name' is no header name"},
        {"http://host/", [](wi::ClientOptions& o) { o.headers = {{"X-A", "1\r\nX-B: 2"}}; },
         "the value of X-A holds a line break"},
        {"http://host/", [](wi::ClientOptions& o) { o.headers = {{"soapaction", "x"}}; },
         "soapaction is set by each call"},
        {"http://host/", [](wi::ClientOptions& o) { o.headers = {{"Content-Length", "5"}}; },
         "Content-Length frames the request or steers the connection"},
        {"http://host/", [](wi::ClientOptions& o) { o.headers = {{"transfer-encoding", "chunked"}}; },
         "transfer-encoding frames the request"},
        {"http://host/", [](wi::ClientOptions& o) { o.headers = {{"Host", "elsewhere"}}; }, "Host frames the request"},
        {"http://host/", [](wi::ClientOptions& o) { o.maxReplyElements = 0; }, "maxReplyElements must be positive"},
        {"https://host/", [](wi::ClientOptions& o) { o.clientCertFile = "/etc/hostname"; },
         "clientCertFile and clientKeyFile go together"},
        {"https://host/", [](wi::ClientOptions& o) { o.clientCertFile = o.clientKeyFile = "/no/such.pem"; },
         "cannot read '/no/such.pem'"},
        {"http://host/", [](wi::ClientOptions& o) { o.soapHeaders = {"<a:t xmlns:a=\"urn:a\">1</a:t>", "<b:t>"}; },
         "ClientOptions::soapHeaders[1] is not one well-formed XML element"},
        {"http://host/", [](wi::ClientOptions& o) { o.soapHeaders = {"<a/><b/>"}; },
         "soapHeaders[0] is not one well-formed XML element"},
        {"http://host/", [](wi::ClientOptions& o) { o.soapHeaders = {"<?xml version=\"1.0\"?><a/>"}; },
         "soapHeaders[0] must start with its element's start tag"},
        {"http://host/", [](wi::ClientOptions& o) { o.soapHeaders = {"<a><?pi x?></a>"}; },
         "soapHeaders[0] holds a processing instruction"},
        {"http://host/", [](wi::ClientOptions& o) { o.soapHeaders = {"<a/>"}, o.envelope = wi::Envelope::None; },
         "SOAP header blocks need an envelope"},
        {"http://host/", [](wi::ClientOptions& o) { o.usernameToken = {"jdoe", "secret", false}; },
         "PasswordText token would show the password"},
        {"http://host/", [](wi::ClientOptions& o) { o.usernameToken = {"jdoe", "secret", true}, o.envelope = wi::Envelope::None; },
         "usernameToken needs an envelope"},
    };
    for (const Row& row : rows) {
        wi::ClientOptions options;
        if (row.change) row.change(options);
        try {
            wi::Client client(row.url, options);
            ADD_FAILURE() << row.message << ": accepted";
        } catch (const std::invalid_argument& error) {
            EXPECT_NE(std::string(error.what()).find(row.message), std::string::npos) << error.what();
        }
    }
}

// A reply's elements are counted as they arrive, whatever pieces they come in:
// one more than the bound fails the call by name, the bound itself passes.
// /large holds Envelope, Body, the message, ServiceData and 20000 created uids.
TEST(ClientFailures, ReplyElementsAreBounded)
{
    const service_test::ServiceProcess standIn = service_test::startStandIn();
    struct Row {
        std::size_t maxReplyElements;
        bool succeeds;
    };
    const Row rows[] = {{20004, true}, {20003, false}, {1000, false}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.maxReplyElements);
        wi::ClientOptions options;
        options.maxReplyElements = row.maxReplyElements;
        wi::Client client(standIn.url() + "large", options);
        try {
            EXPECT_EQ(client.save(*saveRequest())->getServiceData()->getCreatedArray().size(), 20000u);
            EXPECT_TRUE(row.succeeds);
        } catch (const wi::CallError& error) {
            EXPECT_FALSE(row.succeeds) << error.what();
            EXPECT_EQ(error.kind(), Kind::ReplyTooLarge);
            const std::string expected = "more than " + std::to_string(row.maxReplyElements) +
                                         " elements (ClientOptions::maxReplyElements)";
            EXPECT_NE(std::string(error.what()).find(expected), std::string::npos) << error.what();
        }
    }
}

// A call's own options: its timeout instead of the client's, and options that
// cannot work refused before anything is sent (the port refuses connections,
// so a call that sent anything would raise CallError instead).
TEST(ClientFailures, CallOptionsAreTheCallsOwn)
{
    const service_test::ServiceProcess standIn = service_test::startStandIn();
    wi::Client hanging(standIn.url() + "hang"); // the client's timeout: a minute
    wi::CallOptions quick;
    quick.timeout = std::chrono::milliseconds(1000);
    std::optional<wi::CallError> error;
    const double seconds = secondsOf([&] {
        try {
            hanging.save(*saveRequest(), quick);
        } catch (const wi::CallError& thrown) {
            error = thrown;
        }
    });
    ASSERT_TRUE(error) << "no CallError";
    EXPECT_EQ(error->kind(), Kind::Timeout) << error->what();
    EXPECT_NE(std::string(error->what()).find("timeout of 1000 ms"), std::string::npos) << error->what();
    EXPECT_GE(seconds, 0.9);
    EXPECT_LT(seconds, 3.0);

    const LoopbackPort closedPort;
    struct Row {
        std::function<void(wi::CallOptions&)> change;
        std::string message;
    };
    const Row rows[] = {
        {[](wi::CallOptions& o) { o.timeout = std::chrono::milliseconds(-1); }, "CallOptions::timeout must not be negative"},
        {[](wi::CallOptions& o) { o.headers = {{"Transfer-Encoding", "chunked"}}; },
         "CallOptions::headers: Transfer-Encoding frames the request"},
        {[](wi::CallOptions& o) { o.headers = {{"X-A", "1\nX-B: 2"}}; }, "CallOptions::headers: the value of X-A"},
        {[](wi::CallOptions& o) { o.soapHeaders = {"<a:b/>"}; }, "CallOptions::soapHeaders[0] is not one well-formed"},
    };
    wi::Client client(closedPort.url());
    for (const Row& row : rows) {
        wi::CallOptions call;
        row.change(call);
        try {
            client.save(*saveRequest(), call);
            ADD_FAILURE() << row.message << ": accepted";
        } catch (const std::invalid_argument& thrown) {
            EXPECT_NE(std::string(thrown.what()).find(row.message), std::string::npos) << thrown.what();
        }
    }
}
