#pragma once

// The server's judge of WS-Security UsernameTokens: it reads the request's
// wsse:Security block and says whether the caller proved who it is, and if
// not, why, for the log only.

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "NonceCache.hpp"
#include "kvsoa/SoapEnvelope.hpp"
#include "workinstructions/Authentication.hpp"

namespace Velmora::Schemas::Mes::_2010_09::Workinstructions::serving {

struct TokenVerdict {
    bool accepted = false;
    Identity identity; // {user, "usernametoken"} when proven; the name claimed when refused
    std::string cause; // of a refusal
};

class TokenJudge {
public:
    explicit TokenJudge(const UsernameTokens& options);

    bool enabled() const { return m_options.enabled(); }
    /// The verdict on a request with these header blocks. Accepted without
    /// identity when no token came and none is required.
    TokenVerdict judge(const std::vector<::Kavella::Soa::Common::Xml::SoapHeaderBlock>& blocks, bool overTls,
                       NonceCache::Clock::time_point now);

    struct Token; // what a block's UsernameToken says

private:
    TokenVerdict judgeDigest(const Token& token, NonceCache::Clock::time_point now);
    TokenVerdict judgeText(const Token& token, bool overTls) const;

    const UsernameTokens& m_options;
    std::unique_ptr<NonceCache> m_nonces;
};

/// wsu:Created's text as a time: "2026-12-08T07:30:00Z", fraction and a
/// numeric offset allowed; false for anything else.
bool readTimestamp(std::string_view text, NonceCache::Clock::time_point& when);

} // namespace Velmora::Schemas::Mes::_2010_09::Workinstructions::serving
