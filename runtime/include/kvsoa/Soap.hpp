#pragma once

#include <string>
#include <string_view>
#include <utility>
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

/// The fault codes of SOAP 1.2, which name SOAP 1.1's Client and Server
/// Sender and Receiver.
enum class SoapFaultCode {
    VersionMismatch,     ///< the Envelope is in no namespace this node knows
    MustUnderstand,      ///< a mandatory header block was not understood
    DataEncodingUnknown, ///< SOAP 1.2 only; SOAP 1.1 says Client.DataEncodingUnknown
    Sender,              ///< the message is at fault (SOAP 1.1 Client)
    Receiver,            ///< the receiver failed (SOAP 1.1 Server)
};

/// What a fault says, apart from where it came from.
struct SoapFaultParts {
    /// A Receiver fault with nothing said.
    SoapFaultParts() = default;
    /// A fault with its code and reason; the rest may be set after.
    SoapFaultParts(SoapFaultCode faultCode, std::string faultReason)
        : code(faultCode), reason(std::move(faultReason))
    {
    }

    /// The code, in SOAP 1.2's word.
    SoapFaultCode code = SoapFaultCode::Receiver;
    /// More specific codes, outermost first: "{uri}local", or "local" for a
    /// name in no namespace. SOAP 1.2 writes them as Subcodes, SOAP 1.1 as the
    /// dotted parts of its faultcode (Client.Authentication).
    std::vector<std::string> subcodes;
    /// The human-readable reason.
    std::string reason;
    /// The detail as text.
    std::string detail;
    /// The detail's content as XML, elements and all; written as it is, so it
    /// must be well-formed content. When empty, the detail text is written.
    std::string detailXml;
    /// For MustUnderstand: the header blocks not understood, "{uri}local";
    /// SOAP 1.2 names each in a NotUnderstood header block.
    std::vector<std::string> notUnderstood;
};

/// Raises the SoapFault that a SOAP Fault element (either version) carries,
/// located at the Fault element; a fault in the other version's shape is read
/// too (see SoapFault).
[[noreturn]] KVSOA_API void throwSoapFault(const XMLNode& fault);

/// A SOAP Fault, received in place of a message or to be sent. The texts of
/// a received one are those of the fault as sent: SOAP 1.1 faultcode,
/// faultstring and detail; SOAP 1.2 Code/Value (each Subcode/Value after a
/// '/'), the first Reason/Text (an English one, xml:lang "en" or "en-..." in
/// any case, when there are several) and Detail. The detail is the text
/// inside the detail element and its descendants in document order,
/// whitespace collapsed.
///
/// Some senders mix the shapes (node-soap puts Code and Reason in a SOAP 1.1
/// Fault), so a fault without its version's code and reason is read in the
/// other version's shape, its parts qualified or not; failing both, the
/// reason is all the fault's text. The version stays that of the envelope.
class KVSOA_API SoapFault : public DomException {
public:
    /// A received fault of the given version with its texts and the position
    /// of its Fault element; code() is read into faultCode() and subcodes().
    SoapFault(SoapVersion version, std::string code, std::string reason, std::string detail, int line = 0,
              int column = 0);
    /// A fault to send (version None: the request's version decides).
    explicit SoapFault(SoapFaultParts parts);
    /// Out of line, so that the class's type information has one home.
    ~SoapFault() override;

    /// The SOAP version of the envelope the fault came in.
    SoapVersion version() const noexcept { return m_version; }
    /// The fault code as sent, e.g. "soap:Server" or "env:Sender/app:Locked";
    /// for a fault made to send, SOAP 1.2's words, e.g. "Sender/Locked".
    const std::string& code() const noexcept { return m_code; }
    /// The code in SOAP 1.2's word; a code neither version defines is
    /// Receiver, with the code kept as the first subcode.
    SoapFaultCode faultCode() const noexcept { return m_parts.code; }
    /// The subcodes; a received code's prefixes are dropped, as a reader
    /// cannot tell the namespaces they stand for.
    const std::vector<std::string>& subcodes() const noexcept { return m_parts.subcodes; }
    /// The human-readable reason.
    const std::string& reason() const noexcept { return m_parts.reason; }
    /// The detail text; empty when the fault has none.
    const std::string& detail() const noexcept { return m_parts.detail; }
    /// The detail as XML, elements and all, when the fault was read from a
    /// whole tree (messageNode). readXml keeps only a fault's text, whatever
    /// its size, so there this is the detail's text, escaped.
    const std::string& detailXml() const noexcept { return m_parts.detailXml; }
    /// The header blocks a MustUnderstand fault names.
    const std::vector<std::string>& notUnderstood() const noexcept { return m_parts.notUnderstood; }
    /// Everything at once, to make a fault like this one.
    const SoapFaultParts& parts() const noexcept { return m_parts; }

private:
    friend void throwSoapFault(const XMLNode& fault); // adds the detail's markup

    SoapVersion m_version;
    std::string m_code;
    SoapFaultParts m_parts;
};

/// A whole fault document in a version (None: SOAP 1.1's shape): SOAP 1.1
/// faultcode (the subcodes' local names dotted on), faultstring and detail;
/// SOAP 1.2 Code with nested Subcodes, an English Reason and Detail, with a
/// NotUnderstood header block per block of a MustUnderstand fault and an
/// Upgrade block listing both envelopes for VersionMismatch. Text that XML
/// cannot carry (invalid UTF-8, control characters) is written as U+FFFD:
/// a fault is always written.
KVSOA_API std::string writeSoapFault(const SoapFault& fault, SoapVersion version);

/// Appends text escaped for XML, as a fault's reason and detail are written:
/// what XML cannot carry (invalid UTF-8, control characters) becomes U+FFFD,
/// so that markup made for detailXml is always well-formed.
KVSOA_API void appendFaultText(std::string& out, std::string_view text);

/// The HTTP status of a fault in a version: SOAP 1.2's binding sends Sender
/// faults with 400, all others with 500; SOAP 1.1 sends every fault with 500.
KVSOA_API int soapFaultHttpStatus(SoapFaultCode code, SoapVersion version) noexcept;

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

} // namespace Kavella::Soa::Common::Xml
