#include "kvsoa/XMLDocument.hpp"

#include <expat.h>

#include <climits>
#include <cstring>
#include <memory>
#include <vector>

#include "kvsoa/DomException.hpp"
#include "kvsoa/Monitor.hpp"

namespace Kavella::Soa::Common::Xml {

namespace {

// Separates namespace URI and local name in the names expat reports. A URI
// cannot hold U+0001: XML 1.0 has no way to write it.
constexpr char namespaceSeparator = '\x01';
constexpr std::string_view utf8ByteOrderMark = "\xEF\xBB\xBF";

struct ParserDeleter {
    void operator()(XML_Parser parser) const { XML_ParserFree(parser); }
};

/// Line and column of a byte offset in UTF-8 input, counted forward from the
/// last offset asked for, as expat counts them (characters; CR, LF and CR LF
/// end a line). expat's own position functions scan from its last report on
/// every call, which costs more than the parse on big documents.
class PositionCounter {
public:
    explicit PositionCounter(std::size_t start) : m_offset(start) {}

    void advance(std::string_view input, std::size_t offset)
    {
        if (offset <= m_offset || offset > input.size()) return;
        const auto* byte = reinterpret_cast<const unsigned char*>(input.data()) + m_offset;
        const auto* end = reinterpret_cast<const unsigned char*>(input.data()) + offset;
        if (byte < end && m_afterCarriageReturn && *byte == '\n') ++byte;
        m_afterCarriageReturn = false;
        const std::size_t length = static_cast<std::size_t>(end - byte);
        if (!std::memchr(byte, '\n', length) && !std::memchr(byte, '\r', length)) {
            // The usual case, and all of a compact document: no line break.
            m_column += characters(byte, end);
            m_offset = offset;
            return;
        }
        int column = m_column;
        for (; byte < end; ++byte) {
            if (*byte <= '\r' && (*byte == '\n' || *byte == '\r')) {
                ++m_line;
                column = 0;
                if (*byte == '\r') {
                    if (byte + 1 == end) {
                        m_afterCarriageReturn = true;
                    } else if (byte[1] == '\n') {
                        ++byte;
                    }
                }
                continue;
            }
            column += (*byte & 0xC0) != 0x80; // UTF-8 continuation bytes add no column
        }
        m_column = column;
        m_offset = offset;
    }
    int line() const noexcept { return m_line; }
    /// UTF-8 characters in [byte, end): the bytes that are not continuation bytes.
    static int characters(const unsigned char* byte, const unsigned char* end) noexcept
    {
        std::size_t count = 0;
        for (; end - byte >= 8; byte += 8) {
            std::uint64_t word;
            std::memcpy(&word, byte, sizeof word);
            // A continuation byte is 10xxxxxx: top bit set, next bit clear.
            const std::uint64_t continuation = word & ~(word << 1) & 0x8080808080808080ull;
            count += 8 - static_cast<std::size_t>(__builtin_popcountll(continuation));
        }
        for (; byte < end; ++byte) count += (*byte & 0xC0) != 0x80;
        return static_cast<int>(count);
    }
    int column() const noexcept { return m_column + 1; }

private:
    std::size_t m_offset;
    int m_line = 1;
    int m_column = 0;
    bool m_afterCarriageReturn = false;
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

} // namespace

class XMLDocumentReader {
public:
    XMLDocumentReader(XMLDocument& document, const XMLReadLimits& limits)
        : m_document(document), m_limits(limits), m_parser(XML_ParserCreateNS(nullptr, namespaceSeparator)),
          m_traceSuppression(Monitor::isActive() ? 0u : 1u)
    {
        if (!m_parser) throw std::bad_alloc();
        XML_SetUserData(m_parser.get(), this);
        XML_SetElementHandler(m_parser.get(), &XMLDocumentReader::onStart, &XMLDocumentReader::onEnd);
        XML_SetCharacterDataHandler(m_parser.get(), &XMLDocumentReader::onText);
        XML_SetStartDoctypeDeclHandler(m_parser.get(), &XMLDocumentReader::onDoctype);
        XML_SetXmlDeclHandler(m_parser.get(), &XMLDocumentReader::onXmlDeclaration);
        XML_SetParamEntityParsing(m_parser.get(), XML_PARAM_ENTITY_PARSING_NEVER);
    }

