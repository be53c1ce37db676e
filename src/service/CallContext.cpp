#include "workinstructions/CallContext.hpp"

#include "SoapBinding.hpp"

namespace Velmora::Schemas::Mes::_2010_09::Workinstructions {

const std::string* HttpHeaders::find(std::string_view name) const
{
    for (const auto& [key, value] : m_fields) {
        if (serving::sameIgnoringCase(key, name)) return &value;
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
