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

void decodeUtf16(std::string_view text, bool bigEndian, DecodedText& out)
{
    out.buffer.reserve(text.size() + text.size() / 2);
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
                out.unreadable.push_back(out.buffer.size());
                out.buffer += unreadable;
                continue;
            }
            code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
            ++i;
        }
        if (code == 0) {
            out.unreadable.push_back(out.buffer.size());
            out.buffer += unreadable;
            continue;
        }
        appendUtf8(out.buffer, code);
    }
    if (text.size() % 2 != 0) {
        out.unreadable.push_back(out.buffer.size());
        out.buffer += unreadable;
    }
}

void copyEightBit(std::string_view text, bool latin1, bool ascii, DecodedText& out)
{
    if (latin1) {
        out.buffer.reserve(text.size() + text.size() / 8);
        for (const char c : text) {
            if (c == '\0') {
                out.unreadable.push_back(out.buffer.size());
                out.buffer += unreadable;
            } else {
                appendUtf8(out.buffer, static_cast<unsigned char>(c));
            }
        }
        return;
    }
    out.buffer.assign(text.data(), text.size());
    for (std::size_t at = 0; at < out.buffer.size(); ++at) {
        if (ascii) {
            if (out.buffer[at] != '\0' && static_cast<unsigned char>(out.buffer[at]) < 0x80) continue;
        } else {
            const void* nul = std::memchr(out.buffer.data() + at, '\0', out.buffer.size() - at);
            if (!nul) break;
            at = static_cast<std::size_t>(static_cast<const char*>(nul) - out.buffer.data());
        }
        out.unreadable.push_back(at);
        out.buffer[at] = unreadable;
    }
}

} // namespace

bool decode(std::string_view text, DecodedText& out, Refusal& refusal)
{
    out.buffer.clear();
    out.unreadable.clear();
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
    if (sixteenBit) decodeUtf16(text, form == Form::bigEndian, out);
    // The declaration is ASCII: in eight-bit text its offsets are those of the decoded text.
    const std::string_view start = sixteenBit ? std::string_view(out.buffer) : text;
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
        if (!sixteenBit) out.buffer.assign(text.data(), text.size());
        refusal = {offset, std::move(reason)};
        return false;
    }
    if (!sixteenBit) copyEightBit(text, is("ISO-8859-1"), is("US-ASCII"), out);
    // A second byte order mark is a character where none may stand; libxml2
    // would skip it silently.
    if (std::string_view(out.buffer).substr(0, 3) == "\xEF\xBB\xBF") {
        refusal = {0, "not well-formed (invalid token): a second byte order mark"};
        return false;
    }
    return true;
}

} // namespace Kavella::Soa::Common::Xml::detail
