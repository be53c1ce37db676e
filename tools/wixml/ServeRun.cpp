#include "ServeRun.hpp"

#include <signal.h>

#include <cstdlib>
#include <iostream>

#include "SchemaCheck.hpp"
#include "ServeReplies.hpp"
#include "ServeStrict.hpp"
#include "workinstructions/Server.hpp"

namespace wixml {

namespace {

wi::ServerOptions serverOptions(const ServeOptions& options)
{
    wi::ServerOptions server;
    server.host = options.host;
    server.port = static_cast<unsigned short>(options.port);
    server.threads = options.threads;
    server.maxBody = options.maxBody;
    server.maxBodyMemory = options.maxBodyMemory;
    server.maxHeader = options.maxHeader;
    server.maxConnections = options.maxConnections;
    server.readTimeout = options.readTimeout;
    server.idleTimeout = options.idleTimeout;
    server.readLimits = options.limits;
    server.maxAnswerMemory = options.maxAnswerMemory;
    server.tlsCertificate = options.tlsCertificate;
    server.tlsKey = options.tlsKey;
    server.clientCa = options.clientCa;
    server.requireClientCertificate = !options.clientCa.empty();
    // Users prove themselves with a password; under mutual TLS alone, the certificate names them.
    if (!options.usersFile.empty()) {
        server.authenticator = wi::htpasswdUsers(options.usersFile, "wixml serve");
    } else if (!options.clientCa.empty()) {
        server.authenticator = wi::clientCertificates();
    }
    if (!options.tokenUsersFile.empty()) server.usernameTokens.checkText = wi::htpasswdPasswords(options.tokenUsersFile);
    server.logPrefix = "wixml serve: ";
    if (options.metrics) server.metricsPath = "/metrics";
    return server;
}

} // namespace

int runServer(const ServeOptions& options)
{
    const std::string schemaDirectory = findSchemaDirectory();
    const std::string bundled = findBundledReplies();
    const std::string replies = options.repliesDirectory.empty() ? bundled : options.repliesDirectory;
    if (options.strict && schemaDirectory.empty()) {
        std::cerr << "wixml: cannot find the XML Schema next to the tool or in the source tree\n";
        return 2;
    }
    if (replies.empty()) {
        std::cerr << "wixml: cannot find the bundled replies; name a directory with --replies\n";
        return 2;
    }
    // Every thread started from here inherits the mask: the signals reach sigwait below only.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    try {
        RepliesService service(replies, bundled);
        wi::ServerOptions settings = serverOptions(options); // reads the users file
        if (options.strict) settings.checkRequest = strictCheck(schemaDirectory, options.limits);
        wi::Server server(service, settings);
        server.start();
        std::cout << "listening on " << server.url() << std::endl;
        int received = 0;
        sigwait(&stopSignals, &received);
        std::cerr << "wixml serve: " << (received == SIGINT ? "SIGINT" : "SIGTERM") << ", stopping\n";
        // Exchanges still open at the end of the grace do not hold the process.
        if (!server.stop()) std::_Exit(0);
        return 0;
    } catch (const std::exception& error) {
        std::cerr << "wixml serve: " << error.what() << '\n';
        return 2;
    }
}

} // namespace wixml
