#pragma once

// Who may call a Server: an authenticator judges each request from what the
// transport knows (headers, peer, client certificate) before its body is
// read, so that a caller who cannot prove who it is costs no body reading.

#include <chrono>
#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

#include "workinstructions/CallContext.hpp"
#include "workinstructions/ServiceExport.hpp"

namespace Velmora::Schemas::Mes::_2010_09::Workinstructions {

/// What an authenticator judges.
struct AuthRequest {
    /// The client's address, numeric.
    std::string peerAddress;
    /// The client's port.
    unsigned short peerPort = 0;
    /// The request's HTTP headers.
    HttpHeaders headers;
    /// The subject of the client's certificate, when it was checked against
    /// ServerOptions::clientCa and holds; empty otherwise.
    std::string clientCertificate;
};

/// An authenticator's verdict.
struct AuthResult {
    /// Whether the caller may call.
    bool accepted = false;
    /// Who the caller is; when refused, the name it claimed, for the log.
    Identity identity;

    /// Lets the caller in as name, proven as proof ("basic", "bearer", ...).
    static AuthResult accept(std::string name, std::string proof) { return {true, {std::move(name), std::move(proof)}}; }
    /// Refuses the caller; claimedName goes to the log only.
    static AuthResult refuse(std::string claimedName = {}) { return {false, {std::move(claimedName), {}}}; }
};

/// Judges each request before its body is read. A refused one is answered
/// 401 with the challenge (403 when there is none), the same short body
/// whatever was wrong, and the attempt is logged with the peer and the name
/// claimed (never a password).
struct Authenticator {
    /// Called on worker threads, several at once; an exception it throws
    /// refuses the caller and is logged. Empty: every caller is let in.
    std::function<AuthResult(const AuthRequest&)> check;
    /// The WWW-Authenticate header of a refusal, e.g. `Basic realm="service"`;
    /// empty for a proof HTTP cannot ask for (a client certificate).
    std::string challenge;
    /// Whether GET ?wsdl and ?xsd= need it too; GET /health never does.
    bool guardDocuments = false;
};

/// HTTP Basic against an htpasswd file of bcrypt entries (`htpasswd -B`).
/// Throws std::runtime_error naming the file, and the line, for a file that
/// cannot be read or an entry of any other hash (plain, `$apr1$` MD5,
/// `{SHA}` SHA-1, crypt), which could be guessed or cracked cheaply.
WI_SERVICE_API Authenticator htpasswdUsers(const std::string& path, const std::string& realm = "service");

/// `Authorization: Bearer TOKEN`, judged by owner: the token's owner, or an
/// empty string to refuse it. owner should compare tokens with sameSecret().
WI_SERVICE_API Authenticator bearerTokens(std::function<std::string(std::string_view token)> owner,
                                          const std::string& realm = "service");

/// Under mutual TLS: the subject of a client certificate the client CAs vouch
/// for is the caller's name; a request without one is refused with 403.
WI_SERVICE_API Authenticator clientCertificates();

/// WS-Security UsernameToken (UsernameToken Profile 1.1) in a request's
/// `wsse:Security` header block, judged once the envelope's head is read:
/// that block then counts as understood. A refused request gets the
/// `wsse:FailedAuthentication` fault, the same whatever was wrong; the cause
/// goes to the log with the peer and the user. An accepted one gives the
/// handler's CallContext the identity {user, "usernametoken"}.
struct UsernameTokens {
    /// For PasswordDigest: the user's password as stored by the program, or an
    /// empty string for no such user. Called on worker threads, several at once.
    std::function<std::string(std::string_view user)> password;
    /// For PasswordText, taken over TLS only: whether password is user's, e.g.
    /// htpasswdPasswords(). Empty: PasswordText is refused.
    std::function<bool(std::string_view user, std::string_view password)> checkText;
    /// How far a digest token's wsu:Created may lie from the server's clock, either way.
    std::chrono::seconds window{300};
    /// The most nonces remembered at once. Each is kept until its Created
    /// leaves the window; while the cache is full of live ones, digest tokens
    /// are refused rather than a nonce forgotten early.
    std::size_t maxNonces = 100000;
    /// Whether a request without a token is refused; else it passes as nobody.
    bool required = true;

    /// Whether tokens are judged at all.
    bool enabled() const { return password || checkText; }
};

/// A PasswordText check against an htpasswd file of bcrypt entries; throws
/// std::runtime_error as htpasswdUsers() does.
WI_SERVICE_API std::function<bool(std::string_view user, std::string_view password)>
htpasswdPasswords(const std::string& path);

/// Whether two secrets are equal, in a time that depends on their lengths only.
WI_SERVICE_API bool sameSecret(std::string_view a, std::string_view b);

} // namespace Velmora::Schemas::Mes::_2010_09::Workinstructions
