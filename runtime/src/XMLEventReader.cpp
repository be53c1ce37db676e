// The event reader over libxml2's SAX2 parser. libxml2 reads the decoded UTF-8
// text (DocumentInput) a piece at a time with its own declaration ignored, and
// only as much of it as passed the limits (MarkupLimits), so that it never
// spends more than linear time. Positions are counted on that text
// (PositionCounter), in characters as expat counts them.

#include "kvsoa/XMLEventReader.hpp"

#include <libxml/parser.h>
#include <libxml/parserInternals.h>
#include <libxml/dict.h>
#include <libxml/xmlerror.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <exception>
#include <istream>
#include <mutex>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "kvsoa/DomException.hpp"
#include "reader/DocumentInput.hpp"
#include "reader/MarkupLimits.hpp"
#include "reader/ParserErrors.hpp"
#include "reader/PositionCounter.hpp"
#include "reader/TextDecoder.hpp"

namespace Kavella::Soa::Common::Xml {

XMLEventHandler::~XMLEventHandler() = default;

namespace {

// What libxml2 reports without a parser at hand would go to standard error,
// which a library never writes to; the calling thread's handler is restored.
class QuietGenericErrors {
public:
    QuietGenericErrors() : m_handler(xmlGenericError), m_context(xmlGenericErrorContext)
    {
        xmlSetGenericErrorFunc(nullptr, &ignore);
    }
    ~QuietGenericErrors() { xmlSetGenericErrorFunc(m_context, m_handler); }
    QuietGenericErrors(const QuietGenericErrors&) = delete;
    QuietGenericErrors& operator=(const QuietGenericErrors&) = delete;

private:
    static void ignore(void*, const char*, ...) {}
    xmlGenericErrorFunc m_handler;
    void* m_context;
};

} // namespace

class XMLEventReaderImpl : private detail::WindowKeeper {
public:
    explicit XMLEventReaderImpl(const XMLReadLimits& limits) : m_limits(limits), m_input(m_limits, *this)
    {
        static std::once_flag initialised;
        std::call_once(initialised, xmlInitParser);
    }

    template <class Source>
    void read(Source& source, XMLEventHandler& handler);

    void stop()
    {
        if (!m_context || m_failed) return;
        m_stopped = true;
        xmlStopParser(m_context);
    }

    XMLPosition elementPosition()
    {
        if (m_open.empty()) return {};
        OpenElement& element = m_open.back();
        if (element.position.line == 0) element.position = positionAt(element.offset);
        return element.position;
    }

private:
    struct OpenElement {
        std::size_t offset; // of its '<'
        XMLPosition position;
    };

    struct ContextDeleter {
        void operator()(xmlParserCtxtPtr context) const { xmlFreeParserCtxt(context); }
    };

    XMLPosition positionAt(std::size_t offset)
    {
        // Open elements are placed before their text goes; nothing else is asked for so far back.
        return m_positions.at(std::max(offset, m_input.windowStart()), m_input.window(), m_input.windowStart());
    }

    // The window is about to let go of the text before keepFrom: the open
    // elements that start there are placed now, for a handler that asks later.
    std::size_t letGo(std::size_t keepFrom) override
    {
        for (; m_placed < m_open.size() && m_open[m_placed].offset < keepFrom; ++m_placed) {
            OpenElement& element = m_open[m_placed];
            if (element.position.line == 0) element.position = positionAt(element.offset);
        }
        return m_positions.keepFrom(keepFrom, m_input.window(), m_input.windowStart());
    }

    [[noreturn]] void fail(std::size_t offset, const std::string& reason) { fail(positionAt(offset), reason); }

    [[noreturn]] void fail(XMLPosition where, const std::string& reason)
    {
        throw DomException("Malformed XML at line " + std::to_string(where.line) + ", column " +
                               std::to_string(where.column) + ": " + reason,
                           where.line, where.column);
    }

    /// Where libxml2 is, in offsets of the decoded text.
    std::size_t cursor() const
    {
        if (!m_context || !m_context->input) return m_input.given();
        const xmlParserInput& input = *m_context->input;
        const std::string_view whole = m_input.wholeText();
        if (whole.data()) {
            const auto* begin = reinterpret_cast<const xmlChar*>(whole.data());
            // Once stopped, libxml2 points its input at a static empty text.
            if (input.cur < begin || input.cur > begin + whole.size()) return m_input.given();
            return static_cast<std::size_t>(input.cur - begin);
        }
        // Once stopped, libxml2 has let its input go.
        if (!input.buf || input.cur < input.base || input.cur > input.end) return m_input.given();
        return static_cast<std::size_t>(input.consumed) + static_cast<std::size_t>(input.cur - input.base);
    }

