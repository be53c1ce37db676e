#include "kvsoa/XMLEventReader.hpp"

#include <expat.h>

#include <climits>
#include <cstring>
#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "PositionCounter.hpp"
#include "kvsoa/DomException.hpp"

namespace Kavella::Soa::Common::Xml {

namespace {

// Separates namespace URI and local name in the names expat reports. A URI
// cannot hold U+0001: XML 1.0 has no way to write it.
constexpr char namespaceSeparator = '\x01';
constexpr std::string_view utf8ByteOrderMark = "\xEF\xBB\xBF";

struct ParserDeleter {
    void operator()(XML_Parser parser) const { XML_ParserFree(parser); }
};

// Encoding names compare without regard to case (and to the process locale).
bool sameAsciiLetters(std::string_view a, std::string_view b)
{
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

/// Splits an expanded name into its URI (empty when none) and local name.
std::string_view splitName(const char* expanded, std::string_view& local)
{
    const std::string_view name(expanded);
    const auto separator = name.rfind(namespaceSeparator);
    if (separator == std::string_view::npos) {
        local = name;
        return {};
    }
    local = name.substr(separator + 1);
    return name.substr(0, separator);
}

} // namespace

XMLEventHandler::~XMLEventHandler() = default;

class XMLEventReaderImpl {
public:
    explicit XMLEventReaderImpl(const XMLReadLimits& limits)
        : m_limits(limits), m_parser(XML_ParserCreateNS(nullptr, namespaceSeparator))
    {
        if (!m_parser) throw std::bad_alloc();
        XML_SetUserData(m_parser.get(), this);
        XML_SetElementHandler(m_parser.get(), &XMLEventReaderImpl::onStart, &XMLEventReaderImpl::onEnd);
        XML_SetCharacterDataHandler(m_parser.get(), &XMLEventReaderImpl::onText);
        XML_SetStartDoctypeDeclHandler(m_parser.get(), &XMLEventReaderImpl::onDoctype);
        XML_SetXmlDeclHandler(m_parser.get(), &XMLEventReaderImpl::onXmlDeclaration);
        XML_SetParamEntityParsing(m_parser.get(), XML_PARAM_ENTITY_PARSING_NEVER);
    }

    void read(std::string_view text, XMLEventHandler& handler)
    {
        m_handler = &handler;
        m_input = text;
        const bool utf8Mark = text.substr(0, 3) == utf8ByteOrderMark;
        m_utf8ByteOrderMark = utf8Mark;
        // Other encodings (UTF-16 above all) keep expat's own counting.
        m_ownPositions = utf8Mark || (text.size() >= 2 && text[0] != '\0' && text[1] != '\0' &&
                                      static_cast<unsigned char>(text[0]) < 0x80);
        m_positionStart = utf8Mark ? utf8ByteOrderMark.size() : 0;
        m_positions = PositionCounter(m_positionStart);
        m_byteOrderMarkColumns = utf8Mark || text.substr(0, 2) == "\xFF\xFE" || text.substr(0, 2) == "\xFE\xFF";

        // expat takes int lengths; feed larger documents in pieces.
        constexpr std::size_t piece = INT_MAX / 2;
        do {
            const std::size_t length = text.size() < piece ? text.size() : piece;
            const bool last = length == text.size();
            if (XML_Parse(m_parser.get(), text.data(), static_cast<int>(length), last) != XML_STATUS_OK) fail();
            text.remove_prefix(length);
        } while (!text.empty());
        if (m_handlerError) std::rethrow_exception(m_handlerError);
    }

    XMLPosition elementPosition()
    {
        if (m_open.empty()) return {};
        const OpenElement& element = m_open.back();
        if (!m_ownPositions) return element.position;
        if (element.offset < m_positions.offset()) m_positions = PositionCounter(m_positionStart);
        m_positions.advance(m_input, element.offset);
        return {m_positions.line(), m_positions.column()};
    }

private:
    struct OpenElement {
        std::size_t offset;   // of its '<'
        XMLPosition position; // expat's, where positions are not counted here
    };

    [[noreturn]] void fail()
    {
        const int line = static_cast<int>(XML_GetCurrentLineNumber(m_parser.get()));
        int column = static_cast<int>(XML_GetCurrentColumnNumber(m_parser.get())) + 1;
        // expat counts a byte order mark as a character of the first line.
        if (line == 1) column -= m_byteOrderMarkColumns;
        std::string reason = m_stopReason.empty() ? XML_ErrorString(XML_GetErrorCode(m_parser.get())) : m_stopReason;
        throw DomException("Malformed XML at line " + std::to_string(line) + ", column " + std::to_string(column) +
                               ": " + reason,
                           line, column);
    }

