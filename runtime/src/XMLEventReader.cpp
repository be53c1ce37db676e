// The event reader over libxml2's SAX2 parser. libxml2 sees UTF-8 only: the
// text is decoded here first (UTF-16, ISO-8859-1, US-ASCII), with exactly the
// encodings, byte order marks and declarations the expat reader accepts, and
// parsed with its own declaration ignored. Positions are counted here, on
// that UTF-8 text, in characters as expat counts them.

#include "kvsoa/XMLEventReader.hpp"

#include <libxml/parser.h>
#include <libxml/parserInternals.h>
#include <libxml/xmlerror.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <exception>
#include <mutex>
#include <new>
#include <string>
#include <vector>

#include "kvsoa/DomException.hpp"

namespace Kavella::Soa::Common::Xml {

namespace {

// Stands in for every byte that cannot be read (a NUL, a character the
// declared encoding cannot hold, a lone surrogate): not UTF-8 anywhere, so
// libxml2 stops right there, and it is where expat stops too.
constexpr char unreadable = '\xFF';

bool sameAsciiLetters(std::string_view a, std::string_view b)
{
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

void appendUtf8(std::string& out, unsigned code)
{
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (code >> 18));
        out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

/// UTF-8 characters in [byte, end): the bytes that are not continuation bytes.
std::size_t characters(const unsigned char* byte, const unsigned char* end) noexcept
{
    std::size_t count = 0;
    for (; end - byte >= 8; byte += 8) {
        std::uint64_t word;
        std::memcpy(&word, byte, sizeof word);
        // ASCII needs no count.
        if ((word & 0x8080808080808080ull) == 0) {
            count += 8;
            continue;
        }
        // A continuation byte is 10xxxxxx: top bit set, next bit clear.
        const std::uint64_t continuation = word & ~(word << 1) & 0x8080808080808080ull;
        // One bit per byte at most: a multiply sums them without a popcount instruction.
        count += 8 - static_cast<std::size_t>(((continuation >> 7) * 0x0101010101010101ull) >> 56);
    }
    for (; byte < end; ++byte) count += (*byte & 0xC0) != 0x80;
    return count;
}

/// Line and column of byte offsets in UTF-8 text, as expat counts them
/// (characters; CR, LF and CR LF end a line). Offsets asked for in order cost
/// one pass over the text; an earlier one is counted back from the last.
class PositionCounter {
public:
    void reset(std::string_view text)
    {
        m_text = reinterpret_cast<const unsigned char*>(text.data());
        m_size = text.size();
        m_offset = 0;
        m_line = 1;
        m_column = 0;
    }

    XMLPosition at(std::size_t offset)
    {
        if (offset > m_size) offset = m_size;
        if (offset >= m_offset) {
            forward(offset);
            return {m_line, m_column + 1};
        }
        // Back to the start of the line that holds the offset, then forward.
        const unsigned char* begin = m_text + offset;
        int breaks = 0;
        for (const unsigned char* byte = begin; byte < m_text + m_offset; ++byte) {
            if (*byte == '\n') ++breaks;
            else if (*byte == '\r' && !(byte + 1 < m_text + m_size && byte[1] == '\n')) ++breaks;
        }
        if (breaks == 0) {
            return {m_line, m_column + 1 - static_cast<int>(characters(begin, m_text + m_offset))};
        }
        const unsigned char* lineStart = begin;
        while (lineStart > m_text && lineStart[-1] != '\n' && lineStart[-1] != '\r') --lineStart;
        return {m_line - breaks, static_cast<int>(characters(lineStart, begin)) + 1};
    }

private:
    void forward(std::size_t offset)
    {
        const unsigned char* byte = m_text + m_offset;
        const unsigned char* end = m_text + offset;
        const std::size_t length = static_cast<std::size_t>(end - byte);
        if (!std::memchr(byte, '\n', length) && !std::memchr(byte, '\r', length)) {
            // The usual case, and all of a compact document: no line break.
            m_column += static_cast<int>(characters(byte, end));
            m_offset = offset;
            return;
        }
        int column = m_column;
        for (; byte < end; ++byte) {
            if (*byte == '\n' || (*byte == '\r' && !(byte + 1 < m_text + m_size && byte[1] == '\n'))) {
                ++m_line;
                column = 0;
            } else if (*byte != '\r') {
                column += (*byte & 0xC0) != 0x80; // continuation bytes add no column
            }
        }
        m_column = column;
        m_offset = offset;
    }

    const unsigned char* m_text = nullptr;
    std::size_t m_size = 0;
    std::size_t m_offset = 0;
    int m_line = 1;
    int m_column = 0;
};

/// expat's words for the errors both parsers find, so that a message does not
/// depend on the parser underneath; null where libxml2's own say more.
const char* expatWording(const xmlError& error)
{
    switch (error.code) {
    case XML_ERR_DOCUMENT_EMPTY:
    case XML_ERR_TAG_NOT_FINISHED:
        return "no element found";
    case XML_ERR_TAG_NAME_MISMATCH:
        return "mismatched tag";
    case XML_ERR_ATTRIBUTE_REDEFINED:
    case XML_NS_ERR_ATTRIBUTE_REDEFINED:
        return "duplicate attribute";
    case XML_ERR_DOCUMENT_END:
        return "junk after document element";
    case XML_ERR_UNDECLARED_ENTITY:
    case XML_WAR_UNDECLARED_ENTITY:
        return "undefined entity";
    case XML_ERR_INVALID_CHARREF:
        return "reference to invalid character number";
    case XML_ERR_INVALID_CHAR:
        if (error.message && std::strncmp(error.message, "xmlParseCharRef", 15) == 0)
            return "reference to invalid character number";
        return "not well-formed (invalid token)";
    case XML_ERR_INVALID_ENCODING:
        return "not well-formed (invalid token)";
    case XML_NS_ERR_UNDEFINED_NAMESPACE:
        return "unbound prefix";
    case XML_ERR_RESERVED_XML_NAME:
        return "XML or text declaration not at start of entity";
    case XML_ERR_CDATA_NOT_FINISHED:
        return "unclosed CDATA section";
    default:
        return nullptr;
    }
}

/// The character text starts with, for a message: "U+0078 'x'", or the code
/// alone where printing it would mislead (a space, a control).
std::string describeCharacter(std::string_view text)
{
    const auto* byte = reinterpret_cast<const unsigned char*>(text.data());
    unsigned code = byte[0];
    std::size_t length = 1;
    if (code >= 0xF0 && text.size() >= 4) {
        code = ((code & 0x07u) << 18) | ((byte[1] & 0x3Fu) << 12) | ((byte[2] & 0x3Fu) << 6) | (byte[3] & 0x3Fu);
        length = 4;
    } else if (code >= 0xE0 && text.size() >= 3) {
        code = ((code & 0x0Fu) << 12) | ((byte[1] & 0x3Fu) << 6) | (byte[2] & 0x3Fu);
        length = 3;
    } else if (code >= 0xC0 && text.size() >= 2) {
        code = ((code & 0x1Fu) << 6) | (byte[1] & 0x3Fu);
        length = 2;
    }
    char hex[16];
    std::snprintf(hex, sizeof hex, "U+%04X", code);
    std::string described = hex;
    if (code > 0x20 && code != 0x7F && code < 0x80) described.append(" '").append(text.substr(0, length)).append("'");
    return described;
}

/// A refusal found before parsing: where (an offset in the decoded text) and why.
struct Refusal {
    std::size_t offset;
    std::string reason;
};

} // namespace

XMLEventHandler::~XMLEventHandler() = default;

class XMLEventReaderImpl {
public:
    explicit XMLEventReaderImpl(const XMLReadLimits& limits) : m_limits(limits)
    {
        static std::once_flag initialised;
        std::call_once(initialised, xmlInitParser);
    }