    detail::TextWindow window() const { return {m_input.window(), m_input.windowStart()}; }
    std::string_view textFrom(std::size_t offset) const { return window().from(offset); }
    std::size_t back(std::size_t offset, char c) const { return window().back(offset, c); }

    void refuse(std::size_t offset, std::string reason)
    {
        if (m_failed) return;
        m_failed = true;
        m_errorOffset = offset;
        m_errorPosition = positionAt(offset);
        m_errorReason = std::move(reason);
        xmlStopParser(m_context);
    }

    /// After the first error nothing is worth reading: the text the parser
    /// holds past its cursor is blanked, which it takes for the end, and
    /// onRead hands over no more. Stopping the parser outright from inside its
    /// error report would free the buffer that the reporting code still reads.
    void haltAfterError()
    {
        if (!m_context || !m_context->input) return;
        xmlParserInput& input = *m_context->input;
        if (input.cur && input.end && input.cur < input.end)
            std::memset(const_cast<xmlChar*>(input.cur), 0, static_cast<std::size_t>(input.end - input.cur));
    }

    /// Where the first error is placed, counted before the window moves on.
    void placeError(std::size_t offset, std::string reason)
    {
        m_errorOffset = offset;
        m_errorPosition = positionAt(offset);
        m_errorReason = std::move(reason);
    }

    /// Refuses at offset when the document's names, prefixes, URIs and targets
    /// are more than the limit: libxml2's name dictionary stops growing, so
    /// each one beyond would cost more than the one before. Checked at every
    /// event; between two, one start tag adds at most its attributes' worth.
    bool tooManyNames(std::size_t offset)
    {
        const auto names = static_cast<std::size_t>(xmlDictSize(m_context->dict));
        if (names <= m_namesBefore + m_limits.maxDistinctNames) return false;
        refuse(offset, detail::tooManyDistinctNames(m_limits.maxDistinctNames));
        return true;
    }

    void parse(XMLEventHandler& handler);

    static XMLEventReaderImpl& self(void* data) { return *static_cast<XMLEventReaderImpl*>(data); }
    static int onRead(void* data, char* buffer, int size);
    static void onStart(void* data, const xmlChar* localname, const xmlChar*, const xmlChar* uri, int,
                        const xmlChar**, int attributeCount, int, const xmlChar** attributes);
    static void onEnd(void* data, const xmlChar*, const xmlChar*, const xmlChar*);
    static void onCharacters(void* data, const xmlChar* text, int length);
    static void onDoctype(void* data, const xmlChar*, const xmlChar*, const xmlChar*);
    static void onProcessingInstruction(void* data, const xmlChar*, const xmlChar* content);
    static void onError(void* data, xmlErrorPtr error);
    void describeError(const xmlError& error, std::size_t offset);
    std::size_t contentStart(std::size_t end, std::string_view content) const;

