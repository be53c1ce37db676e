#pragma once

// What a handler may know of its call besides the request: who called, from
// where, with which HTTP headers and SOAP header blocks, under which request
// id, and whether the caller is still there.

#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "kvsoa/SoapEnvelope.hpp"
#include "workinstructions/ServiceExport.hpp"
#include "workinstructions/XmlIO.hpp"

namespace Velmora::Schemas::Mes::_2010_09::Workinstructions {

namespace detail {
class CallContextWriter;
}

/// A request's HTTP headers, read-only, as received; names compared without case.
class WI_SERVICE_API HttpHeaders {
public:
    /// Name and value of each header, in the order received.
    using Fields = std::vector<std::pair<std::string, std::string>>;
    /// No headers.
    HttpHeaders() = default;
    /// The given headers.
    explicit HttpHeaders(Fields fields) : m_fields(std::move(fields)) {}
    /// The value of the first header called name, in any case; null when none is.
    const std::string* find(std::string_view name) const;
    /// Every header, in the order received.
    const Fields& fields() const { return m_fields; }

private:
    Fields m_fields;
};

/// Who a caller proved to be, and how.
struct Identity {
    /// The user name, a token's owner, or a client certificate's subject; empty for nobody.
    std::string name;
    /// How it was proven: "basic", "bearer", "certificate" or "usernametoken"; empty for nobody.
    std::string proof;
};

/// One call as the server knows it, given to a handler beside the request.
class WI_SERVICE_API CallContext {
public:
    /// A context of the given facts; cancelled says whether the client has gone (null: never).
    CallContext(std::string peerAddress, unsigned short peerPort, HttpHeaders headers, Identity identity,
                std::string requestId, std::function<bool()> cancelled = nullptr);

    /// The client's address, numeric.
    const std::string& peerAddress() const { return m_peerAddress; }
    /// The client's port.
    unsigned short peerPort() const { return m_peerPort; }
    /// The request's HTTP headers.
    const HttpHeaders& headers() const { return m_headers; }
    /// Who the caller proved to be; empty when the server authenticates nobody.
    const Identity& identity() const { return m_identity; }
    /// The caller's X-Request-Id when short and printable, else one the server
    /// made; sent back in the reply's X-Request-Id and written in the access log.
    const std::string& requestId() const { return m_requestId; }
    /// True once the client has closed its connection: a long handler may stop,
    /// as nobody will read its answer. Asked during the handler's call only.
    bool cancelled() const { return m_cancelled && m_cancelled(); }
    /// The request's envelope: Soap11, Soap12, or None for a bare message.
    Envelope envelope() const { return m_envelope; }
    /// The request's SOAP header blocks, as the envelope reader keeps them
    /// (the first SoapEnvelopeReader::maxKeptBlocks, markup up to its bound).
    const std::vector<::Kavella::Soa::Common::Xml::SoapHeaderBlock>& soapHeaderBlocks() const { return m_soapHeaderBlocks; }

private:
    // The server adds what the envelope tells, and a token's identity, once read.
    friend class detail::CallContextWriter;

    std::string m_peerAddress;
    unsigned short m_peerPort;
    HttpHeaders m_headers;
    Identity m_identity;
    std::string m_requestId;
    std::function<bool()> m_cancelled;
    Envelope m_envelope = Envelope::None;
    std::vector<::Kavella::Soa::Common::Xml::SoapHeaderBlock> m_soapHeaderBlocks;
};

} // namespace Velmora::Schemas::Mes::_2010_09::Workinstructions
