#include "TextDecoder.hpp"

#include <cstring>

namespace Kavella::Soa::Common::Xml::detail {

namespace {

bool sameAsciiLetters(std::string_view a, std::string_view b)
{
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

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

void markUnreadable(std::string& out, std::size_t outStart, std::vector<std::size_t>& unreadableOffsets)
{
    unreadableOffsets.push_back(outStart + out.size());
    out += unreadable;
}

} // namespace

void TextDecoder::decodeUtf16(std::string_view raw, std::string& out, std::size_t outStart,
                              std::vector<std::size_t>& unreadableOffsets)
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
            markUnreadable(out, outStart, unreadableOffsets);
        }
        if (code >= 0xD800 && code < 0xDC00) {
            m_highSurrogate = code;
        } else if ((code >= 0xDC00 && code < 0xE000) || code == 0) {
            markUnreadable(out, outStart, unreadableOffsets);
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
                         std::vector<std::size_t>& unreadableOffsets)
{
    switch (m_mode) {
    case Mode::utf16BigEndian:
    case Mode::utf16LittleEndian:
        decodeUtf16(raw, out, outStart, unreadableOffsets);
        return;
    case Mode::latin1:
        out.reserve(out.size() + raw.size() + raw.size() / 8);
        for (const char c : raw) {
            if (c == '\0') markUnreadable(out, outStart, unreadableOffsets);
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
            unreadableOffsets.push_back(outStart + at);
            out[at] = unreadable;
        }
        return;
    }
    }
}

void TextDecoder::finish(std::string& out, std::size_t outStart, std::vector<std::size_t>& unreadableOffsets)
{
    if (m_highSurrogate) {
        m_highSurrogate = 0;
        markUnreadable(out, outStart, unreadableOffsets);
    }
    if (m_oddByte >= 0) {
        m_oddByte = -1;
        markUnreadable(out, outStart, unreadableOffsets);
    }
}

bool TextDecoder::begin(std::string_view head, Refusal& refusal)
{
    m_refusedText.clear();
    m_oddByte = -1;
    m_highSurrogate = 0;
    m_markSize = 0;
    const auto byte = [&](std::size_t i) { return i < head.size() ? static_cast<unsigned char>(head[i]) : 0x100u; };
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
        // The declaration, if any, stands at the very start: a piece's worth holds it.
        std::vector<std::size_t> unused;
        decodeUtf16(head.substr(0, 64 * 1024), decodedHead, 0, unused);
        m_oddByte = -1;
        m_highSurrogate = 0;
    }
    const std::string_view start = sixteenBit ? std::string_view(decodedHead) : head;
    std::size_t offset = 0;
    const std::string_view declared = declaredEncoding(start, offset);
    const auto is = [&](const char* name) { return sameAsciiLetters(declared, name); };
    const bool eightBitName = is("UTF-8") || is("US-ASCII") || is("ISO-8859-1");
    const bool sixteenBitName = is("UTF-16") || is("UTF-16BE") || is("UTF-16LE");
    std::string reason;
    if (declared.empty()) {
    } else if (!eightBitName && !sixteenBitName) {
        reason = "unknown encoding";
    } else if (utf8Mark && !is("UTF-8")) {
        reason = "the encoding declaration \"" + std::string(declared) + "\" contradicts the UTF-8 byte order mark";
    } else if (sixteenBit != sixteenBitName || (m_mode == Mode::utf16BigEndian && is("UTF-16LE")) ||
               (m_mode == Mode::utf16LittleEndian && is("UTF-16BE"))) {
        reason = "encoding specified in XML declaration is incorrect";
    }
    if (!reason.empty()) {
        m_refusedText.assign(start.substr(0, 64 * 1024)); // the declaration, for positions
        refusal = {offset, std::move(reason)};
        return false;
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
        return false;
    }
    return true;
}

} // namespace Kavella::Soa::Common::Xml::detail