    void read(std::string_view text, XMLEventHandler& handler);

    XMLPosition elementPosition()
    {
        if (m_open.empty()) return {};
        OpenElement& element = m_open.back();
        if (element.position.line == 0) element.position = m_positions.at(element.offset);
        return element.position;
    }

private:
    struct OpenElement {
        std::size_t offset; // of its '<' in m_text
        XMLPosition position;
    };

    struct ContextDeleter {
        void operator()(xmlParserCtxtPtr context) const { xmlFreeParserCtxt(context); }
    };

    // Decoding into m_buffer; a refusal of the encoding itself comes back.
    bool decode(std::string_view text, Refusal& refusal);
    void decodeUtf16(std::string_view text, bool bigEndian);
    void copyEightBit(std::string_view text, bool latin1, bool ascii);

    [[noreturn]] void fail(std::size_t offset, const std::string& reason)
    {
        const XMLPosition where = m_positions.at(offset);
        throw DomException("Malformed XML at line " + std::to_string(where.line) + ", column " +
                               std::to_string(where.column) + ": " + reason,
                           where.line, where.column);
    }

    std::size_t cursor() const
    {
        if (!m_context || !m_context->input) return m_text.size();
        // Once stopped, libxml2 points its input at a static empty text.
        const auto cur = reinterpret_cast<std::uintptr_t>(m_context->input->cur);
        const auto begin = reinterpret_cast<std::uintptr_t>(m_text.data());
        if (cur < begin || cur - begin > m_text.size()) return m_text.size();
        return static_cast<std::size_t>(cur - begin);
    }