    XMLNode* read(std::string_view text)
    {
        m_input = text;
        const bool utf8Mark = text.substr(0, 3) == utf8ByteOrderMark;
        m_utf8ByteOrderMark = utf8Mark;
        // Other encodings (UTF-16 above all) keep expat's own counting.
        m_ownPositions = utf8Mark || (text.size() >= 2 && text[0] != '\0' && text[1] != '\0' &&
                                      static_cast<unsigned char>(text[0]) < 0x80);
        m_positions = PositionCounter(utf8Mark ? utf8ByteOrderMark.size() : 0);
        m_byteOrderMarkColumns = utf8Mark || text.substr(0, 2) == "\xFF\xFE" || text.substr(0, 2) == "\xFE\xFF";

        // expat takes int lengths; feed larger documents in pieces.
        constexpr std::size_t piece = INT_MAX / 2;
        do {
            const std::size_t length = text.size() < piece ? text.size() : piece;
            const bool last = length == text.size();
            if (XML_Parse(m_parser.get(), text.data(), static_cast<int>(length), last) != XML_STATUS_OK) fail();
            text.remove_prefix(length);
        } while (!text.empty());
        return m_root;
    }

private:
    struct OpenElement {
        XMLNode* node;
        std::size_t firstChild; // where its children start in m_children
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

    void locate(XMLNode& node)
    {
        if (m_ownPositions) {
            m_positions.advance(m_input, static_cast<std::size_t>(XML_GetCurrentByteIndex(m_parser.get())));
            node.line = m_positions.line();
            node.column = m_positions.column();
        } else {
            node.line = static_cast<int>(XML_GetCurrentLineNumber(m_parser.get()));
            node.column = static_cast<int>(XML_GetCurrentColumnNumber(m_parser.get())) + 1;
            if (node.line == 1) node.column -= m_byteOrderMarkColumns;
        }
    }

    /// Splits an expanded name into its URI (empty when none) and local name.
    static std::string_view splitName(const char* expanded, std::string_view& local)
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

    std::string_view internUri(std::string_view uri)
    {
        if (uri.empty()) return {};
        if (uri == m_lastUri) return m_lastUri;
        auto found = m_document.m_uris.find(uri);
        if (found == m_document.m_uris.end()) found = m_document.m_uris.emplace(uri).first;
        m_lastUri = *found;
        return m_lastUri;
    }

    XMLNode& newNode()
    {
        constexpr std::size_t nodesPerBlock = 256;
        if (m_nodeSpace == 0) {
            m_document.m_nodeBlocks.push_back(std::make_unique<XMLNode[]>(nodesPerBlock));
            m_nextNode = m_document.m_nodeBlocks.back().get();
            m_nodeSpace = nodesPerBlock;
        }
        --m_nodeSpace;
        ++m_document.m_size;
        return *m_nextNode++;
    }

    XMLAttribute* newAttributes(std::size_t count)
    {
        constexpr std::size_t attributesPerBlock = 1024;
        if (count > m_attributeSpace) {
            const std::size_t size = count > attributesPerBlock / 4 ? count : attributesPerBlock;
            m_document.m_attributeBlocks.push_back(std::make_unique<XMLAttribute[]>(size));
            m_nextAttribute = m_document.m_attributeBlocks.back().get();
            m_attributeSpace = size;
        }
        XMLAttribute* attributes = m_nextAttribute;
        m_nextAttribute += count;
        m_attributeSpace -= count;
        return attributes;
    }

    /// A copy of text that lives as long as the document, from big shared blocks.
    std::string_view keep(std::string_view text)
    {
        if (text.empty()) return {};
        if (text.size() > m_textSpace) {
            constexpr std::size_t blockSize = 64 * 1024;
            const std::size_t size = text.size() > blockSize / 4 ? text.size() : blockSize;
            m_document.m_texts.push_back(std::make_unique<char[]>(size));
            m_textCursor = m_document.m_texts.back().get();
            m_textSpace = size;
        }
        char* copy = m_textCursor;
        std::memcpy(copy, text.data(), text.size());
        m_textCursor += text.size();
        m_textSpace -= text.size();
        return {copy, text.size()};
    }

