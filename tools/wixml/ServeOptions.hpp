#pragma once

// What `wixml serve` is told on its command line, with the defaults that the
// help and the manual page state.

#include <cstddef>
#include <map>
#include <string>

#include "Classes.hpp"

namespace wixml {

struct ServeOptions {
    std::string host = "127.0.0.1";
    unsigned port = 8080;       // 0: a free port
    std::string repliesDirectory; // empty: the bundled replies
    bool strict = false;
    bool metrics = true;        // GET /metrics
    unsigned threads = 0;       // 0: one per core
    std::size_t maxBody = 8u << 20;
    std::size_t maxBodyMemory = 128u << 20; // all bodies in flight together; at least maxBody
    std::size_t maxHeader = 16u << 10;
    unsigned maxConnections = 256; // fewer when the descriptor limit leaves no room for them
    unsigned readTimeout = 30;  // seconds for a whole request to arrive, line to last byte
    unsigned idleTimeout = 10;  // seconds a connection may stay silent
    std::size_t maxAnswerMemory = 256u << 20; // all answers waiting to be sent together
    std::string tlsCertificate; // with tlsKey: HTTPS
    std::string tlsKey;
    std::string clientCa;       // client certificates required, checked against these CAs
    std::string usersFile;      // htpasswd file of bcrypt entries: HTTP Basic required
    std::string tokenUsersFile; // the same, for UsernameTokens' PasswordText
    wi::XMLReadLimits limits;
};

/// The value options of serve besides the reader's limits.
extern const char* const serveValueOptions[];

/// Fills options from the parsed "--name" -> value pairs; false with the
/// problem when a value does not fit.
bool readServeOptions(const std::map<std::string, std::string>& given, ServeOptions& options, std::string& problem);

} // namespace wixml
