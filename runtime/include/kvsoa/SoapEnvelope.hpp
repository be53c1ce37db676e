#pragma once

// The one reader of SOAP envelopes: it judges an envelope as its events
// arrive, keeps what its first tags tell, and hands the message's events on.

#include <cstddef>
#include <exception>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "kvsoa/Export.hpp"
#include "kvsoa/Soap.hpp"
#include "kvsoa/XMLEventReader.hpp"

namespace Kavella::Soa::Common::Xml {

/// A broken envelope rule, as a value: what, where, and the element concerned.
struct KVSOA_API SoapEnvelopeProblem {
    /// The rule broken.
    SoapEnvelopeError error = SoapEnvelopeError::NoBody;
    /// Where the element concerned starts.
    XMLPosition at;
    /// The namespace of the element concerned (the Envelope's own for UnknownNamespace).
    std::string uri;
    /// The local name of the element concerned.
    std::string name;
    /// For BadMustUnderstand: the mustUnderstand attribute as written.
    std::string value;

    /// The text messageNode raises for it.
    std::string message() const;
    /// Raises the DomException messageNode raises for it.
    [[noreturn]] void raise() const;
};

/// The problem a header block with these attributes makes for this receiver,
/// which understands no header block: MustUnderstand when it is addressed here
/// (see checkSoapHeader) and marked mandatory, BadMustUnderstand when its
/// mustUnderstand is no boolean; none when it may be ignored.
KVSOA_API std::optional<SoapEnvelopeProblem> soapHeaderBlockProblem(std::string_view envelopeUri,
                                                                   std::string_view uri, std::string_view name,
                                                                   const XMLAttributes& attributes, XMLPosition at);

/// An attribute of a kept header block, its texts owned.
struct SoapHeaderAttribute {
    /// Namespace URI; empty for none.
    std::string uri;
    /// Local name.
    std::string name;
    /// The value, references resolved.
    std::string value;
};

/// A block of a SOAP Header, kept for whoever handles the call.
struct SoapHeaderBlock {
    /// The block's namespace URI.
    std::string uri;
    /// The block's local name.
    std::string name;
    /// Where its start tag begins.
    XMLPosition at;
    /// Its attributes, in document order.
    std::vector<SoapHeaderAttribute> attributes;
    /// Addressed to this receiver and marked mustUnderstand.
    bool mandatory = false;
    /// The block as XML, each element declaring the namespaces it uses; empty
    /// when it is longer than SoapEnvelopeReader::maxBlockMarkup.
    std::string markup;
};

/// What an envelope's first tags tell: enough to choose how to read the message.
struct SoapEnvelopeHead {
    /// The envelope's version; None for a bare document (or an Envelope in an
    /// unknown namespace, which then stands as the message).
    SoapVersion version = SoapVersion::None;
    /// The message element's local name: the document element, or the first
    /// element of the Body (which may be its Fault); empty when there is none.
    std::string name;
    /// The message element's namespace URI.
    std::string uri;
    /// Where the message element starts; 0 when there is none.
    XMLPosition at;
    /// The Header's blocks, the first SoapEnvelopeReader::maxKeptBlocks.
    std::vector<SoapHeaderBlock> headerBlocks;
    /// Every block of the Header, kept or not.
    std::size_t headerBlockCount = 0;
};

/// Reads a document's events: an Envelope in either SOAP namespace is judged
/// as SOAP 1.1 and 1.2 say (an optional Header first, then one Body holding
/// one element; mandatory header blocks refused; a Fault captured), and only
/// the message element's events go on to the message handler. A document
/// that is no envelope goes to the message handler whole, its errors passing
/// through. Errors of the envelope are kept as values, in the order
/// messageNode finds them, and raised by raise() after the read: a message
/// error thrown by the handler is kept too, and the rest of the message skipped.
class KVSOA_API SoapEnvelopeReader final : public XMLEventHandler {
public:
    /// Header blocks kept in the head; the rest are judged and counted.
    static constexpr std::size_t maxKeptBlocks = 32;
    /// Bytes of markup kept of one header block.
    static constexpr std::size_t maxBlockMarkup = 16u << 10;

    /// Reads parser's events; message, when given, gets the message's.
    explicit SoapEnvelopeReader(XMLEventReader& parser, XMLEventHandler* message = nullptr);
    /// Frees the captured fault.
    ~SoapEnvelopeReader() override;
    SoapEnvelopeReader(const SoapEnvelopeReader&) = delete;
    SoapEnvelopeReader& operator=(const SoapEnvelopeReader&) = delete;

    /// Sets the handler of the message's events; before the message starts.
    void setMessageHandler(XMLEventHandler* message) noexcept;
    /// Stops the parser as soon as the head is complete.
    void stopAfterHead() noexcept;
    /// Header blocks named {uri}name are ones this receiver reads: marked
    /// mandatory, they are no MustUnderstand problem. Before the read.
    void understand(std::string_view uri, std::string_view name);
    /// Whether block is one of those understand() named.
    bool understands(const SoapHeaderBlock& block) const noexcept;

    /// Starts afresh.
    void startDocument() override;
    /// Judges the envelope's elements, or hands a message's on.
    void startElement(const XMLStartTag& tag) override;
    /// Closes the innermost open element.
    void endElement() override;
    /// Judges the envelope's text, or hands a message's on.
    void characters(std::string_view text) override;

    /// The head read so far.
    const SoapEnvelopeHead& head() const noexcept;
    /// True once the message element started, or once it is clear there is none.
    bool headComplete() const noexcept;
    /// The first broken envelope rule so far, in messageNode's order; null when none.
    const SoapEnvelopeProblem* problem() const noexcept;
    /// Raises what messageNode and the message's parse would raise first:
    /// a broken rule (DomException), the Body's Fault (SoapFault), or the
    /// message handler's error. Does nothing for a sound envelope.
    void raise() const;

private:
    struct State;
    friend const XMLNode& messageNode(const XMLNode& root);
    SoapEnvelopeReader();
    std::unique_ptr<State> m_state;
};

} // namespace Kavella::Soa::Common::Xml
