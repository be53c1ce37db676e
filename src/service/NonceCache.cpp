#include "NonceCache.hpp"

namespace Velmora::Schemas::Mes::_2010_09::Workinstructions::serving {

NonceCache::Seen NonceCache::remember(const std::string& nonce, Clock::time_point expiry, Clock::time_point now)
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    while (!m_byExpiry.empty() && m_byExpiry.begin()->first <= now) {
        m_nonces.erase(m_byExpiry.begin()->second);
        m_byExpiry.erase(m_byExpiry.begin());
    }
    if (m_nonces.count(nonce) != 0) return Seen::replayed;
    if (m_nonces.size() >= m_limit) return Seen::full;
    m_nonces.emplace(nonce, expiry);
    m_byExpiry.emplace(expiry, nonce);
    return Seen::fresh;
}

} // namespace Velmora::Schemas::Mes::_2010_09::Workinstructions::serving
