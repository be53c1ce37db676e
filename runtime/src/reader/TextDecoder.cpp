#include "TextDecoder.hpp"

#include <algorithm>
#include <cstring>

#include "../AsciiText.hpp"

namespace Kavella::Soa::Common::Xml::detail {

namespace {

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

enum class Declaration { none, open, closed };

/// Finds the XML declaration at the start of text, within declarationLimit
/// bytes; when closed, the encoding it names (empty if none) and its offset.
/// A malformed declaration names none: libxml2 judges it.
Declaration findDeclaration(std::string_view text, std::string_view& encoding, std::size_t& offset)
{
    if (text.substr(0, 5) != "<?xml" || text.size() < 6 || !isSpace(text[5])) return Declaration::none;
    const std::size_t close = text.substr(0, declarationLimit).find("?>", 5);
    if (close == std::string_view::npos) return Declaration::open;
    const std::string_view declaration = text.substr(0, close);
    std::size_t at = declaration.find("encoding", 5);
    if (at == std::string_view::npos || !isSpace(declaration[at - 1])) return Declaration::closed;
    at += 8;
    while (at < declaration.size() && isSpace(declaration[at])) ++at;
    if (at >= declaration.size() || declaration[at] != '=') return Declaration::closed;
    ++at;
    while (at < declaration.size() && isSpace(declaration[at])) ++at;
    if (at >= declaration.size() || (declaration[at] != '"' && declaration[at] != '\'')) return Declaration::closed;
    const std::size_t end = declaration.find(declaration[at], at + 1);
    if (end == std::string_view::npos) return Declaration::closed;
    offset = at + 1;
    encoding = declaration.substr(at + 1, end - at - 1);
    return Declaration::closed;
}

/// The characters a declaration is written with, from EBCDIC (code page 037
/// and its kin agree on these); anything else becomes '?'.
std::string ebcdicDeclaration(std::string_view head)
{
    std::string ascii;
    for (const char c : head.substr(0, 1024)) {
        const auto byte = static_cast<unsigned char>(c);
        char out = '?';
        if (byte >= 0x81 && byte <= 0x89) out = static_cast<char>('a' + (byte - 0x81));
        else if (byte >= 0x91 && byte <= 0x99) out = static_cast<char>('j' + (byte - 0x91));
        else if (byte >= 0xA2 && byte <= 0xA9) out = static_cast<char>('s' + (byte - 0xA2));
        else if (byte >= 0xC1 && byte <= 0xC9) out = static_cast<char>('A' + (byte - 0xC1));
        else if (byte >= 0xD1 && byte <= 0xD9) out = static_cast<char>('J' + (byte - 0xD1));
        else if (byte >= 0xE2 && byte <= 0xE9) out = static_cast<char>('S' + (byte - 0xE2));
        else if (byte >= 0xF0 && byte <= 0xF9) out = static_cast<char>('0' + (byte - 0xF0));
        else {
            switch (byte) {
            case 0x40: out = ' '; break;
            case 0x4B: out = '.'; break;
            case 0x4C: out = '<'; break;
            case 0x60: out = '-'; break;
            case 0x61: out = '/'; break;
            case 0x6D: out = '_'; break;
            case 0x6E: out = '>'; break;
            case 0x6F: out = '?'; break;
            case 0x7A: out = ':'; break;
            case 0x7D: out = '\''; break;
            case 0x7E: out = '='; break;
            case 0x7F: out = '"'; break;
            case 0x05: out = '\t'; break;
            case 0x15: case 0x25: out = '\n'; break;
            case 0x0D: out = '\r'; break;
            default: break;
            }
        }
        ascii += out;
        if (out == '>') break;
    }
    return ascii;
}

void markUnreadable(std::string& out, std::size_t outStart, std::size_t& firstUnreadable)
{
    if (firstUnreadable == noUnreadable) firstUnreadable = outStart + out.size();
    out += unreadable;
}

} // namespace

void TextDecoder::decodeUtf16(std::string_view raw, std::string& out, std::size_t outStart,
                              std::size_t& firstUnreadable)
{
    out.reserve(out.size() + raw.size() + raw.size() / 2);
    const auto* byte = reinterpret_cast<const unsigned char*>(raw.data());
    std::size_t size = raw.size();
    const bool bigEndian = m_mode == Mode::utf16BigEndian;
    const auto unitOf = [bigEndian](unsigned first, unsigned second) {
        return bigEndian ? (first << 8) | second : (second << 8) | first;
    };
    const auto emit = [&](unsigned code) {
        if (m_highSurrogate) {
            const unsigned high = m_highSurrogate;
            m_highSurrogate = 0;
            if (code >= 0xDC00 && code < 0xE000) {
                appendUtf8(out, 0x10000 + ((high - 0xD800) << 10) + (code - 0xDC00));
                return;
            }
            markUnreadable(out, outStart, firstUnreadable);
        }
        if (code >= 0xD800 && code < 0xDC00) {
            m_highSurrogate = code;
        } else if ((code >= 0xDC00 && code < 0xE000) || code == 0) {
            markUnreadable(out, outStart, firstUnreadable);
        } else {
            appendUtf8(out, code);
        }
    };
    if (m_oddByte >= 0 && size > 0) {
        emit(unitOf(static_cast<unsigned>(m_oddByte), byte[0]));
        m_oddByte = -1;
        ++byte;
        --size;
    }
    for (std::size_t i = 0; i + 1 < size; i += 2) emit(unitOf(byte[i], byte[i + 1]));
    if (size % 2 != 0) m_oddByte = byte[size - 1];
}

void TextDecoder::decode(std::string_view raw, std::string& out, std::size_t outStart,
                         std::size_t& firstUnreadable)
{
    switch (m_mode) {
    case Mode::utf16BigEndian:
    case Mode::utf16LittleEndian:
        decodeUtf16(raw, out, outStart, firstUnreadable);
        return;
    case Mode::latin1:
        out.reserve(out.size() + raw.size() + raw.size() / 8);
        for (const char c : raw) {
            if (c == '\0') markUnreadable(out, outStart, firstUnreadable);
            else appendUtf8(out, static_cast<unsigned char>(c));
        }
        return;
    case Mode::ascii:
    case Mode::utf8: {
        const std::size_t start = out.size();
        out.append(raw);
        const bool ascii = m_mode == Mode::ascii;
        for (std::size_t at = start; at < out.size(); ++at) {
            if (ascii) {
                if (out[at] != '\0' && static_cast<unsigned char>(out[at]) < 0x80) continue;
            } else {
                const void* nul = std::memchr(out.data() + at, '\0', out.size() - at);
                if (!nul) break;
                at = static_cast<std::size_t>(static_cast<const char*>(nul) - out.data());
            }
            if (firstUnreadable == noUnreadable) firstUnreadable = outStart + at;
            out[at] = unreadable;
        }
        return;
    }
    }
}

void TextDecoder::finish(std::string& out, std::size_t outStart, std::size_t& firstUnreadable)
{
    if (m_highSurrogate) {
        m_highSurrogate = 0;
        markUnreadable(out, outStart, firstUnreadable);
    }
    if (m_oddByte >= 0) {
        m_oddByte = -1;
        markUnreadable(out, outStart, firstUnreadable);
    }
}

TextDecoder::Start TextDecoder::begin(std::string_view head, bool whole, Refusal& refusal)
{
    m_refusedText.clear();
    m_oddByte = -1;
    m_highSurrogate = 0;
    m_markSize = 0;
    // The first four bytes tell the encoding family.
    if (!whole && head.size() < 4) return Start::needMore;
    const auto byte = [&](std::size_t i) { return i < head.size() ? static_cast<unsigned char>(head[i]) : 0x100u; };
    // The parser would switch to EBCDIC on its own, past the limit pass: refused
    // here, by the name its declaration gives.
    if (byte(0) == 0x4C && byte(1) == 0x6F && byte(2) == 0xA7 && byte(3) == 0x94) {
        m_refusedText = ebcdicDeclaration(head);
        std::string_view declared;
        std::size_t offset = 0;
        findDeclaration(m_refusedText, declared, offset);
        refusal = {offset, "encoding " + std::string(declared.empty() ? "EBCDIC" : declared) + " is not supported"};
        return Start::refused;
    }
    // The encoding from the first bytes, as expat finds it.
    bool utf8Mark = false;
    m_mode = Mode::utf8;
    if (byte(0) == 0xFE && byte(1) == 0xFF) {
        m_mode = Mode::utf16BigEndian;
        m_markSize = 2;
    } else if (byte(0) == 0xFF && byte(1) == 0xFE) {
        m_mode = Mode::utf16LittleEndian;
        m_markSize = 2;
    } else if (head.size() >= 2 && byte(0) == 0) {
        m_mode = Mode::utf16BigEndian;
    } else if (head.size() >= 2 && byte(1) == 0) {
        m_mode = Mode::utf16LittleEndian;
    } else if (byte(0) == 0xEF && byte(1) == 0xBB && byte(2) == 0xBF) {
        utf8Mark = true;
        m_markSize = 3;
    }
    head.remove_prefix(m_markSize);

    const bool sixteenBit = m_mode != Mode::utf8;
    // The declaration is ASCII: in eight-bit text its offsets are those of the decoded text.
    std::string decodedHead;
    if (sixteenBit) {
        std::size_t unused = noUnreadable;
        decodeUtf16(head.substr(0, declarationLimit), decodedHead, 0, unused);
        m_oddByte = -1;
        m_highSurrogate = 0;
    }
    const std::string_view start = sixteenBit ? std::string_view(decodedHead) : head;
    constexpr std::string_view declarationStart = "<?xml ";
    if (!whole && start.size() < declarationStart.size() && declarationStart.substr(0, start.size()) == start)
        return Start::needMore;
    std::string_view declared;
    std::size_t offset = 0;
    if (findDeclaration(start, declared, offset) == Declaration::open) {
        if (head.size() > declarationLimit) {
            m_refusedText.assign(start.substr(0, 64 * 1024)); // the declaration, for positions
            refusal = {0, "the XML declaration does not end within the first " + std::to_string(declarationLimit) +
                              " bytes"};
            return Start::refused;
        }
        // Unfinished in a whole text: the parser says how.
        if (!whole) return Start::needMore;
    }
    const auto is = [&](const char* name) { return sameIgnoringAsciiCase(declared, name); };
    const bool eightBitName = is("UTF-8") || is("US-ASCII") || is("ISO-8859-1");
    const bool sixteenBitName = is("UTF-16") || is("UTF-16BE") || is("UTF-16LE");
    std::string reason;
    if (declared.empty()) {
    } else if (!eightBitName && !sixteenBitName) {
        reason = "encoding " + std::string(declared) + " is not supported";
    } else if (utf8Mark && !is("UTF-8")) {
        reason = "the encoding declaration \"" + std::string(declared) + "\" contradicts the UTF-8 byte order mark";
    } else if (sixteenBit != sixteenBitName || (m_mode == Mode::utf16BigEndian && is("UTF-16LE")) ||
               (m_mode == Mode::utf16LittleEndian && is("UTF-16BE"))) {
        reason = "encoding specified in XML declaration is incorrect";
    }
    if (!reason.empty()) {
        m_refusedText.assign(start.substr(0, std::max<std::size_t>(offset, 64 * 1024)));
        refusal = {offset, std::move(reason)};
        return Start::refusedEncoding;
    }
    if (!sixteenBit) {
        if (is("ISO-8859-1")) m_mode = Mode::latin1;
        else if (is("US-ASCII")) m_mode = Mode::ascii;
    }
    // A second byte order mark is a character where none may stand; libxml2
    // would skip it silently.
    if (start.substr(0, 3) == "\xEF\xBB\xBF") {
        m_refusedText.assign(start.substr(0, 64 * 1024)); // the declaration, for positions
        refusal = {0, "not well-formed (invalid token): a second byte order mark"};
        return Start::refused;
    }
    return Start::decode;
}

} // namespace Kavella::Soa::Common::Xml::detail
