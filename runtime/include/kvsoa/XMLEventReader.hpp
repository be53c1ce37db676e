#pragma once

#include <cstddef>
#include <iosfwd>
#include <memory>
#include <string_view>

#include "kvsoa/Export.hpp"
#include "kvsoa/XMLNode.hpp"

namespace Kavella::Soa::Common::Xml {

/// Limits that keep a hostile document from exhausting the stack, memory or
/// time: within them, reading costs time and memory in proportion to the
/// text. A document over a limit is refused with a DomException that names
/// the limit, at the start tag concerned. The defaults leave room for real
/// traffic many times over (a SOAP stack declares tens of namespaces on an
/// envelope; a message's elements carry a handful of attributes).
struct XMLReadLimits {
    /// Deepest element nesting accepted; the root is depth 1.
    std::size_t maxDepth = 256;
    /// Attributes on one element, namespace declarations included: the parser
    /// compares each with every other.
    std::size_t maxAttributes = 256;
    /// Namespace declarations in scope at one element, its own included: the
    /// parser looks a prefix up through all of them.
    std::size_t maxNamespaces = 256;
    /// Bytes in a name as written (element, attribute, prefix:local,
    /// processing-instruction target).
    std::size_t maxNameLength = 1024;
    /// Bytes in a namespace URI as written in its declaration.
    std::size_t maxUriLength = 4096;
    /// Distinct element and attribute names, prefixes, namespace URIs and
    /// processing-instruction targets in one document: beyond some thousands
    /// the parser's name table slows down with each new one.
    std::size_t maxDistinctNames = 10000;
};

/// Where a start tag begins: 1-based line and column (characters, not bytes).
struct XMLPosition {
    /// The line, from 1; 0 when unknown.
    int line = 0;
    /// The column in characters, from 1; 0 when unknown.
    int column = 0;
};

/// One start tag as the reader reports it. The views live for the call only.
struct XMLStartTag {
    /// Local name, without prefix.
    std::string_view name;
    /// Namespace URI; empty when the element has none.
    std::string_view uri;
    /// In document order, each with its local name and namespace URI.
    XMLAttributes attributes;
    /// The element's prefix as written; empty for none.
    std::string_view prefix{};
    /// The namespace declarations written on the tag, in document order: each
    /// with the prefix as name (empty for a default declaration) and the URI
    /// as value. (Both default, so that a tag made of its first parts is whole.)
    XMLAttributes namespaces{};
};

/// Receives the events of one document, in document order.
class KVSOA_API XMLEventHandler {
public:
    /// Handlers are not owned by the reader.
    virtual ~XMLEventHandler();
    /// A document begins: the first call of every read.
    virtual void startDocument() {}
    /// An element begins; the tag's views live for this call only.
    virtual void startElement(const XMLStartTag& tag) = 0;
    /// The innermost open element ends.
    virtual void endElement() = 0;
    /// Character data of the innermost open element, possibly in several pieces;
    /// CDATA sections and references resolved.
    virtual void characters(std::string_view text) = 0;
};

class XMLEventReaderImpl;

/// The strict, namespace-aware XML reader under XMLDocument and the direct
/// readers: UTF-8, UTF-16, ISO-8859-1 and US-ASCII; any other encoding is
/// refused ("encoding IBM037 is not supported"), and an XML declaration must
/// end within the document's first MiB. DOCTYPE declarations are refused as
/// soon as they start, so nothing beyond the text itself is ever read and no
/// entity but the predefined ones is expanded. Reading stops at the first
/// error, which is the one reported: nothing after it is looked at.
class KVSOA_API XMLEventReader {
public:
    /// The trace name each read() brackets the document with for a Monitor
    /// listener: the passes a program makes over its texts can be counted.
    static constexpr const char* traceName = "Kavella::Soa::Common::Xml::XMLEventReader::read";

    /// A reader that enforces limits on every document it reads.
    explicit XMLEventReader(const XMLReadLimits& limits = {});
    /// Frees the parser.
    ~XMLEventReader();
    XMLEventReader(const XMLEventReader&) = delete;
    XMLEventReader& operator=(const XMLEventReader&) = delete;

    /// Reports the events of text to handler. Malformed text raises DomException
    /// with line and column. When the handler throws, no further event reaches
    /// it, but the text is read to its end: malformed text is reported as such
    /// whatever the handler found first; otherwise the handler's exception passes on.
    void read(std::string_view text, XMLEventHandler& handler);

    /// The same for a document read from a stream as the parser needs it, a
    /// piece at a time, so that it is never held whole; what the buffer has
    /// ready is taken without waiting for more, and only its end (a read of
    /// nothing) ends the text. The stream's buffer is read directly: the
    /// stream's state and exception mask stay as they were.
    /// A stream that has failed already raises std::ios_base::failure, and so
    /// does whatever its buffer throws.
    void read(std::istream& text, XMLEventHandler& handler);

    /// For handlers, during their calls: read() reads no further and returns as
    /// if the text ended well there. Nothing after this event is looked at, so
    /// the rest of the text is neither judged nor paid for.
    void stop();

    /// For handlers, during their calls: the events after this one, to the end
    /// of this read, go to handler instead. A layer with nothing more to judge
    /// in a document steps out of the way of every event that follows.
    void handOver(XMLEventHandler& handler) noexcept;

    /// Where the innermost open element's start tag begins; for handlers, during
    /// their calls. Counted on demand, so a handler that asks only on error pays
    /// nothing for positions.
    XMLPosition elementPosition();

    /// Every namespace declaration in scope at the innermost open element,
    /// outermost first, as XMLStartTag::namespaces gives them (a later one
    /// with the same prefix hides an earlier one); for handlers, during their
    /// calls. The views live until the next call.
    XMLAttributes namespacesInScope();

private:
    std::unique_ptr<XMLEventReaderImpl> m_impl;
};

} // namespace Kavella::Soa::Common::Xml
