#include "Listener.hpp"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace Velmora::Schemas::Mes::_2010_09::Workinstructions::serving {

namespace {

// getaddrinfo's first answer for the host, with the port put in.
bool resolve(const std::string& host, unsigned port, sockaddr_storage& address, socklen_t& length, std::string& problem)
{
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
    addrinfo* found = nullptr;
    const std::string bare = host.size() > 2 && host.front() == '[' && host.back() == ']' ? host.substr(1, host.size() - 2) : host;
    const int error = getaddrinfo(bare.c_str(), std::to_string(port).c_str(), &hints, &found);
    if (error != 0 || !found) {
        problem = "cannot resolve '" + host + "': " + gai_strerror(error);
        return false;
    }
    std::memcpy(&address, found->ai_addr, found->ai_addrlen);
    length = found->ai_addrlen;
    freeaddrinfo(found);
    return true;
}

std::string numericHost(const sockaddr_storage& address)
{
    char text[INET6_ADDRSTRLEN] = {};
    if (address.ss_family == AF_INET6) {
        inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6&>(address).sin6_addr, text, sizeof text);
    } else {
        inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in&>(address).sin_addr, text, sizeof text);
    }
    return text;
}

} // namespace

bool listenOn(const std::string& host, unsigned port, Listener& listener, std::string& problem)
{
    sockaddr_storage address{};
    socklen_t addressLength = 0;
    if (!resolve(host, port, address, addressLength, problem)) return false;
    const int socket = ::socket(address.ss_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int on = 1;
    if (socket < 0 || ::setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0 ||
        ::bind(socket, reinterpret_cast<const sockaddr*>(&address), addressLength) != 0 || ::listen(socket, 128) != 0 ||
        ::getsockname(socket, reinterpret_cast<sockaddr*>(&address), &addressLength) != 0) {
        problem = "cannot listen on " + host + " port " + std::to_string(port) + ": " + std::strerror(errno);
        if (socket >= 0) ::close(socket);
        return false;
    }
    listener.socket = socket;
    listener.family = address.ss_family;
    listener.host = numericHost(address);
    listener.port = ntohs(address.ss_family == AF_INET6 ? reinterpret_cast<const sockaddr_in6&>(address).sin6_port
                                                        : reinterpret_cast<const sockaddr_in&>(address).sin_port);
    return true;
}

ConnectionPlan planConnections(unsigned wanted, unsigned threads, std::size_t lingerSlots)
{
    // Standard streams, the listener, a wake-up descriptor per worker, the
    // files opened while running, and room for the unforeseen.
    const rlim_t kept = 3 + 1 + 2 * static_cast<rlim_t>(threads) + 16;
    const rlim_t needed = kept + lingerSlots + wanted;
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0) return {wanted, {}};
    if (limit.rlim_cur != RLIM_INFINITY && limit.rlim_cur < needed) {
        rlimit raised = limit;
        raised.rlim_cur = limit.rlim_max == RLIM_INFINITY || limit.rlim_max > needed ? needed : limit.rlim_max;
        if (::setrlimit(RLIMIT_NOFILE, &raised) == 0) limit = raised;
    }
    if (limit.rlim_cur == RLIM_INFINITY || limit.rlim_cur >= needed) return {wanted, {}};
    const rlim_t room = limit.rlim_cur > kept + lingerSlots ? limit.rlim_cur - kept - lingerSlots : 0;
    ConnectionPlan plan;
    plan.connections = room > 0 ? static_cast<unsigned>(room) : 1;
    plan.warning = "the descriptor limit of " + std::to_string(limit.rlim_cur) + " (ulimit -n) leaves room for " +
                   std::to_string(plan.connections) + " connections, not the " + std::to_string(wanted) + " asked for";
    return plan;
}

} // namespace Velmora::Schemas::Mes::_2010_09::Workinstructions::serving