    static void onStart(void* self, const XML_Char* name, const XML_Char** attributes)
    {
        static_cast<XMLDocumentReader*>(self)->start(name, attributes);
    }
    static void onEnd(void* self, const XML_Char*) { static_cast<XMLDocumentReader*>(self)->end(); }
    static void onText(void* self, const XML_Char* text, int length)
    {
        auto& reader = *static_cast<XMLDocumentReader*>(self);
        if (!reader.m_open.empty()) reader.m_open.back().node->text.append(text, static_cast<std::size_t>(length));
    }
    static void onDoctype(void* self, const XML_Char*, const XML_Char*, const XML_Char*, int)
    {
        static_cast<XMLDocumentReader*>(self)->stop("a DOCTYPE declaration is not allowed in a message");
    }
    static void onXmlDeclaration(void* self, const XML_Char*, const XML_Char* encoding, int)
    {
        auto& reader = *static_cast<XMLDocumentReader*>(self);
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
        XMLNode& node = newNode();
        std::string_view local;
        node.uri = internUri(splitName(name, local));
        node.name.assign(local);
        node.traceSuppression = m_traceSuppression;
        locate(node);

        std::size_t count = 0;
        while (attributes[2 * count]) ++count;
        if (count > 0) {
            XMLAttribute* kept = newAttributes(count);
            for (std::size_t i = 0; i < count; ++i) {
                const std::string_view uri = splitName(attributes[2 * i], local);
                kept[i].name = uri.empty() ? keep(local) : keep("{" + std::string(uri) + "}" + std::string(local));
                kept[i].value = keep(attributes[2 * i + 1]);
            }
            node.m_attributes.m_begin = kept;
            node.m_attributes.m_size = count;
        }

        if (m_open.empty()) m_root = &node;
        m_children.push_back(&node); // as a child of the element around it
        m_open.push_back({&node, m_children.size()});
    }

    void end()
    {
        // expat still reports the end of an element whose start was refused.
        if (m_open.empty()) return;
        const OpenElement element = m_open.back();
        m_open.pop_back();
        // Gathered here and copied once: no vector grows child by child.
        element.node->children.assign(m_children.begin() + static_cast<std::ptrdiff_t>(element.firstChild),
                                      m_children.end());
        m_children.resize(element.firstChild);
    }

    XMLDocument& m_document;
    const XMLReadLimits& m_limits;
    std::unique_ptr<XML_ParserStruct, ParserDeleter> m_parser;
    std::string_view m_input;
    std::vector<OpenElement> m_open;
    std::vector<XMLNode*> m_children;
    XMLNode* m_root = nullptr;
    std::string_view m_lastUri;
    XMLNode* m_nextNode = nullptr;
    std::size_t m_nodeSpace = 0;
    XMLAttribute* m_nextAttribute = nullptr;
    std::size_t m_attributeSpace = 0;
    char* m_textCursor = nullptr;
    std::size_t m_textSpace = 0;
    std::string m_stopReason;
    PositionCounter m_positions{0};
    bool m_ownPositions = false;
    bool m_utf8ByteOrderMark = false;
    int m_byteOrderMarkColumns = 0;
    std::uint32_t m_traceSuppression;
};

XMLDocument::XMLDocument(const std::string& xmlText)
{
    read(xmlText, XMLReadLimits{});
}

XMLDocument::XMLDocument(std::string_view xmlText, const XMLReadLimits& limits)
{
    read(xmlText, limits);
}

XMLDocument::~XMLDocument() = default;

void XMLDocument::read(std::string_view xmlText, const XMLReadLimits& limits)
{
    XMLDocumentReader reader(*this, limits);
    m_root = reader.read(xmlText);
}

} // namespace Kavella::Soa::Common::Xml
