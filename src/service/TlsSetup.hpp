#pragma once

// The server's TLS: its certificate, key and client CAs read and checked
// before the daemon starts, so that a wrong file is named at start() and not
// found by the first client; the suites it offers; and the client
// certificate of a connection.

#include <microhttpd.h>

#include <string>

#include "workinstructions/Server.hpp"

namespace Velmora::Schemas::Mes::_2010_09::Workinstructions::serving {

/// The PEM texts libmicrohttpd takes, kept while its daemon runs.
struct TlsMaterial {
    std::string certificate;
    std::string key;
    std::string clientCa; // empty when client certificates are not asked for
};

/// Whether options ask for TLS (a certificate, a key or client CAs are named,
/// or client certificates required).
bool wantsTls(const ServerOptions& options);

/// Reads the files the options name and checks them; throws
/// std::runtime_error naming the file for one that cannot be read, a key
/// that is not the certificate's, a certificate out of its validity period,
/// or client CAs that hold no certificate; std::invalid_argument for an
/// incomplete set of options.
TlsMaterial loadTls(const ServerOptions& options);

/// GnuTLS priorities: TLS 1.2 and 1.3 only, ECDHE key exchange (forward
/// secrecy) and AEAD ciphers (AES-GCM, ChaCha20-Poly1305) only.
extern const char tlsPriorities[];

/// The subject of the connection's client certificate when it was checked
/// against the client CAs and holds; empty for none, or one that does not.
std::string verifiedClientSubject(MHD_Connection* connection);

} // namespace Velmora::Schemas::Mes::_2010_09::Workinstructions::serving