    /// The last occurrence of c before offset (a '<' cannot occur inside a tag,
    /// nor '&' inside a reference), or offset when there is none.
    std::size_t back(std::size_t offset, char c) const
    {
        const void* found = memrchr(m_text.data(), c, offset);
        return found ? static_cast<std::size_t>(static_cast<const char*>(found) - m_text.data()) : offset;
    }

    /// Where expat places the error libxml2 reports at the offset it stopped.
    std::size_t errorOffset(const xmlError& error, std::size_t offset) const;

    void refuse(std::size_t offset, std::string reason)
    {
        if (m_failed) return;
        m_failed = true;
        m_errorOffset = offset;
        m_errorReason = std::move(reason);
        xmlStopParser(m_context);
    }

    static XMLEventReaderImpl& self(void* data) { return *static_cast<XMLEventReaderImpl*>(data); }
    static void onStart(void* data, const xmlChar* localname, const xmlChar*, const xmlChar* uri, int,
                        const xmlChar**, int attributeCount, int, const xmlChar** attributes);
    static void onEnd(void* data, const xmlChar*, const xmlChar*, const xmlChar*);
    static void onCharacters(void* data, const xmlChar* text, int length);
    static void onDoctype(void* data, const xmlChar*, const xmlChar*, const xmlChar*);
    static void onError(void* data, xmlErrorPtr error);

