#pragma once

// WS-Security UsernameToken (OASIS UsernameToken Profile 1.1): the password
// digest and the header block that carries it. The client writes the block;
// a service that judges one computes the same digest from what it received.

#include <chrono>
#include <string>
#include <string_view>

namespace Velmora::Schemas::Mes::_2010_09::Workinstructions::detail {

/// The secext and utility namespaces and the URIs of the token's types.
inline constexpr char WsseNamespaceUri[] =
    "http://docs.oasis-open.org/wss/2004/01/oasis-200401-wss-wssecurity-secext-1.0.xsd";
inline constexpr char WsuNamespaceUri[] =
    "http://docs.oasis-open.org/wss/2004/01/oasis-200401-wss-wssecurity-utility-1.0.xsd";
inline constexpr char PasswordDigestType[] =
    "http://docs.oasis-open.org/wss/2004/01/oasis-200401-wss-username-token-profile-1.0#PasswordDigest";
inline constexpr char PasswordTextType[] =
    "http://docs.oasis-open.org/wss/2004/01/oasis-200401-wss-username-token-profile-1.0#PasswordText";
inline constexpr char Base64BinaryType[] =
    "http://docs.oasis-open.org/wss/2004/01/oasis-200401-wss-soap-message-security-1.0#Base64Binary";

/// Standard Base64 with padding.
std::string base64(std::string_view bytes);

/// Standard Base64 read back, padding optional; false for any other character.
bool fromBase64(std::string_view text, std::string& bytes);

/// Base64(SHA-1(nonce + created + password)), nonce as raw bytes, created as
/// the text of wsu:Created.
std::string passwordDigest(std::string_view nonce, std::string_view created, std::string_view password);

/// Sixteen bytes from the system's random source, for a nonce.
std::string freshNonce();

/// A time as wsu:Created writes it: UTC, to the millisecond, "2026-12-08T07:30:00.123Z".
std::string utcTimestamp(std::chrono::system_clock::time_point when);

/// The parts of one token.
struct UsernameTokenParts {
    std::string user;
    std::string password;
    bool digest = true;  ///< PasswordDigest with Nonce and Created; else PasswordText
    std::string nonce;   ///< raw bytes
    std::string created; ///< utcTimestamp's text
};

/// The wsse:Security header block holding the token, marked mustUnderstand in
/// the envelope of envelopeUri (declared on the block, so that it stands
/// alone). Throws DomException for a user or password XML cannot carry.
std::string usernameTokenBlock(const UsernameTokenParts& token, std::string_view envelopeUri);

} // namespace Velmora::Schemas::Mes::_2010_09::Workinstructions::detail