    void stop(std::string reason)
    {
        if (m_stopReason.empty()) m_stopReason = std::move(reason);
        XML_StopParser(m_parser.get(), XML_FALSE);
    }

    /// Runs a handler call; what it throws is kept for the end of the text, and
    /// no later event reaches the handler.
    template <typename Call>
    void deliver(Call&& call) noexcept
    {
        if (m_handlerError) return;
        try {
            call();
        } catch (...) {
            m_handlerError = std::current_exception();
        }
    }

    static void onStart(void* self, const XML_Char* name, const XML_Char** attributes)
    {
        static_cast<XMLEventReaderImpl*>(self)->start(name, attributes);
    }
    static void onEnd(void* self, const XML_Char*) { static_cast<XMLEventReaderImpl*>(self)->end(); }
    static void onText(void* self, const XML_Char* text, int length)
    {
        auto& reader = *static_cast<XMLEventReaderImpl*>(self);
        if (reader.m_open.empty()) return;
        reader.deliver([&] { reader.m_handler->characters({text, static_cast<std::size_t>(length)}); });
    }
    static void onDoctype(void* self, const XML_Char*, const XML_Char*, const XML_Char*, int)
    {
        static_cast<XMLEventReaderImpl*>(self)->stop("a DOCTYPE declaration is not allowed in a message");
    }
    static void onXmlDeclaration(void* self, const XML_Char*, const XML_Char* encoding, int)
    {
        auto& reader = *static_cast<XMLEventReaderImpl*>(self);
        if (encoding && reader.m_utf8ByteOrderMark && !sameAsciiLetters(encoding, "UTF-8")) {
            reader.stop("the encoding declaration \"" + std::string(encoding) + "\" contradicts the UTF-8 byte order mark");
            return;
        }
        if (encoding && !sameAsciiLetters(encoding, "UTF-8") && !sameAsciiLetters(encoding, "US-ASCII")) {
            reader.m_ownPositions = false;
        }
    }

    void start(const char* name, const char** attributes)
    {
        if (m_open.size() >= m_limits.maxDepth) {
            stop("elements nested deeper than the limit of " + std::to_string(m_limits.maxDepth));
            return;
        }
        OpenElement element{static_cast<std::size_t>(XML_GetCurrentByteIndex(m_parser.get())), {}};
        if (!m_ownPositions) {
            element.position.line = static_cast<int>(XML_GetCurrentLineNumber(m_parser.get()));
            element.position.column = static_cast<int>(XML_GetCurrentColumnNumber(m_parser.get())) + 1;
            if (element.position.line == 1) element.position.column -= m_byteOrderMarkColumns;
        }
        m_open.push_back(element);
        if (m_handlerError) return;

        XMLStartTag tag;
        tag.uri = splitName(name, tag.name);
        std::size_t count = 0;
        while (attributes[2 * count]) ++count;
        m_attributes.resize(count);
        m_attributeNames.resize(count);
        for (std::size_t i = 0; i < count; ++i) {
            std::string_view local;
            const std::string_view uri = splitName(attributes[2 * i], local);
            if (uri.empty()) {
                m_attributes[i].name = local;
            } else {
                std::string& expanded = m_attributeNames[i];
                expanded.assign("{").append(uri).append("}").append(local);
                m_attributes[i].name = expanded;
            }
            m_attributes[i].value = attributes[2 * i + 1];
        }
        tag.attributes = XMLAttributes(m_attributes.data(), count);
        deliver([&] { m_handler->startElement(tag); });
    }

    void end()
    {
        // expat still reports the end of an element whose start was refused.
        if (m_open.empty()) return;
        deliver([&] { m_handler->endElement(); });
        m_open.pop_back();
    }

    const XMLReadLimits m_limits;
    std::unique_ptr<XML_ParserStruct, ParserDeleter> m_parser;
    XMLEventHandler* m_handler = nullptr;
    std::exception_ptr m_handlerError;
    std::string_view m_input;
    std::vector<OpenElement> m_open;
    std::vector<XMLAttribute> m_attributes;
    std::vector<std::string> m_attributeNames; // "{uri}local" of namespaced attributes
    std::string m_stopReason;
    PositionCounter m_positions{0};
    std::size_t m_positionStart = 0;
    bool m_ownPositions = false;
    bool m_utf8ByteOrderMark = false;
    int m_byteOrderMarkColumns = 0;
};

XMLEventReader::XMLEventReader(const XMLReadLimits& limits) : m_impl(std::make_unique<XMLEventReaderImpl>(limits)) {}

XMLEventReader::~XMLEventReader() = default;

void XMLEventReader::read(std::string_view text, XMLEventHandler& handler)
{
    m_impl->read(text, handler);
}

XMLPosition XMLEventReader::elementPosition()
{
    return m_impl->elementPosition();
}

} // namespace Kavella::Soa::Common::Xml
