#pragma once

// The listening socket of the server, and how many connections the
// process's descriptor limit leaves room for.

#include <sys/socket.h>

#include <cstddef>
#include <string>

namespace Velmora::Schemas::Mes::_2010_09::Workinstructions::serving {

struct Listener {
    int socket = -1;
    int family = 0;
    std::string host; // numeric
    unsigned port = 0;
};

/// Binds and listens on host and port (0: a free one); false with the problem.
bool listenOn(const std::string& host, unsigned port, Listener& listener, std::string& problem);

struct ConnectionPlan {
    unsigned connections = 0;
    std::string warning; // when fewer than asked for fit
};

/// Connections that fit under RLIMIT_NOFILE beside the descriptors the server
/// keeps for itself, after raising the soft limit towards the hard one as far
/// as wanted needs; each connection takes one descriptor, and so does each
/// lingering close.
ConnectionPlan planConnections(unsigned wanted, unsigned threads, std::size_t lingerSlots);

} // namespace Velmora::Schemas::Mes::_2010_09::Workinstructions::serving
