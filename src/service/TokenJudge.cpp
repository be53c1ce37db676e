#include "TokenJudge.hpp"

#include <cstdio>
#include <ctime>

#include "UsernameToken.hpp"
#include "kvsoa/DomException.hpp"
#include "kvsoa/XMLEventReader.hpp"

namespace Velmora::Schemas::Mes::_2010_09::Workinstructions::serving {

using ::Kavella::Soa::Common::Xml::DomException;
using ::Kavella::Soa::Common::Xml::SoapHeaderBlock;
using ::Kavella::Soa::Common::Xml::XMLEventHandler;
using ::Kavella::Soa::Common::Xml::XMLEventReader;
using ::Kavella::Soa::Common::Xml::XMLStartTag;
using Clock = NonceCache::Clock;

struct TokenJudge::Token {
    int tokens = 0; // UsernameTokens in the block
    std::string user;
    std::string password;
    std::string type;
    std::string nonce;
    std::string nonceEncoding;
    bool hasNonce = false;
    std::string created;
    bool hasCreated = false;
};

namespace {

// The fields of the block's UsernameToken; anything else in it is passed over.
class TokenReader final : public XMLEventHandler {
public:
    explicit TokenReader(TokenJudge::Token& token) : m_token(token) {}

    void startElement(const XMLStartTag& tag) override
    {
        ++m_depth;
        m_field = nullptr;
        const bool wsse = tag.uri == detail::WsseNamespaceUri;
        if (m_depth == 2 && wsse && tag.name == "UsernameToken") {
            ++m_token.tokens;
            m_inToken = m_token.tokens == 1;
        } else if (m_depth == 3 && m_inToken) {
            if (wsse && tag.name == "Username") {
                m_field = &m_token.user;
            } else if (wsse && tag.name == "Password") {
                m_field = &m_token.password;
                for (const auto& attribute : tag.attributes) {
                    if (attribute.uri.empty() && attribute.name == "Type") m_token.type = attribute.value;
                }
            } else if (wsse && tag.name == "Nonce") {
                m_field = &m_token.nonce;
                m_token.hasNonce = true;
                for (const auto& attribute : tag.attributes) {
                    if (attribute.uri.empty() && attribute.name == "EncodingType") m_token.nonceEncoding = attribute.value;
                }
            } else if (tag.uri == detail::WsuNamespaceUri && tag.name == "Created") {
                m_field = &m_token.created;
                m_token.hasCreated = true;
            }
        }
    }
    void endElement() override
    {
        if (m_depth == 2) m_inToken = false;
        --m_depth;
        m_field = nullptr;
    }
    void characters(std::string_view text) override
    {
        if (m_field) m_field->append(text);
    }

private:
    TokenJudge::Token& m_token;
    int m_depth = 0;
    bool m_inToken = false;
    std::string* m_field = nullptr;
};

bool isSecurity(const SoapHeaderBlock& block)
{
    return block.uri == detail::WsseNamespaceUri && block.name == "Security";
}

TokenVerdict refused(std::string user, std::string cause)
{
    return {false, {std::move(user), {}}, std::move(cause)};
}

std::string_view trimmed(std::string_view text)
{
    const auto space = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!text.empty() && space(text.front())) text.remove_prefix(1);
    while (!text.empty() && space(text.back())) text.remove_suffix(1);
    return text;
}

} // namespace

bool readTimestamp(std::string_view text, Clock::time_point& when)
{
    const std::string whole(text);
    std::tm fields{};
    int consumed = 0;
    if (std::sscanf(whole.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d%n", &fields.tm_year, &fields.tm_mon, &fields.tm_mday,
                    &fields.tm_hour, &fields.tm_min, &fields.tm_sec, &consumed) != 6 || consumed != 19) {
        return false;
    }
    std::string_view rest = text.substr(19);
    if (!rest.empty() && rest.front() == '.') {
        rest.remove_prefix(1);
        if (rest.empty() || rest.front() < '0' || rest.front() > '9') return false;
        while (!rest.empty() && rest.front() >= '0' && rest.front() <= '9') rest.remove_prefix(1);
    }
    long offset = 0;
    // A time without a zone could be anyone's: refused.
    if (rest.empty()) return false;
    if (rest == "Z") {
        rest.remove_prefix(1);
    } else if (rest.size() == 6 && (rest[0] == '+' || rest[0] == '-') && rest[3] == ':') {
        int hours = 0, minutes = 0;
        if (std::sscanf(std::string(rest.substr(1)).c_str(), "%2d:%2d", &hours, &minutes) != 2) return false;
        offset = (rest[0] == '+' ? 1 : -1) * (hours * 3600L + minutes * 60L);
        rest = {};
    }
    if (!rest.empty() || fields.tm_mon < 1 || fields.tm_mon > 12 || fields.tm_mday < 1 || fields.tm_mday > 31 ||
        fields.tm_hour > 23 || fields.tm_min > 59 || fields.tm_sec > 60) {
        return false;
    }
    fields.tm_year -= 1900;
    fields.tm_mon -= 1;
    when = Clock::from_time_t(timegm(&fields) - offset);
    return true;
}

