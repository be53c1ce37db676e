#include "ParserErrors.hpp"

#include <algorithm>
#include <cstdio>

#include "TextDecoder.hpp"

namespace Kavella::Soa::Common::Xml::detail {

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

std::string describeCharacter(std::string_view text)
{
    const auto* byte = reinterpret_cast<const unsigned char*>(text.data());
    const unsigned lead = byte[0];
    std::size_t length = lead < 0x80 ? 1 : lead >= 0xC2 && lead <= 0xDF ? 2 : lead >= 0xE0 && lead <= 0xEF ? 3
                                         : lead >= 0xF0 && lead <= 0xF4 ? 4 : 0;
    unsigned code = length == 1 ? lead : length == 2 ? lead & 0x1Fu : length == 3 ? lead & 0x0Fu : lead & 0x07u;
    std::size_t valid = length == 0 ? 0 : 1;
    for (; valid < length && valid < text.size() && (byte[valid] & 0xC0u) == 0x80; ++valid)
        code = (code << 6) | (byte[valid] & 0x3Fu);
    const unsigned shortest = length == 3 ? 0x800 : length == 4 ? 0x10000 : 0;
    char hex[40];
    if (length == 0 || valid < length || code < shortest || code > 0x10FFFF || (code >= 0xD800 && code < 0xE000)) {
        // Not a character: the bytes as they stand, up to the first that cannot belong.
        const std::size_t shown = std::min(valid < length ? valid + 1 : std::max<std::size_t>(length, 1), text.size());
        std::string described = shown > 1 ? "invalid UTF-8 bytes" : "invalid UTF-8 byte";
        for (std::size_t i = 0; i < shown; ++i) {
            std::snprintf(hex, sizeof hex, " 0x%02X", byte[i]);
            described += hex;
        }
        return described;
    }
    std::snprintf(hex, sizeof hex, "U+%04X", code);
    std::string described = hex;
    if (code > 0x20 && code != 0x7F && code < 0x80) described.append(" '").append(text.substr(0, length)).append("'");
    return described;
}

std::size_t errorOffset(const xmlError& error, std::size_t offset, const TextWindow& window)
{
    // Namespace errors are found once the whole start tag is read; expat
    // places them at its '<'.
    if (error.domain == XML_FROM_NAMESPACE) return window.back(offset, '<');
    switch (error.code) {
    case XML_ERR_HYPHEN_IN_COMMENT:
        // Past the "--", as expat places it.
        return window.from(offset).substr(0, 2) == "--" ? offset + 2 : offset;
    case XML_ERR_MISPLACED_CDATA_END: {
        // At the '>' of "]]>", which the parser reports from the start of the text.
        const std::size_t end = window.from(offset).find("]]>");
        return end == std::string_view::npos ? offset : offset + end + 2;
    }
    case XML_ERR_GT_REQUIRED: {
        // Space after "</": at the space.
        const std::size_t open = window.back(offset, '<');
        const std::string_view tag = window.from(open);
        return tag.size() > 2 && tag.substr(0, 2) == "</" && isSpace(tag[2]) ? open + 2 : offset;
    }
    case XML_ERR_TAG_NAME_MISMATCH: {
        // At the name in the end tag.
        const std::size_t open = window.back(offset, '<');
        return open + 2 <= offset ? open + 2 : offset;
    }
    case XML_ERR_UNDECLARED_ENTITY:
    case XML_WAR_UNDECLARED_ENTITY:
    case XML_ERR_INVALID_DEC_CHARREF:
    case XML_ERR_INVALID_HEX_CHARREF:
    case XML_ERR_INVALID_CHARREF:
        return window.back(offset, '&');
    case XML_ERR_INVALID_CHAR:
        // A character reference to a character XML does not allow.
        if (error.message && std::strncmp(error.message, "xmlParseCharRef", 15) == 0) return window.back(offset, '&');
        return offset;
    case XML_ERR_ATTRIBUTE_REDEFINED: {
        // At the second attribute's name: back over its value and the '='.
        // Within the tag, which the window still holds.
        const std::size_t start = window.start;
        const std::string_view text = window.text;
        if (offset < start || offset - start > text.size()) return offset;
        std::size_t at = offset - start;
        const auto skipSpace = [&] {
            while (at > 0 && isSpace(text[at - 1])) --at;
        };
        skipSpace();
        if (at > 1 && (text[at - 1] == '"' || text[at - 1] == '\'')) {
            const std::size_t quote = text.rfind(text[at - 1], at - 2);
            if (quote == std::string_view::npos) return offset;
            at = quote;
        }
        skipSpace();
        if (at > 0 && text[at - 1] == '=') --at;
        skipSpace();
        while (at > 0 && !isSpace(text[at - 1]) && text[at - 1] != '<') --at;
        return start + at;
    }
    default:
        return offset;
    }
}

} // namespace Kavella::Soa::Common::Xml::detail
