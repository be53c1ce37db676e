#pragma once

// What the transport knows of a request once its headers are in, gathered
// once: who sends it and from where, its headers and request id, and whether
// it may come in at all, decided before a byte of its body is read.

#include <microhttpd.h>

#include <string>
#include <string_view>

#include "Framing.hpp"
#include "workinstructions/CallContext.hpp"
#include "workinstructions/Server.hpp"

namespace Velmora::Schemas::Mes::_2010_09::Workinstructions::serving {

struct CallFacts {
    std::string peerAddress;
    unsigned short peerPort = 0;
    HttpHeaders headers;
    std::string requestId;
    std::string clientCertificate; // its subject, when verified
    Identity identity;             // once let in; the name claimed when refused
    int socket = -1;
};

/// The facts of the request on connection, whose headers are fields.
CallFacts gatherFacts(MHD_Connection* connection, const HeaderFields& fields, bool askedForCertificates);

/// The caller's X-Request-Id when 1 to 64 printable ASCII characters, else a
/// new random one.
std::string requestIdOf(const HttpHeaders& headers);

struct Admission {
    int status = 0;             // 0: let in; else 401 or 403
    const char* challenge = nullptr; // WWW-Authenticate of a 401
};

/// Whether the request may come in; logs a refusal with the peer and the
/// name claimed. GET /health always may; other GETs (the WSDL, its schemas)
/// unless the authenticator guards documents.
Admission admit(const ServerOptions& options, CallFacts& facts, std::string_view method, std::string_view path);

/// Whether the client of socket has closed its side or the connection failed.
bool clientGone(int socket);

} // namespace Velmora::Schemas::Mes::_2010_09::Workinstructions::serving
