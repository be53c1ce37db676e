#include "ParserErrors.hpp"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <vector>

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
    case XML_ERR_MISPLACED_CDATA_END:
        return cdataEndInContent;
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

namespace {

/// Where an attribute name first repeats an earlier one in the start tag
/// before offset (which the window still holds), or offset.
std::size_t duplicateAttribute(std::size_t offset, const TextWindow& window)
{
    const std::size_t open = window.back(offset, '<');
    const std::string_view tag = window.from(open);
    std::vector<std::string_view> names;
    std::size_t at = 1;
    const auto skipName = [&] {
        while (at < tag.size() && !isSpace(tag[at]) && tag[at] != '=' && tag[at] != '/' && tag[at] != '>') ++at;
    };
    skipName();
    for (;;) {
        while (at < tag.size() && isSpace(tag[at])) ++at;
        if (at >= tag.size() || tag[at] == '/' || tag[at] == '>') return offset;
        const std::size_t nameStart = at;
        skipName();
        const std::string_view name = tag.substr(nameStart, at - nameStart);
        if (std::find(names.begin(), names.end(), name) != names.end()) return open + nameStart;
        names.push_back(name);
        while (at < tag.size() && tag[at] != '"' && tag[at] != '\'') ++at;
        const std::size_t close = at < tag.size() ? tag.find(tag[at], at + 1) : std::string_view::npos;
        if (close == std::string_view::npos) return offset;
        at = close + 1;
    }
}

bool isCharacterReferenceError(const xmlError& error)
{
    switch (error.code) {
    case XML_ERR_INVALID_DEC_CHARREF:
    case XML_ERR_INVALID_HEX_CHARREF:
    case XML_ERR_INVALID_CHARREF:
        return true;
    case XML_ERR_INVALID_CHAR:
        return error.message && std::strncmp(error.message, "xmlParseCharRef", 15) == 0;
    default:
        return false;
    }
}

} // namespace

std::size_t misspeltReference(const xmlError& error, std::size_t offset, const TextWindow& window)
{
    constexpr std::size_t none = std::string_view::npos;
    if (!isCharacterReferenceError(error)) return none;
    const std::size_t amp = window.back(offset, '&');
    const std::string_view reference = window.from(amp);
    if (reference.substr(0, 2) != "&#") return none;
    const bool hex = reference.size() > 2 && reference[2] == 'x';
    std::size_t at = hex ? 3 : 2;
    const std::size_t digits = at;
    while (at < reference.size() && (hex ? std::isxdigit(static_cast<unsigned char>(reference[at]))
                                         : std::isdigit(static_cast<unsigned char>(reference[at])))) {
        ++at;
    }
    if (at > digits && at < reference.size() && reference[at] == ';') return none; // its number is wrong
    return amp + at;
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
    case XML_ERR_ATTRIBUTE_REDEFINED:
        return duplicateAttribute(offset, window);
    default:
        return offset;
    }
}

} // namespace Kavella::Soa::Common::Xml::detail