TokenJudge::TokenJudge(const UsernameTokens& options)
    : m_options(options), m_nonces(std::make_unique<NonceCache>(options.maxNonces))
{
}

TokenVerdict TokenJudge::judge(const std::vector<SoapHeaderBlock>& blocks, bool overTls, Clock::time_point now)
{
    const SoapHeaderBlock* security = nullptr;
    for (const SoapHeaderBlock& block : blocks) {
        if (!isSecurity(block)) continue;
        if (security) return refused({}, "more than one wsse:Security header block");
        security = &block;
    }
    if (!security) {
        if (m_options.required) return refused({}, "no UsernameToken");
        return {true, {}, {}};
    }
    if (security->markup.empty()) return refused({}, "the wsse:Security block is too long to read");
    Token token;
    try {
        TokenReader reader(token);
        XMLEventReader parser;
        parser.read(security->markup, reader);
    } catch (const DomException& error) {
        return refused({}, std::string("the wsse:Security block cannot be read: ") + error.getMessage());
    }
    if (token.tokens != 1) return refused({}, token.tokens == 0 ? "no UsernameToken" : "more than one UsernameToken");
    if (token.user.empty()) return refused({}, "a UsernameToken without Username");
    try {
        if (token.type == detail::PasswordDigestType) return judgeDigest(token, now);
        // The profile takes a Password without Type as PasswordText.
        if (token.type.empty() || token.type == detail::PasswordTextType) return judgeText(token, overTls);
    } catch (const std::exception& error) {
        // The program's own store failed: nobody comes in on it.
        return refused(token.user, std::string("the password store failed: ") + error.what());
    }
    return refused(token.user, "a password of an unknown Type");
}

TokenVerdict TokenJudge::judgeDigest(const Token& token, Clock::time_point now)
{
    if (!m_options.password) return refused(token.user, "PasswordDigest, which this server does not take");
    if (!token.hasNonce || !token.hasCreated) return refused(token.user, "a PasswordDigest without Nonce or Created");
    Clock::time_point created;
    if (!readTimestamp(trimmed(token.created), created)) return refused(token.user, "a Created that is no UTC time");
    if (created > now + m_options.window) return refused(token.user, "a Created in the future beyond the window");
    if (created < now - m_options.window) return refused(token.user, "a Created older than the window");
    std::string nonce;
    if ((!token.nonceEncoding.empty() && token.nonceEncoding != detail::Base64BinaryType) ||
        !detail::fromBase64(trimmed(token.nonce), nonce) || nonce.empty()) {
        return refused(token.user, "a Nonce that is no Base64 binary");
    }
    const std::string password = m_options.password(token.user);
    // An unknown user costs a digest as a known one does.
    const std::string expected = detail::passwordDigest(nonce, token.created, password);
    if (!sameSecret(expected, trimmed(token.password)) || password.empty()) {
        return refused(token.user, "a wrong password or an unknown user");
    }
    switch (m_nonces->remember(nonce, created + m_options.window, now)) {
    case NonceCache::Seen::replayed: return refused(token.user, "a Nonce already used (a replay)");
    case NonceCache::Seen::full: return refused(token.user, "the nonce cache is full of live nonces");
    case NonceCache::Seen::fresh: break;
    }
    return {true, {token.user, "usernametoken"}, {}};
}

TokenVerdict TokenJudge::judgeText(const Token& token, bool overTls) const
{
    if (!overTls) return refused(token.user, "PasswordText over plain HTTP");
    if (!m_options.checkText) return refused(token.user, "PasswordText, which this server does not take");
    if (!m_options.checkText(token.user, token.password)) return refused(token.user, "a wrong password or an unknown user");
    return {true, {token.user, "usernametoken"}, {}};
}

} // namespace Velmora::Schemas::Mes::_2010_09::Workinstructions::serving