    const XMLReadLimits m_limits;
    detail::DocumentInput m_input;
    detail::PositionCounter m_positions;
    std::size_t m_namesBefore = 0; // in a new parser's dictionary
    xmlParserCtxtPtr m_context = nullptr; // while reading
    XMLEventHandler* m_handler = nullptr;
    std::vector<OpenElement> m_open;
    std::size_t m_placed = 0; // open elements below this one have their position
    struct Piece {
        std::string_view* view;
        std::size_t start, size;
    };
    std::vector<XMLAttribute> m_attributes;
    std::string m_scratch;
    std::vector<Piece> m_pieces;
    std::exception_ptr m_handlerError;
    std::exception_ptr m_inputError;
    bool m_failed = false;
    bool m_stopped = false; // by the handler
    XMLPosition m_errorPosition;
    std::size_t m_errorOffset = 0; // where the first error is placed
    std::string m_errorReason;
    bool m_outOfMemory = false;
};
void XMLEventReaderImpl::onStart(void* data, const xmlChar* localname, const xmlChar*, const xmlChar* uri, int,
                                 const xmlChar**, int attributeCount, int, const xmlChar** attributes)
{
    XMLEventReaderImpl& reader = self(data);
    if (reader.m_failed) {
        xmlStopParser(reader.m_context);
        return;
    }
    const std::size_t at = reader.back(reader.cursor(), '<');
    if (reader.tooManyNames(at)) return;
    if (reader.m_open.size() >= reader.m_limits.maxDepth) {
        reader.refuse(at, "elements nested deeper than the limit of " + std::to_string(reader.m_limits.maxDepth));
        return;
    }
    reader.m_open.push_back({at, {}});
    if (reader.m_handlerError) return;
    try {
        const auto count = static_cast<std::size_t>(attributeCount);
        reader.m_attributes.resize(count);
        reader.m_pieces.clear();
        // Values that need decoding are laid out first, and viewed once the
        // text no longer moves.
        std::string& scratch = reader.m_scratch;
        scratch.clear();
        const auto text = [](const xmlChar* chars) { return std::string_view(reinterpret_cast<const char*>(chars)); };
        for (std::size_t i = 0; i < count; ++i) {
            const xmlChar* const* attribute = attributes + 5 * i;
            XMLAttribute& kept = reader.m_attributes[i];
            kept.name = text(attribute[0]);
            kept.uri = attribute[2] ? text(attribute[2]) : std::string_view();
            kept.value = std::string_view(reinterpret_cast<const char*>(attribute[3]),
                                          static_cast<std::size_t>(attribute[4] - attribute[3]));
            // Left unreplaced, libxml2 hands an ampersand in a value on as "&#38;".
            const std::string_view value = kept.value;
            if (value.find('&') == std::string_view::npos) continue;
            const std::size_t start = scratch.size();
            for (std::size_t at = 0; at < value.size();) {
                const std::size_t amp = value.find("&#38;", at);
                scratch.append(value.substr(at, amp - at));
                if (amp == std::string_view::npos) break;
                scratch += '&';
                at = amp + 5;
            }
            reader.m_pieces.push_back({&kept.value, start, scratch.size() - start});
        }
        for (const Piece& piece : reader.m_pieces) *piece.view = std::string_view(scratch).substr(piece.start, piece.size);
        XMLStartTag tag;
        tag.name = reinterpret_cast<const char*>(localname);
        if (uri) tag.uri = reinterpret_cast<const char*>(uri);
        tag.attributes = XMLAttributes(reader.m_attributes.data(), count);
        reader.m_handler->startElement(tag);
    } catch (...) {
        reader.m_handlerError = std::current_exception();
    }
}

void XMLEventReaderImpl::onEnd(void* data, const xmlChar*, const xmlChar*, const xmlChar*)
{
    XMLEventReaderImpl& reader = self(data);
    if (reader.m_failed) {
        xmlStopParser(reader.m_context);
        return;
    }
    if (reader.m_open.empty()) return;
    // The element is still the innermost one for the handler's call.
    if (!reader.m_handlerError) {
        try {
            reader.m_handler->endElement();
        } catch (...) {
            reader.m_handlerError = std::current_exception();
        }
    }
    reader.m_open.pop_back();
    reader.m_placed = std::min(reader.m_placed, reader.m_open.size());
}

void XMLEventReaderImpl::onCharacters(void* data, const xmlChar* text, int length)
{
    XMLEventReaderImpl& reader = self(data);
    if (reader.m_failed) {
        xmlStopParser(reader.m_context);
        return;
    }
    if (reader.m_handlerError || reader.m_open.empty()) return;
    try {
        reader.m_handler->characters(std::string_view(reinterpret_cast<const char*>(text), static_cast<std::size_t>(length)));
    } catch (...) {
        reader.m_handlerError = std::current_exception();
    }
}

void XMLEventReaderImpl::onDoctype(void* data, const xmlChar*, const xmlChar*, const xmlChar*)
{
    // Called once the name and external identifiers are read, before anything
    // in the internal subset; the declaration starts at the last "<!DOCTYPE".
    XMLEventReaderImpl& reader = self(data);
    std::size_t at = reader.cursor();
    for (std::size_t open = reader.back(at, '<'); open < at; open = reader.back(open, '<')) {
        if (reader.textFrom(open).substr(0, 9) == "<!DOCTYPE") {
            at = open;
            break;
        }
    }
    reader.refuse(at, "a DOCTYPE declaration is not allowed in a message");
}

void XMLEventReaderImpl::onProcessingInstruction(void* data, const xmlChar*, const xmlChar* content)
{
    XMLEventReaderImpl& reader = self(data);
    if (reader.m_failed) return;
    // Called past "?>"; before the content stand only the target and spaces.
    const std::size_t end = reader.cursor();
    const std::size_t contentStart =
        reader.contentStart(end >= 2 ? end - 2 : 0, content ? reinterpret_cast<const char*>(content) : "");
    reader.tooManyNames(reader.back(contentStart, '<'));
}

std::size_t XMLEventReaderImpl::contentStart(std::size_t end, std::string_view content) const
{
    // The parser gives the content with each CR LF and lone CR as LF: walked
    // back over the text as written, it starts where the content runs out.
    const detail::TextWindow text = window();
    std::size_t at = end;
    for (std::size_t left = content.size(); left > 0 && at > text.start; --left) {
        --at;
        if (content[left - 1] == '\n' && text.text[at - text.start] == '\n' && at > text.start &&
            text.text[at - 1 - text.start] == '\r') {
            --at;
        }
    }
    return at;
}

void XMLEventReaderImpl::onError(void* data, xmlErrorPtr error)
{
    XMLEventReaderImpl& reader = self(data);
    if (!error) return;
    if (error->code == XML_ERR_NO_MEMORY) reader.m_outOfMemory = true;
    if (reader.m_failed) return;
    // Warnings about what XML and its namespaces allow: expat reads these.
    if (error->code == XML_WAR_NS_URI || error->code == XML_WAR_NS_URI_RELATIVE ||
        error->code == XML_WAR_UNKNOWN_VERSION || error->code == XML_WAR_SPACE_VALUE ||
        (error->code == XML_ERR_RESERVED_XML_NAME && error->level == XML_ERR_WARNING)) {
        return;
    }
    reader.m_failed = true;
    const std::size_t offset = reader.cursor();
    reader.describeError(*error, offset);
    reader.haltAfterError();
}

void XMLEventReaderImpl::describeError(const xmlError& error, std::size_t offset)
{
    if (m_input.unreadableAt(offset)) return placeError(offset, "not well-formed (invalid token)");
    const std::size_t at = detail::errorOffset(error, offset, window());
    if (error.code == XML_ERR_DOCUMENT_EMPTY && !textFrom(offset).empty()) {
        return placeError(at, "not well-formed: " + detail::describeCharacter(textFrom(offset)) +
                                  " where the document element must start");
    }
    if (error.code == XML_ERR_TAG_NOT_FINISHED && !m_open.empty()) {
        // Name the element left open, and where it opened.
        const XMLPosition opened = elementPosition();
        const char* name = m_context && m_context->name ? reinterpret_cast<const char*>(m_context->name) : "";
        return placeError(at, "no element found: the text ends inside element \"" + std::string(name) +
                                  "\", opened at line " + std::to_string(opened.line) + ", column " +
                                  std::to_string(opened.column));
    }
    if (const char* expatReason = detail::expatWording(error)) return placeError(at, expatReason);
    // The first line: libxml2 goes on with the bytes around an encoding error.
    std::string reason = error.message ? error.message : "not well-formed";
    reason.erase(std::min(reason.find('\n'), reason.size()));
    placeError(at, std::move(reason));
}

int XMLEventReaderImpl::onRead(void* data, char* buffer, int size)
{
    XMLEventReaderImpl& reader = self(data);
    if (reader.m_inputError || size <= 0) return -1;
    if (reader.m_failed) return 0; // nothing past the first error is read
    try {
        const std::size_t start = reader.m_context && reader.m_context->input && reader.m_context->input->buf
                                      ? static_cast<std::size_t>(reader.m_context->input->consumed)
                                      : 0;
        return static_cast<int>(reader.m_input.fill(buffer, static_cast<std::size_t>(size), start));
    } catch (...) {
        // Not through libxml2's C frames: rethrown once it has returned.
        reader.m_inputError = std::current_exception();
        return -1;
    }
}

template <class Source>
void XMLEventReaderImpl::read(Source& source, XMLEventHandler& handler)
{
    m_open.clear();
    m_placed = 0;
    m_failed = false;
    m_stopped = false;
    m_outOfMemory = false;
    m_handlerError = nullptr;
    m_inputError = nullptr;
    m_errorReason.clear();
    m_positions.reset();
    handler.startDocument();
    // Nothing of a document is kept once read.
    struct Release {
        detail::DocumentInput& input;
        ~Release() { input.release(); }
    } release{m_input};

    detail::Refusal refusal;
    if (!m_input.open(source, refusal)) fail(refusal.offset, refusal.reason);
    parse(handler);
}

void XMLEventReaderImpl::parse(XMLEventHandler& handler)
{
    const std::unique_ptr<xmlParserCtxt, ContextDeleter> context(xmlNewParserCtxt());
    if (!context) throw std::bad_alloc();
    m_context = context.get();
    struct Forget {
        xmlParserCtxtPtr& context;
        ~Forget() { context = nullptr; }
    } forget{m_context};
    xmlCtxtUseOptions(m_context, XML_PARSE_NONET | XML_PARSE_HUGE | XML_PARSE_IGNORE_ENC | XML_PARSE_OLD10);
    m_namesBefore = static_cast<std::size_t>(xmlDictSize(m_context->dict));
    xmlSAXHandler& sax = *m_context->sax;
    std::memset(&sax, 0, sizeof sax);
    sax.initialized = XML_SAX2_MAGIC;
    sax.startElementNs = &XMLEventReaderImpl::onStart;
    sax.endElementNs = &XMLEventReaderImpl::onEnd;
    sax.characters = &XMLEventReaderImpl::onCharacters;
    sax.ignorableWhitespace = &XMLEventReaderImpl::onCharacters;
    sax.internalSubset = &XMLEventReaderImpl::onDoctype;
    sax.processingInstruction = &XMLEventReaderImpl::onProcessingInstruction;
    sax.serror = &XMLEventReaderImpl::onError;
    m_context->userData = this;
    m_handler = &handler;

    xmlParserInputPtr input = nullptr;
    const std::string_view whole = m_input.wholeText();
    if (whole.data()) {
        // Parsed in place: an input with no buffer behind it is never grown or copied.
        input = xmlNewInputStream(m_context);
        if (!input) throw std::bad_alloc();
        input->base = input->cur = reinterpret_cast<const xmlChar*>(whole.data());
        input->end = input->base + whole.size();
        input->length = static_cast<int>(whole.size());
    } else {
        // libxml2 pulls the text through onRead and keeps only the part it is on.
        xmlParserInputBufferPtr buffer =
            xmlParserInputBufferCreateIO(&XMLEventReaderImpl::onRead, nullptr, this, XML_CHAR_ENCODING_NONE);
        if (!buffer) throw std::bad_alloc();
        input = xmlNewIOInputStream(m_context, buffer, XML_CHAR_ENCODING_NONE);
        if (!input) {
            xmlFreeParserInputBuffer(buffer);
            throw std::bad_alloc();
        }
    }
    if (inputPush(m_context, input) < 0) {
        xmlFreeInputStream(input);
        throw std::bad_alloc();
    }
    // The text is UTF-8, decoded and judged: the parser must not pick an encoding
    // from its first bytes on its own.
    m_context->encoding = xmlStrdup(reinterpret_cast<const xmlChar*>("UTF-8"));
    if (!m_context->encoding) throw std::bad_alloc();
    {
        const QuietGenericErrors quiet;
        xmlParseDocument(m_context);
    }
    if (m_outOfMemory) throw std::bad_alloc();
    if (m_inputError) std::rethrow_exception(m_inputError);
    if (m_stopped && !m_failed) {
        m_open.clear();
        if (m_handlerError) std::rethrow_exception(m_handlerError);
        return;
    }
    if (!m_failed && !m_context->wellFormed) {
        m_failed = true;
        placeError(cursor(), "not well-formed");
    }
    const std::optional<detail::Refusal>& excess = m_input.limitExcess();
    if (excess && (!m_failed || m_errorOffset >= excess->offset)) {
        // What libxml2 found at the end of its part is only the cut; an error
        // before it is the first.
        m_open.clear();
        fail(excess->offset, excess->reason);
    }
    if (m_failed) {
        m_open.clear();
        fail(m_errorPosition, m_errorReason);
    }
    if (m_handlerError) std::rethrow_exception(m_handlerError);
}

XMLEventReader::XMLEventReader(const XMLReadLimits& limits) : m_impl(std::make_unique<XMLEventReaderImpl>(limits)) {}

XMLEventReader::~XMLEventReader() = default;

void XMLEventReader::read(std::string_view text, XMLEventHandler& handler)
{
    m_impl->read(text, handler);
}

void XMLEventReader::read(std::istream& text, XMLEventHandler& handler)
{
    m_impl->read(text, handler);
}

void XMLEventReader::stop()
{
    m_impl->stop();
}

XMLPosition XMLEventReader::elementPosition()
{
    return m_impl->elementPosition();
}

} // namespace Kavella::Soa::Common::Xml
