#include "CallFacts.hpp"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/random.h>

#include <algorithm>
#include <chrono>

#include "AccessLog.hpp"
#include "TlsSetup.hpp"

namespace Velmora::Schemas::Mes::_2010_09::Workinstructions::serving {

namespace {

void readPeer(MHD_Connection* connection, CallFacts& facts)
{
    const MHD_ConnectionInfo* info = MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CLIENT_ADDRESS);
    if (!info || !info->client_addr) return;
    char text[INET6_ADDRSTRLEN] = "";
    const sockaddr* address = info->client_addr;
    if (address->sa_family == AF_INET) {
        const auto* v4 = reinterpret_cast<const sockaddr_in*>(address);
        inet_ntop(AF_INET, &v4->sin_addr, text, sizeof text);
        facts.peerPort = ntohs(v4->sin_port);
    } else if (address->sa_family == AF_INET6) {
        const auto* v6 = reinterpret_cast<const sockaddr_in6*>(address);
        inet_ntop(AF_INET6, &v6->sin6_addr, text, sizeof text);
        facts.peerPort = ntohs(v6->sin6_port);
    }
    facts.peerAddress = text;
}

std::string newRequestId()
{
    unsigned char random[8] = {};
    if (getrandom(random, sizeof random, 0) != static_cast<ssize_t>(sizeof random)) {
        // No entropy at hand: unique enough from the clock and the stack.
        const auto now = static_cast<unsigned long long>(std::chrono::steady_clock::now().time_since_epoch().count());
        for (std::size_t i = 0; i < sizeof random; ++i) random[i] = static_cast<unsigned char>(now >> (8 * i));
    }
    static const char hex[] = "0123456789abcdef";
    std::string id;
    for (const unsigned char byte : random) {
        id += hex[byte >> 4];
        id += hex[byte & 0xF];
    }
    return id;
}

} // namespace

std::string requestIdOf(const HttpHeaders& headers)
{
    const std::string* given = headers.find("X-Request-Id");
    const auto printable = [](char c) { return c > 0x20 && c < 0x7F; };
    if (given && !given->empty() && given->size() <= 64 && std::all_of(given->begin(), given->end(), printable)) {
        return *given;
    }
    return newRequestId();
}

CallFacts gatherFacts(MHD_Connection* connection, const HeaderFields& fields, bool askedForCertificates)
{
    CallFacts facts;
    readPeer(connection, facts);
    HttpHeaders::Fields copied;
    copied.reserve(fields.size());
    for (const auto& [name, value] : fields) copied.emplace_back(name, value);
    facts.headers = HttpHeaders(std::move(copied));
    facts.requestId = requestIdOf(facts.headers);
    if (askedForCertificates) facts.clientCertificate = verifiedClientSubject(connection);
    const MHD_ConnectionInfo* info = MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CONNECTION_FD);
    if (info) facts.socket = info->connect_fd;
    return facts;
}

Admission admit(const ServerOptions& options, CallFacts& facts, std::string_view method, std::string_view path)
{
    const bool get = method == "GET" || method == "HEAD";
    // Balancers ask for health without credentials.
    if (get && path == "/health") return {};
    const std::string peer = facts.peerAddress + ":" + std::to_string(facts.peerPort);
    if (options.requireClientCertificate && facts.clientCertificate.empty()) {
        logLine(options.logPrefix, "refused a caller without a client certificate the CAs vouch for from " + peer);
        return {403, nullptr};
    }
    const Authenticator& authenticator = options.authenticator;
    if (!authenticator.check || (get && !authenticator.guardDocuments)) return {};
    AuthRequest request{facts.peerAddress, facts.peerPort, facts.headers, facts.clientCertificate};
    AuthResult result;
    try {
        result = authenticator.check(request);
    } catch (const std::exception& error) {
        // The program's own check failed (its token store is down, say): nobody comes in on it.
        logLine(options.logPrefix, std::string("the authenticator failed: ") + error.what());
    }
    facts.identity = std::move(result.identity);
    if (result.accepted) return {};
    logLine(options.logPrefix, "refused " + (facts.identity.name.empty() ? std::string("a caller")
                                                                         : "user '" + facts.identity.name + "'") +
                                   " from " + peer);
    if (authenticator.challenge.empty()) return {403, nullptr};
    return {401, authenticator.challenge.c_str()};
}

bool clientGone(int socket)
{
    if (socket < 0) return false;
    pollfd watched{socket, POLLRDHUP, 0};
    return ::poll(&watched, 1, 0) > 0 && (watched.revents & (POLLRDHUP | POLLHUP | POLLERR)) != 0;
}

} // namespace Velmora::Schemas::Mes::_2010_09::Workinstructions::serving
