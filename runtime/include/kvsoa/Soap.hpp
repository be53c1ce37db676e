#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "kvsoa/DomException.hpp"
#include "kvsoa/Export.hpp"
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

/// A SOAP Fault received in place of a message. The texts are those of the
/// fault as sent: SOAP 1.1 faultcode, faultstring and detail; SOAP 1.2
/// Code/Value (each Subcode/Value after a '/'), the first Reason/Text (an
/// English one, xml:lang "en" or "en-..." in any case, when there are
/// several) and Detail. The detail is the text inside the detail element and
/// its descendants in document order, whitespace collapsed.
///
/// Some senders mix the shapes (node-soap puts Code and Reason in a SOAP 1.1
/// Fault), so a fault without its version's code and reason is read in the
/// other version's shape, its parts qualified or not; failing both, the
/// reason is all the fault's text. The version stays that of the envelope.
class KVSOA_API SoapFault : public DomException {
public:
    /// A fault of the given version with its texts and the position of its Fault element.
    SoapFault(SoapVersion version, std::string code, std::string reason, std::string detail, int line = 0,
              int column = 0);
    /// Out of line, so that the class's type information has one home.
    ~SoapFault() override;

    /// The SOAP version of the envelope the fault came in.
    SoapVersion version() const noexcept { return m_version; }
    /// The fault code, e.g. "soap:Server" or "env:Sender/app:Locked".
    const std::string& code() const noexcept { return m_code; }
    /// The human-readable reason.
    const std::string& reason() const noexcept { return m_reason; }
    /// The detail text; empty when the fault has none.
    const std::string& detail() const noexcept { return m_detail; }

private:
    SoapVersion m_version;
    std::string m_code;
    std::string m_reason;
    std::string m_detail;
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

/// The elements of a Fault that throwSoapFault looks at, for a reader that
/// keeps only those: the first Code, Reason, Detail, faultcode, faultstring and
/// detail, in a Code (or Subcode) the first Value and Subcode, in a Reason the
/// first Text and the first English one. Of every other element only the text
/// counts: folded into the nearest element kept, with a space where each
/// element begins and ends, it gives the same fault. So a fault of any size
/// keeps a handful of nodes.
class KVSOA_API SoapFaultPruner {
public:
    /// For a Fault element in the namespace faultUri.
    explicit SoapFaultPruner(std::string_view faultUri);
    /// An element starts whose parent was kept (the Fault itself first): true
    /// when it is kept too, then leave() follows at its end.
    bool enter(std::string_view uri, std::string_view name, const XMLAttributes& attributes);
    /// The innermost kept element ends.
    void leave() noexcept;

private:
    struct Kept {
        enum Kind : unsigned char { Fault, Code, Reason, Other } kind;
        unsigned seen; // the parts found among its children so far
    };
    std::string m_uri;
    std::vector<Kept> m_kept;
};

/// Raises the SoapFault that a SOAP Fault element (either version) carries,
/// located at the Fault element; a fault in the other version's shape is read
/// too (see SoapFault).
[[noreturn]] KVSOA_API void throwSoapFault(const XMLNode& fault);

} // namespace Kavella::Soa::Common::Xml
