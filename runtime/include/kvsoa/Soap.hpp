#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "kvsoa/DomException.hpp"
#include "kvsoa/Export.hpp"
#include "kvsoa/SoapFault.hpp"
#include "kvsoa/XMLNode.hpp"

namespace Kavella::Soa::Common::Xml {

/// The namespace of the SOAP 1.1 envelope.
inline constexpr char Soap11NamespaceUri[] = "http://schemas.xmlsoap.org/soap/envelope/";
/// The namespace of the SOAP 1.2 envelope.
inline constexpr char Soap12NamespaceUri[] = "http://www.w3.org/2003/05/soap-envelope";

/// A SOAP version, or None for a document without envelope.
enum class SoapVersion {
    None,   ///< no SOAP envelope
    Soap11, ///< SOAP 1.1
    Soap12, ///< SOAP 1.2
};

/// The SOAP version whose envelope namespace this is; None for any other.
KVSOA_API SoapVersion soapVersionOf(std::string_view namespaceUri) noexcept;
/// The envelope namespace of a version; empty for None.
KVSOA_API const char* soapNamespaceUri(SoapVersion version) noexcept;

/// The envelope rules, one by one, as SoapEnvelopeReader and messageNode
/// apply them; SoapEnvelopeProblem says which is broken, and where.
enum class SoapEnvelopeError {
    UnknownNamespace,  ///< an Envelope in neither SOAP namespace (a VersionMismatch to a SOAP node)
    EnvelopeText,      ///< text directly in the Envelope
    UnexpectedElement, ///< an Envelope child other than an optional Header, then one Body
    MustUnderstand,    ///< a header block addressed here and marked mustUnderstand
    BadMustUnderstand, ///< a header block whose mustUnderstand is no boolean
    NoBody,            ///< an Envelope without a Body
    BodyText,          ///< text beside the Body's element
    NoMessage,         ///< a Body without an element
    SecondElement,     ///< a second element in the Body
};

/// The message of a parsed document: the root itself when it is not a SOAP
/// Envelope, otherwise the one element child of the Body. Header blocks are
/// skipped unless addressed to this receiver and marked mustUnderstand
/// (checkSoapHeader); a Fault in the Body raises SoapFault. Throws DomException, with line and column, for an
/// element named Envelope outside both SOAP namespaces, an Envelope without a
/// Body or with other elements, and a Body with no element, two elements or
/// text beside its element.
KVSOA_API const XMLNode& messageNode(const XMLNode& root);

/// Skips the blocks of a SOAP Header element; throws DomException naming the
/// first block addressed to this receiver whose mustUnderstand (in the
/// envelope namespace) is "1" or "true", or no boolean: this receiver
/// understands no header, and must not ignore one that is mandatory. A block
/// is addressed here without actor (SOAP 1.1) or role (SOAP 1.2) in the
/// envelope namespace, or with the actor .../actor/next, or the role
/// .../role/next or .../role/ultimateReceiver; blocks for other actors or
/// roles, role/none included, are left alone, whatever they are marked.
KVSOA_API void checkSoapHeader(const XMLNode& header);

} // namespace Kavella::Soa::Common::Xml
