#pragma once

// The nonces of accepted UsernameTokens, each remembered until its token's
// Created leaves the window: a nonce seen again in that time is a replay,
// and after it the Created check refuses the token anyway.

#include <chrono>
#include <cstddef>
#include <map>
#include <mutex>
#include <string>
#include <unordered_map>

namespace Velmora::Schemas::Mes::_2010_09::Workinstructions::serving {

class NonceCache {
public:
    using Clock = std::chrono::system_clock;
    enum class Seen { fresh, replayed, full };

    /// At most limit nonces at once.
    explicit NonceCache(std::size_t limit) : m_limit(limit) {}

    /// Remembers nonce until expiry unless it is remembered already (replayed)
    /// or limit live nonces are (full): forgetting a live one early would let
    /// its replay in. Safe from several threads at once.
    Seen remember(const std::string& nonce, Clock::time_point expiry, Clock::time_point now);

private:
    std::mutex m_mutex;
    const std::size_t m_limit;
    std::unordered_map<std::string, Clock::time_point> m_nonces;
    std::multimap<Clock::time_point, std::string> m_byExpiry;
};

} // namespace Velmora::Schemas::Mes::_2010_09::Workinstructions::serving
