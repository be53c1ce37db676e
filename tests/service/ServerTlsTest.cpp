// The Server over TLS, with certificates made for the run: what start()
// refuses to serve with, and the library's Client calling it.

#include <gtest/gtest.h>

#include <cstdlib>
#include <stdexcept>

#include "ServerFixture.hpp"
#include "TlsFixture.hpp"
#include "workinstructions/Client.hpp"

using namespace serverfixture;

TEST(ServerTls, StartNamesTheFileItCannotServeWith)
{
    const TestCertificates& files = TestCertificates::made();
    struct Case {
        const char* name;
        std::string certificate, key, clientCa;
        std::string message;
    };
    const Case cases[] = {
        {"a key that cannot be read", files.path("server.pem"), files.path("absent.key"), "",
         "cannot read the TLS key " + files.path("absent.key")},
        {"a certificate that cannot be read", files.path("absent.pem"), files.path("server.key"), "",
         "cannot read the TLS certificate " + files.path("absent.pem")},
        {"the key of another certificate", files.path("server.pem"), files.path("other.key"), "",
         "the TLS key " + files.path("other.key") + " is not the key of the certificate " + files.path("server.pem")},
        {"an expired certificate", files.path("expired.pem"), files.path("server.key"), "",
         "the TLS certificate " + files.path("expired.pem") + " expired on 2020-01-02"},
        {"a key given as the certificate", files.path("server.key"), files.path("server.key"), "",
         "the TLS certificate " + files.path("server.key") + " holds no PEM certificate"},
        {"client CAs that are no certificates", files.path("server.pem"), files.path("server.key"),
         files.path("alice.key"), "the client CA file " + files.path("alice.key") + " holds no PEM certificate"},
    };
    TestService service;
    for (const Case& test : cases) {
        SCOPED_TRACE(test.name);
        wi::ServerOptions options = quickOptions();
        options.tlsCertificate = test.certificate;
        options.tlsKey = test.key;
        options.clientCa = test.clientCa;
        wi::Server server(service, options);
        try {
            server.start();
            ADD_FAILURE() << "started";
        } catch (const std::runtime_error& error) {
            EXPECT_NE(std::string(error.what()).find(test.message), std::string::npos) << error.what();
        }
        EXPECT_EQ(server.url(), "");
    }
    // Client certificates are asked for in the TLS handshake: no TLS, no certificates.
    wi::ServerOptions options = quickOptions();
    options.clientCa = files.path("ca.pem");
    options.requireClientCertificate = true;
    EXPECT_THROW(wi::Server(service, options).start(), std::invalid_argument);
}

TEST(ServerTls, TheClientCallsOverTls)
{
    const TestCertificates& files = TestCertificates::made();
    TestService service;
    wi::Server server(service, files.tlsOptions(quickOptions()));
    server.start();
    ASSERT_EQ(server.url().rfind("https://127.0.0.1:", 0), 0u) << server.url();
    wi::ClientOptions options;
    options.caFile = files.path("ca.pem");
    wi::Client client(server.url(), options);
    EXPECT_EQ(client.load(loadRequest("Op0010"))->getLoadedObjectArray().at(0)->getWorkInstructionFile(),
              "Op0010.wix");

    // A client that does not trust the server's CA gets no answer.
    wi::Client stranger(server.url());
    try {
        stranger.load(loadRequest("Op0010"));
        ADD_FAILURE() << "called without trusting the certificate";
    } catch (const wi::CallError& error) {
        EXPECT_EQ(error.kind(), wi::CallError::Kind::Tls) << error.what();
    }
    EXPECT_TRUE(server.stop());
}
