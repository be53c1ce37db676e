// The event reader over libxml2's SAX2 parser. libxml2 reads the decoded UTF-8
// text (DocumentInput) a piece at a time with its own declaration ignored, and
// only as much of it as passed the limits (MarkupLimits), so that it never
// spends more than linear time; its callbacks are in SaxCallbacks.cpp.
// Positions are counted on that text (PositionCounter), in characters as expat
// counts them.

#include "kvsoa/XMLEventReader.hpp"

#include <istream>
#include <memory>
#include <new>
#include <optional>

#include "EventReaderImpl.hpp"
#include "kvsoa/Monitor.hpp"

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
    if (excess && (!m_failed || m_errorOffset >= std::max(excess->offset, excess->givenTo))) {
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

namespace {

template <class Text>
void tracedRead(XMLEventReaderImpl& impl, Text& text, XMLEventHandler& handler)
{
    MonitorListener* const heard = Monitor::isActive() ? Monitor::markStartHeard(XMLEventReader::traceName) : nullptr;
    impl.read(text, handler);
    if (heard) Monitor::markEnd(heard, XMLEventReader::traceName);
}

} // namespace

void XMLEventReader::read(std::string_view text, XMLEventHandler& handler)
{
    tracedRead(*m_impl, text, handler);
}

void XMLEventReader::read(std::istream& text, XMLEventHandler& handler)
{
    tracedRead(*m_impl, text, handler);
}

void XMLEventReader::stop()
{
    m_impl->stop();
}

void XMLEventReader::handOver(XMLEventHandler& handler) noexcept
{
    m_impl->handOver(handler);
}

XMLPosition XMLEventReader::elementPosition()
{
    return m_impl->elementPosition();
}

XMLAttributes XMLEventReader::namespacesInScope()
{
    return m_impl->namespacesInScope();
}

} // namespace Kavella::Soa::Common::Xml
