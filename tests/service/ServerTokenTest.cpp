// WS-Security UsernameTokens judged by the Server after the envelope's head,
// and what the handler's context then says of the call.

#include <gtest/gtest.h>

#include <chrono>
#include <ctime>
#include <optional>

#include "ServerFixture.hpp"
#include "TlsFixture.hpp"
#include "workinstructions/Client.hpp"

using namespace serverfixture;

namespace {

namespace xml = ::Kavella::Soa::Common::Xml;

const std::string wsse = "http://docs.oasis-open.org/wss/2004/01/oasis-200401-wss-wssecurity-secext-1.0.xsd";
const std::string wsu = "http://docs.oasis-open.org/wss/2004/01/oasis-200401-wss-wssecurity-utility-1.0.xsd";
const std::string profile = "http://docs.oasis-open.org/wss/2004/01/oasis-200401-wss-username-token-profile-1.0";

std::string timestamp(std::chrono::seconds shift)
{
    const std::time_t seconds = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now() + shift);
    std::tm utc{};
    gmtime_r(&seconds, &utc);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
    return text;
}

// A digest token of this Created; its digest is not checked once Created is
// refused, so any will do.
std::string digestBlock(const std::string& created)
{
    return "<wsse:Security xmlns:wsse=\"" + wsse + "\" xmlns:wsu=\"" + wsu +
           "\"><wsse:UsernameToken><wsse:Username>jdoe</wsse:Username><wsse:Password Type=\"" + profile +
           "#PasswordDigest\">AAAAAAAAAAAAAAAAAAAAAAAAAAA=</wsse:Password><wsse:Nonce>bm9uY2Vub25jZQ==</wsse:Nonce>"
           "<wsu:Created>" + created +
           "</wsu:Created></wsse:UsernameToken></wsse:Security>";
}

std::string textBlock(const std::string& password)
{
    return "<wsse:Security xmlns:wsse=\"" + wsse + "\"><wsse:UsernameToken><wsse:Username>jdoe</wsse:Username>"
           "<wsse:Password>" + password + "</wsse:Password></wsse:UsernameToken></wsse:Security>";
}

// A SOAP 1.1 load request carrying the header block given (none when empty).
std::string envelopeWith(const std::string& block)
{
    std::string body = wi::writeXml(loadRequest("Op0010"), wi::Envelope::Soap11);
    if (!block.empty()) body.insert(body.find("<soapenv:Body>"), "<soapenv:Header>" + block + "</soapenv:Header>");
    return body;
}

std::string post(unsigned short port, const std::string& body)
{
    RawConnection raw(port);
    if (!raw.send(loadHead(wi::Envelope::Soap11, body.size()) + body)) return "send failed";
    return raw.answer();
}

std::string metric(unsigned short port, const std::string& sample)
{
    RawConnection raw(port);
    raw.send("GET /metrics HTTP/1.1\r\nHost: localhost\r\n\r\n");
    const std::string text = raw.answer();
    const std::size_t at = text.find(sample + " ");
    return at == std::string::npos ? "missing" : text.substr(at + sample.size() + 1, text.find('\n', at) - at - sample.size() - 1);
}

} // namespace

