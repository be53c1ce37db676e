#include "UsernameToken.hpp"

#include <gnutls/crypto.h>
#include <gnutls/gnutls.h>

#include <cstdio>
#include <ctime>
#include <stdexcept>

#include "kvsoa/Conversions.hpp"
#include "kvsoa/Soap.hpp"

namespace Velmora::Schemas::Mes::_2010_09::Workinstructions::detail {

std::string base64(std::string_view bytes)
{
    static constexpr char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    for (std::size_t at = 0; at < bytes.size(); at += 3) {
        const std::size_t left = bytes.size() - at;
        unsigned long group = static_cast<unsigned char>(bytes[at]) << 16;
        if (left > 1) group |= static_cast<unsigned long>(static_cast<unsigned char>(bytes[at + 1])) << 8;
        if (left > 2) group |= static_cast<unsigned char>(bytes[at + 2]);
        out += alphabet[(group >> 18) & 63];
        out += alphabet[(group >> 12) & 63];
        out += left > 1 ? alphabet[(group >> 6) & 63] : '=';
        out += left > 2 ? alphabet[group & 63] : '=';
    }
    return out;
}

bool fromBase64(std::string_view text, std::string& bytes)
{
    static const std::string_view alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    while (!text.empty() && text.back() == '=') text.remove_suffix(1);
    unsigned buffer = 0;
    int bits = 0;
    for (const char c : text) {
        const std::size_t value = alphabet.find(c);
        if (value == std::string_view::npos) return false;
        buffer = (buffer << 6) | static_cast<unsigned>(value);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            bytes += static_cast<char>((buffer >> bits) & 0xFF);
        }
    }
    return true;
}

std::string passwordDigest(std::string_view nonce, std::string_view created, std::string_view password)
{
    std::string input;
    input.reserve(nonce.size() + created.size() + password.size());
    input.append(nonce).append(created).append(password);
    unsigned char hash[20];
    if (gnutls_hash_fast(GNUTLS_DIG_SHA1, input.data(), input.size(), hash) != 0) {
        throw std::runtime_error("SHA-1 is not available for the password digest");
    }
    return base64(std::string_view(reinterpret_cast<const char*>(hash), sizeof hash));
}

std::string freshNonce()
{
    std::string nonce(16, '\0');
    if (gnutls_rnd(GNUTLS_RND_NONCE, nonce.data(), nonce.size()) != 0) {
        throw std::runtime_error("no random bytes for a UsernameToken nonce");
    }
    return nonce;
}

std::string utcTimestamp(std::chrono::system_clock::time_point when)
{
    const auto sinceEpoch = when.time_since_epoch();
    const std::time_t seconds = std::chrono::duration_cast<std::chrono::seconds>(sinceEpoch).count();
    const long millis = static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(sinceEpoch).count() % 1000);
    std::tm utc{};
    gmtime_r(&seconds, &utc);
    char text[64];
    const std::size_t length = std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &utc);
    char fraction[8];
    std::snprintf(fraction, sizeof fraction, ".%03ldZ", millis);
    return std::string(text, length) + fraction;
}

std::string usernameTokenBlock(const UsernameTokenParts& token, std::string_view envelopeUri)
{
    using ::Kavella::Soa::Common::toXmlString;
    // SOAP 1.1 reads mustUnderstand as "0"/"1", SOAP 1.2 as a boolean: "1" suits both.
    std::string block = "<wsse:Security xmlns:wsse=\"";
    block.append(WsseNamespaceUri).append("\" xmlns:wsu=\"").append(WsuNamespaceUri);
    block.append("\" xmlns:e=\"").append(envelopeUri).append("\" e:mustUnderstand=\"1\"><wsse:UsernameToken>");
    block.append("<wsse:Username>").append(toXmlString(token.user)).append("</wsse:Username>");
    block.append("<wsse:Password Type=\"").append(token.digest ? PasswordDigestType : PasswordTextType).append("\">");
    block.append(token.digest ? passwordDigest(token.nonce, token.created, token.password) : toXmlString(token.password));
    block.append("</wsse:Password>");
    if (token.digest) {
        block.append("<wsse:Nonce EncodingType=\"").append(Base64BinaryType).append("\">");
        block.append(base64(token.nonce)).append("</wsse:Nonce>");
        block.append("<wsu:Created>").append(token.created).append("</wsu:Created>");
    }
    block.append("</wsse:UsernameToken></wsse:Security>");
    return block;
}

} // namespace Velmora::Schemas::Mes::_2010_09::Workinstructions::detail