    const XMLReadLimits m_limits;
    std::string m_buffer;     // the decoded text, NUL-terminated, as libxml2 wants it
    std::string_view m_text;  // what libxml2 parses: m_buffer without a byte order mark
    std::vector<std::size_t> m_unreadable; // offsets of the bytes decoding put in
    PositionCounter m_positions;
    xmlParserCtxtPtr m_context = nullptr; // while reading
    XMLEventHandler* m_handler = nullptr;
    std::vector<OpenElement> m_open;
    struct Piece {
        std::string_view* view;
        std::size_t start, size;
    };
    std::vector<XMLAttribute> m_attributes;
    std::string m_scratch;
    std::vector<Piece> m_pieces;
    std::exception_ptr m_handlerError;
    bool m_failed = false;
    std::size_t m_errorOffset = 0;
    std::string m_errorReason;
    bool m_outOfMemory = false;
};

namespace {

/// The encoding named in an XML declaration at the start of text, and its
/// offset; empty when there is none (libxml2 judges a malformed declaration).
std::string_view declaredEncoding(std::string_view text, std::size_t& offset)
{
    if (text.substr(0, 5) != "<?xml" || text.size() < 6 || !isSpace(text[5])) return {};
    const std::size_t close = text.find("?>", 5);
    if (close == std::string_view::npos) return {};
    const std::string_view declaration = text.substr(0, close);
    std::size_t at = declaration.find("encoding", 5);
    if (at == std::string_view::npos || !isSpace(declaration[at - 1])) return {};
    at += 8;
    while (at < declaration.size() && isSpace(declaration[at])) ++at;
    if (at >= declaration.size() || declaration[at] != '=') return {};
    ++at;
    while (at < declaration.size() && isSpace(declaration[at])) ++at;
    if (at >= declaration.size() || (declaration[at] != '"' && declaration[at] != '\'')) return {};
    const std::size_t end = declaration.find(declaration[at], at + 1);
    if (end == std::string_view::npos) return {};
    offset = at + 1;
    return declaration.substr(at + 1, end - at - 1);
}

} // namespace

void XMLEventReaderImpl::decodeUtf16(std::string_view text, bool bigEndian)
{
    m_buffer.reserve(text.size() + text.size() / 2);
    const auto* byte = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t units = text.size() / 2;
    const auto unit = [&](std::size_t i) {
        return bigEndian ? (unsigned{byte[2 * i]} << 8) | byte[2 * i + 1] : (unsigned{byte[2 * i + 1]} << 8) | byte[2 * i];
    };
    for (std::size_t i = 0; i < units; ++i) {
        unsigned code = unit(i);
        if (code >= 0xD800 && code < 0xE000) {
            const unsigned low = i + 1 < units ? unit(i + 1) : 0;
            if (code >= 0xDC00 || low < 0xDC00 || low >= 0xE000) {
                m_unreadable.push_back(m_buffer.size());
                m_buffer += unreadable;
                continue;
            }
            code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
            ++i;
        }
        if (code == 0) {
            m_unreadable.push_back(m_buffer.size());
            m_buffer += unreadable;
            continue;
        }
        appendUtf8(m_buffer, code);
    }
    if (text.size() % 2 != 0) {
        m_unreadable.push_back(m_buffer.size());
        m_buffer += unreadable;
    }
}

void XMLEventReaderImpl::copyEightBit(std::string_view text, bool latin1, bool ascii)
{
    if (latin1) {
        m_buffer.reserve(text.size() + text.size() / 8);
        for (const char c : text) {
            if (c == '\0') {
                m_unreadable.push_back(m_buffer.size());
                m_buffer += unreadable;
            } else {
                appendUtf8(m_buffer, static_cast<unsigned char>(c));
            }
        }
        return;
    }
    m_buffer.assign(text.data(), text.size());
    for (std::size_t at = 0; at < m_buffer.size(); ++at) {
        if (ascii) {
            if (m_buffer[at] != '\0' && static_cast<unsigned char>(m_buffer[at]) < 0x80) continue;
        } else {
            const void* nul = std::memchr(m_buffer.data() + at, '\0', m_buffer.size() - at);
            if (!nul) break;
            at = static_cast<std::size_t>(static_cast<const char*>(nul) - m_buffer.data());
        }
        m_unreadable.push_back(at);
        m_buffer[at] = unreadable;
    }
}

bool XMLEventReaderImpl::decode(std::string_view text, Refusal& refusal)
{
    m_buffer.clear();
    m_unreadable.clear();
    const auto byte = [&](std::size_t i) { return i < text.size() ? static_cast<unsigned char>(text[i]) : 0x100u; };
    // The encoding from the first bytes, as expat finds it.
    enum class Form { eightBit, utf8Mark, bigEndian, littleEndian } form = Form::eightBit;
    if (byte(0) == 0xFE && byte(1) == 0xFF) {
        form = Form::bigEndian;
        text.remove_prefix(2);
    } else if (byte(0) == 0xFF && byte(1) == 0xFE) {
        form = Form::littleEndian;
        text.remove_prefix(2);
    } else if (text.size() >= 2 && byte(0) == 0) {
        form = Form::bigEndian;
    } else if (text.size() >= 2 && byte(1) == 0) {
        form = Form::littleEndian;
    } else if (byte(0) == 0xEF && byte(1) == 0xBB && byte(2) == 0xBF) {
        form = Form::utf8Mark;
        text.remove_prefix(3);
    }

    const bool sixteenBit = form == Form::bigEndian || form == Form::littleEndian;
    if (sixteenBit) decodeUtf16(text, form == Form::bigEndian);
    // The declaration is ASCII: in eight-bit text its offsets are those of the decoded text.
    const std::string_view start = sixteenBit ? std::string_view(m_buffer) : text;
    std::size_t offset = 0;
    const std::string_view declared = declaredEncoding(start, offset);
    const auto is = [&](const char* name) { return sameAsciiLetters(declared, name); };
    const bool eightBitName = is("UTF-8") || is("US-ASCII") || is("ISO-8859-1");
    const bool sixteenBitName = is("UTF-16") || is("UTF-16BE") || is("UTF-16LE");
    std::string reason;
    if (declared.empty()) {
    } else if (!eightBitName && !sixteenBitName) {
        reason = "unknown encoding";
    } else if (form == Form::utf8Mark && !is("UTF-8")) {
        reason = "the encoding declaration \"" + std::string(declared) + "\" contradicts the UTF-8 byte order mark";
    } else if (sixteenBit != sixteenBitName || (form == Form::bigEndian && is("UTF-16LE")) ||
               (form == Form::littleEndian && is("UTF-16BE"))) {
        reason = "encoding specified in XML declaration is incorrect";
    }
    if (!reason.empty()) {
        if (!sixteenBit) m_buffer.assign(text.data(), text.size());
        m_text = m_buffer;
        refusal = {offset, std::move(reason)};
        return false;
    }
    if (!sixteenBit) copyEightBit(text, is("ISO-8859-1"), is("US-ASCII"));
    m_text = m_buffer;
    // A second byte order mark is a character where none may stand; libxml2
    // would skip it silently.
    if (m_text.substr(0, 3) == "\xEF\xBB\xBF") {
        refusal = {0, "not well-formed (invalid token): a second byte order mark"};
        return false;
    }
    return true;
}

std::size_t XMLEventReaderImpl::errorOffset(const xmlError& error, std::size_t offset) const
{
    // Namespace errors are found once the whole start tag is read; expat
    // places them at its '<'.
    if (error.domain == XML_FROM_NAMESPACE) return back(offset, '<');
    switch (error.code) {
    case XML_ERR_TAG_NAME_MISMATCH: {
        // At the name in the end tag.
        const std::size_t open = back(offset, '<');
        return open + 2 <= offset ? open + 2 : offset;
    }
    case XML_ERR_UNDECLARED_ENTITY:
    case XML_WAR_UNDECLARED_ENTITY:
    case XML_ERR_INVALID_DEC_CHARREF:
    case XML_ERR_INVALID_HEX_CHARREF:
    case XML_ERR_INVALID_CHARREF:
        return back(offset, '&');
    case XML_ERR_INVALID_CHAR:
        // A character reference to a character XML does not allow.
        if (error.message && std::strncmp(error.message, "xmlParseCharRef", 15) == 0) return back(offset, '&');
        return offset;
    case XML_ERR_ATTRIBUTE_REDEFINED: {
        // At the second attribute's name: back over its value and the '='.
        std::size_t at = offset;
        const auto skipSpace = [&] {
            while (at > 0 && isSpace(m_text[at - 1])) --at;
        };
        skipSpace();
        if (at > 0 && (m_text[at - 1] == '"' || m_text[at - 1] == '\'')) {
            const std::size_t quote = m_text.rfind(m_text[at - 1], at - 2);
            if (quote == std::string_view::npos) return offset;
            at = quote;
        }
        skipSpace();
        if (at > 0 && m_text[at - 1] == '=') --at;
        skipSpace();
        while (at > 0 && !isSpace(m_text[at - 1]) && m_text[at - 1] != '<') --at;
        return at;
    }
    default:
        return offset;
    }
}

void XMLEventReaderImpl::onStart(void* data, const xmlChar* localname, const xmlChar*, const xmlChar* uri, int,
                                 const xmlChar**, int attributeCount, int, const xmlChar** attributes)
{
    XMLEventReaderImpl& reader = self(data);
    if (reader.m_failed) {
        xmlStopParser(reader.m_context);
        return;
    }
    const std::size_t at = reader.back(reader.cursor(), '<');
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
        if (reader.m_text.substr(open, 9) == "<!DOCTYPE") {
            at = open;
            break;
        }
    }
    reader.refuse(at, "a DOCTYPE declaration is not allowed in a message");
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
    // Not stopped from here: libxml2 goes on after reporting, and stops at
    // the next event.
    reader.m_failed = true;
    const std::size_t offset = reader.cursor();
    if (std::binary_search(reader.m_unreadable.begin(), reader.m_unreadable.end(), offset)) {
        reader.m_errorOffset = offset;
        reader.m_errorReason = "not well-formed (invalid token)";
        return;
    }
    reader.m_errorOffset = reader.errorOffset(*error, offset);
    if (error->code == XML_ERR_DOCUMENT_EMPTY && offset < reader.m_text.size()) {
        reader.m_errorReason = "not well-formed: " + describeCharacter(reader.m_text.substr(offset)) +
                               " where the document element must start";
        return;
    }
    if (const char* expatReason = expatWording(*error)) {
        reader.m_errorReason = expatReason;
        return;
    }
    // The first line: libxml2 goes on with the bytes around an encoding error.
    std::string reason = error->message ? error->message : "not well-formed";
    reason.erase(std::min(reason.find('\n'), reason.size()));
    reader.m_errorReason = std::move(reason);
}

void XMLEventReaderImpl::read(std::string_view text, XMLEventHandler& handler)
{
    m_open.clear();
    m_failed = false;
    m_outOfMemory = false;
    m_handlerError = nullptr;
    m_errorReason.clear();
    handler.startDocument();
    // A big document's copy is not kept once read.
    struct Release {
        std::string& buffer;
        ~Release()
        {
            if (buffer.capacity() > (std::size_t{1} << 20)) std::string().swap(buffer);
        }
    } release{m_buffer};

    Refusal refusal;
    const bool decoded = decode(text, refusal);
    m_positions.reset(m_text);
    if (!decoded) fail(refusal.offset, refusal.reason);

    const std::unique_ptr<xmlParserCtxt, ContextDeleter> context(xmlNewParserCtxt());
    if (!context) throw std::bad_alloc();
    m_context = context.get();
    xmlCtxtUseOptions(m_context, XML_PARSE_NONET | XML_PARSE_HUGE | XML_PARSE_IGNORE_ENC | XML_PARSE_OLD10);
    xmlSAXHandler& sax = *m_context->sax;
    std::memset(&sax, 0, sizeof sax);
    sax.initialized = XML_SAX2_MAGIC;
    sax.startElementNs = &XMLEventReaderImpl::onStart;
    sax.endElementNs = &XMLEventReaderImpl::onEnd;
    sax.characters = &XMLEventReaderImpl::onCharacters;
    sax.ignorableWhitespace = &XMLEventReaderImpl::onCharacters;
    sax.internalSubset = &XMLEventReaderImpl::onDoctype;
    sax.serror = &XMLEventReaderImpl::onError;
    m_context->userData = this;
    m_handler = &handler;

    // Parsed in place: an input with no buffer behind it is never grown,
    // shrunk or copied.
    xmlParserInputPtr input = xmlNewInputStream(m_context);
    if (!input) throw std::bad_alloc();
    input->base = input->cur = reinterpret_cast<const xmlChar*>(m_text.data());
    input->end = input->base + m_text.size();
    input->length = static_cast<int>(m_text.size() < INT_MAX ? m_text.size() : INT_MAX);
    if (inputPush(m_context, input) < 0) {
        xmlFreeInputStream(input);
        throw std::bad_alloc();
    }
    xmlParseDocument(m_context);
    if (m_outOfMemory) throw std::bad_alloc();
    if (!m_failed && !m_context->wellFormed) {
        m_failed = true;
        m_errorOffset = cursor();
        m_errorReason = "not well-formed";
    }
    m_context = nullptr;
    if (m_failed) {
        m_open.clear();
        fail(m_errorOffset, m_errorReason);
    }
    if (m_handlerError) std::rethrow_exception(m_handlerError);
}

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