TEST(ServerTokens, UsernameTokensAreJudgedAfterTheHead)
{
    const TestCertificates& files = TestCertificates::made();
    ContextService service;
    std::string lastRequest; // as the check saw it, to replay
    wi::ServerOptions options = quickOptions();
    options.metricsPath = "/metrics";
    options.usernameTokens.password = [](std::string_view user) { return user == "jdoe" ? "s3cret&<pw" : ""; };
    options.usernameTokens.checkText = [](std::string_view user, std::string_view password) {
        return user == "jdoe" && password == "plain s3cret";
    };
    options.checkRequest = [&lastRequest](std::string_view text, wi::Envelope) { lastRequest = text; };
    wi::Server plain(service, options);
    wi::Server tls(service, files.tlsOptions(options));
    plain.start();
    tls.start();

    enum class Send { client, replay, block };
    struct Row {
        const char* name;
        Send send;
        wi::UsernameToken token;   // Send::client
        std::string block;         // Send::block
        bool overTls = false;
        wi::Envelope envelope = wi::Envelope::Soap11;
        std::string cause;         // of the refusal, in the log; empty: accepted as jdoe
    };
    const Row rows[] = {
        {"digest", Send::client, {"jdoe", "s3cret&<pw", true}, "", false, wi::Envelope::Soap11, ""},
        {"the same token again", Send::replay, {}, "", false, wi::Envelope::Soap11, "a Nonce already used (a replay)"},
        {"digest in SOAP 1.2", Send::client, {"jdoe", "s3cret&<pw", true}, "", false, wi::Envelope::Soap12, ""},
        {"wrong password", Send::client, {"jdoe", "s3cret", true}, "", false, wi::Envelope::Soap11,
         "a wrong password or an unknown user"},
        {"unknown user", Send::client, {"mallory", "s3cret&<pw", true}, "", false, wi::Envelope::Soap11,
         "a wrong password or an unknown user"},
        {"stale Created", Send::block, {}, digestBlock(timestamp(std::chrono::seconds(-301))), false, wi::Envelope::Soap11,
         "a Created older than the window"},
        {"future Created", Send::block, {}, digestBlock(timestamp(std::chrono::seconds(301))), false, wi::Envelope::Soap11,
         "a Created in the future beyond the window"},
        {"Created without a zone", Send::block, {}, digestBlock(timestamp(std::chrono::seconds(0)).substr(0, 19)), false,
         wi::Envelope::Soap11, "a Created that is no UTC time"},
        {"no token", Send::block, {}, "", false, wi::Envelope::Soap11, "no UsernameToken"},
        {"PasswordText over plain HTTP", Send::block, {}, textBlock("plain s3cret"), false, wi::Envelope::Soap11,
         "PasswordText over plain HTTP"},
        {"PasswordText over TLS", Send::client, {"jdoe", "plain s3cret", false}, "", true, wi::Envelope::Soap11, ""},
        {"PasswordText, wrong, over TLS", Send::client, {"jdoe", "plain", false}, "", true, wi::Envelope::Soap11,
         "a wrong password or an unknown user"},
    };
    unsigned refusedPlain = 0;
    const CapturedLog log;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        service.last.reset();
        const bool refused = !row.cause.empty();
        if (row.send == Send::client) {
            wi::ClientOptions clientOptions;
            clientOptions.envelope = row.envelope;
            clientOptions.usernameToken = row.token;
            clientOptions.caFile = files.path("ca.pem");
            wi::Client client(row.overTls ? tls.url() : plain.url(), clientOptions);
            try {
                client.load(loadRequest("Op0010"));
                EXPECT_FALSE(refused);
            } catch (const xml::SoapFault& fault) {
                EXPECT_TRUE(refused) << fault.what();
                ASSERT_EQ(fault.subcodes().size(), 1u);
                EXPECT_EQ(fault.subcodes().front(), "{" + wsse + "}FailedAuthentication");
                EXPECT_EQ(fault.reason(), "The security token could not be authenticated or authorized");
                if (row.envelope == wi::Envelope::Soap12) {
                    EXPECT_EQ(fault.faultCode(), xml::SoapFaultCode::Sender);
                }
            }
        } else {
            const std::string answer =
                post(portOf(plain.url()), row.send == Send::replay ? lastRequest : envelopeWith(row.block));
            EXPECT_EQ(answer.rfind(refused ? "HTTP/1.1 500" : "HTTP/1.1 200", 0), 0u) << answer;
            if (refused) {
                EXPECT_NE(answer.find("FailedAuthentication"), std::string::npos) << answer;
            }
        }
        refusedPlain += refused && !row.overTls;
        // The refusal is logged before it is answered.
        const std::string text = log.text();
        if (refused) {
            EXPECT_EQ(service.last, nullptr);
            const bool named = row.send == Send::client || row.send == Send::replay || !row.block.empty();
            const std::string claimed = row.send == Send::client ? row.token.user : "jdoe";
            EXPECT_NE(text.find((named ? "user '" + claimed + "'" : "refused a UsernameToken") + " from 127.0.0.1:"),
                      std::string::npos) << text;
            EXPECT_NE(text.find(": " + row.cause + "\n"), std::string::npos) << text;
            continue;
        }
        ASSERT_NE(service.last, nullptr);
        EXPECT_EQ(service.last->identity().name, "jdoe");
        EXPECT_EQ(service.last->identity().proof, "usernametoken");
        EXPECT_EQ(service.last->envelope(), row.envelope);
        ASSERT_EQ(service.last->soapHeaderBlocks().size(), 1u);
        EXPECT_EQ(service.last->soapHeaderBlocks().front().name, "Security");
        EXPECT_NE(service.last->soapHeaderBlocks().front().markup.find(":Username>jdoe<"), std::string::npos);
    }
    EXPECT_EQ(metric(portOf(plain.url()), "wi_server_refusals_total{cause=\"authentication\"}"),
              std::to_string(refusedPlain));
    // Every fault of the plain server was a refusal, counted as the sender's in SOAP 1.1 too.
    EXPECT_EQ(metric(portOf(plain.url()), "wi_server_faults_total{code=\"Sender\"}"), std::to_string(refusedPlain));
    EXPECT_TRUE(plain.stop());
    EXPECT_TRUE(tls.stop());
    const std::string text = log.text();
    EXPECT_EQ(text.find("s3cret"), std::string::npos) << text;
    EXPECT_NE(text.find("POST load 200 "), std::string::npos) << text;
    EXPECT_NE(text.find(" user jdoe id "), std::string::npos) << text;
}

