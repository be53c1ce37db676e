#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "kvsoa/DomException.hpp"
#include "kvsoa/Export.hpp"
#include "kvsoa/XMLEventReader.hpp"
#include "kvsoa/XMLNode.hpp"

namespace Kavella::Soa::Common::Xml {

/// A SOAP version (defined in Soap.hpp).
enum class SoapVersion;

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
    /// dotted parts of its faultcode (Client.Authentication), which carry local
    /// names only; a Receiver fault whose first subcode has a namespace is
    /// written in SOAP 1.1 with that subcode as its faultcode.
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
/// too (see SoapFault). Prefixes in its codes are resolved against the
/// declarations on the Fault and inside it; the root of a tree captured from
/// a stream carries those of its ancestors too (XMLNode::namespaces).
[[noreturn]] KVSOA_API void throwSoapFault(const XMLNode& fault);

/// A SOAP Fault, received in place of a message or to be sent. The texts of
/// a received one are those of the fault as sent: SOAP 1.1 faultcode,
/// faultstring and detail; SOAP 1.2 Code/Value (each Subcode/Value after a
/// '/'), the first Reason/Text (an English one, xml:lang "en" or "en-..." in
/// any case, when there are several) and Detail. The detail text is the text
/// inside the detail element and its descendants in document order,
/// whitespace collapsed; its elements are kept too, as nodes and as markup.
///
/// Some senders mix the shapes (node-soap puts Code and Reason in a SOAP 1.1
/// Fault), so a fault without its version's code and reason is read in the
/// other version's shape, its parts qualified or not; failing both, the
/// reason is all the fault's text. The version stays that of the envelope.
class KVSOA_API SoapFault : public DomException {
public:
    /// A received fault of the given version with its texts and the position
    /// of its Fault element; code() is read into faultCode() and subcodes(),
    /// with no declarations to resolve its prefixes by.
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
    /// The code in SOAP 1.2's word; a code neither version defines (in the
    /// envelope's namespace or none) is Receiver, with the code kept as the
    /// first subcode.
    SoapFaultCode faultCode() const noexcept { return m_parts.code; }
    /// The subcodes, outermost first: "{uri}local" with the namespace its
    /// prefix (or the default namespace) stands for where the fault was read,
    /// "local" when it stands for none or is not declared. SOAP 1.1's dotted
    /// parts after the first name are local names.
    const std::vector<std::string>& subcodes() const noexcept { return m_parts.subcodes; }
    /// The subcodes' local names, as subcodes() gave them before it gave namespaces.
    std::vector<std::string> subcodeLocalNames() const;
    /// The human-readable reason.
    const std::string& reason() const noexcept { return m_parts.reason; }
    /// The detail text; empty when the fault has none.
    const std::string& detail() const noexcept { return m_parts.detail; }
    /// The detail's content as markup: text and elements in document order,
    /// each element with its prefix as written, its attributes and content,
    /// and the namespace declarations written on it plus those its names need,
    /// so that the markup is well-formed standing alone. Written in a fault and
    /// read again, it comes back the same. For a fault without detail
    /// elements, the detail's text, escaped.
    const std::string& detailXml() const noexcept { return m_parts.detailXml; }
    /// The detail's elements (the entries), as nodes that own what they show:
    /// name, prefix, namespace, attributes, text and children. Empty for a
    /// fault made to send, whose detail is the markup it was given.
    const std::vector<XMLNode>& detailEntries() const noexcept { return m_entries; }
    /// The first detail entry named {uri}name, or null.
    const XMLNode* detailEntry(std::string_view uri, std::string_view name) const noexcept;
    /// The header blocks a MustUnderstand fault names.
    const std::vector<std::string>& notUnderstood() const noexcept { return m_parts.notUnderstood; }
    /// Everything at once, to make a fault like this one.
    const SoapFaultParts& parts() const noexcept { return m_parts; }

private:
    friend struct SoapFaultReading; // fills in what the text constructor cannot know

    SoapVersion m_version;
    std::string m_code;
    SoapFaultParts m_parts;
    std::vector<XMLNode> m_entries;
};

/// A whole fault document in a version (None: SOAP 1.1's shape): SOAP 1.1
/// faultcode (the subcodes' local names dotted on), faultstring and detail;
/// SOAP 1.2 Code with nested Subcodes (each Value declaring its namespace),
/// an English Reason and Detail, with a NotUnderstood header block per block
/// of a MustUnderstand fault and an Upgrade block listing both envelopes for
/// VersionMismatch. Text that XML cannot carry (invalid UTF-8, control
/// characters) is written as U+FFFD: a fault is always written.
KVSOA_API std::string writeSoapFault(const SoapFault& fault, SoapVersion version);

/// Appends text escaped for XML, as a fault's reason and detail are written:
/// what XML cannot carry (invalid UTF-8, control characters) becomes U+FFFD,
/// so that markup made for detailXml is always well-formed.
KVSOA_API void appendFaultText(std::string& out, std::string_view text);

/// The HTTP status of a fault in a version: SOAP 1.2's binding sends Sender
/// faults with 400, all others with 500; SOAP 1.1 sends every fault with 500.
KVSOA_API int soapFaultHttpStatus(SoapFaultCode code, SoapVersion version) noexcept;

/// The elements of a Fault that throwSoapFault looks at, for a reader that
/// keeps only those: the first Code, Reason, Detail, faultcode, faultstring and
/// detail, in a Code (or Subcode) the first Value and Subcode, in a Reason the
/// first Text and the first English one, and in the detail its entries whole,
/// up to detailBound elements, attributes and namespace declarations. Of every other element only the
/// text counts: folded into the nearest element kept, with a space where each
/// element begins and ends, it gives the same fault. So a fault of any size
/// keeps a bounded number of nodes (and its text, which the reply's size
/// bounds); past the bound, a detail's further elements lend the element
/// around them their text, as other elements do.
class KVSOA_API SoapFaultPruner {
public:
    /// Elements, attributes and namespace declarations of a fault's detail
    /// kept as nodes: under a megabyte of nodes.
    static constexpr std::size_t detailBound = 4096;

    /// For a Fault element in the namespace faultUri.
    explicit SoapFaultPruner(std::string_view faultUri);
    /// An element starts whose parent was kept (the Fault itself first): true
    /// when it is kept too, then leave() follows at its end. In a detail its
    /// namespace declarations count towards the bound as its attributes do.
    bool enter(const XMLStartTag& tag);
    /// enter() for a tag known by its parts, without namespace declarations.
    bool enter(std::string_view uri, std::string_view name, const XMLAttributes& attributes);
    /// The innermost kept element ends.
    void leave() noexcept;

private:
    struct Kept {
        enum Kind : unsigned char { Fault, Code, Reason, Detail, Other } kind;
        unsigned seen; // the parts found among its children so far
    };
    bool enter(std::string_view uri, std::string_view name, const XMLAttributes& attributes, std::size_t declarations);
    bool enterDetail(std::size_t cost);

    std::string m_uri;
    std::vector<Kept> m_kept;
    std::size_t m_detailLeft = detailBound;
};

} // namespace Kavella::Soa::Common::Xml
