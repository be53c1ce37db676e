#include "workinstructions/CallContext.hpp"

namespace Velmora::Schemas::Mes::_2010_09::Workinstructions {

namespace {

bool sameName(std::string_view a, std::string_view b)
{
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

} // namespace

const std::string* HttpHeaders::find(std::string_view name) const
{
    for (const auto& [key, value] : m_fields) {
        if (sameName(key, name)) return &value;
    }
    return nullptr;
}

CallContext::CallContext(std::string peerAddress, unsigned short peerPort, HttpHeaders headers, Identity identity,
                         std::string requestId, std::function<bool()> cancelled)
    : m_peerAddress(std::move(peerAddress)),
      m_peerPort(peerPort),
      m_headers(std::move(headers)),
      m_identity(std::move(identity)),
      m_requestId(std::move(requestId)),
      m_cancelled(std::move(cancelled))
{
}

} // namespace Velmora::Schemas::Mes::_2010_09::Workinstructions