TEST(ServerTokens, OptionalTokensLetNobodyInAndBlocksReachTheHandler)
{
    ContextService service;
    wi::ServerOptions options = quickOptions();
    options.usernameTokens.password = [](std::string_view) { return std::string("pw"); };
    options.usernameTokens.required = false;
    wi::Server server(service, options);
    server.start();
    const std::string block = "<t:Trace xmlns:t=\"urn:trace\" t:hop=\"2\">r-1</t:Trace>";
    EXPECT_EQ(post(portOf(server.url()), envelopeWith(block)).rfind("HTTP/1.1 200", 0), 0u);
    ASSERT_NE(service.last, nullptr);
    EXPECT_TRUE(service.last->identity().name.empty());
    ASSERT_EQ(service.last->soapHeaderBlocks().size(), 1u);
    const xml::SoapHeaderBlock& kept = service.last->soapHeaderBlocks().front();
    EXPECT_EQ(kept.uri, "urn:trace");
    ASSERT_EQ(kept.attributes.size(), 1u);
    EXPECT_EQ(kept.attributes.front().value, "2");
}

// Nonces are remembered up to their bound; past it a token is refused rather
// than a live nonce forgotten, which would let its replay in.
TEST(ServerTokens, AFullNonceCacheRefusesRatherThanForgets)
{
    TestService service;
    wi::ServerOptions options = quickOptions();
    options.usernameTokens.password = [](std::string_view) { return std::string("pw"); };
    options.usernameTokens.maxNonces = 1;
    wi::Server server(service, options);
    server.start();
    wi::ClientOptions clientOptions;
    clientOptions.usernameToken = {"jdoe", "pw", true};
    wi::Client client(server.url(), clientOptions);
    const CapturedLog log;
    EXPECT_NO_THROW(client.load(loadRequest("Op0010")));
    EXPECT_THROW(client.load(loadRequest("Op0010")), xml::SoapFault);
    EXPECT_NE(log.text().find(": the nonce cache is full of live nonces\n"), std::string::npos) << log.text();
}
