#pragma once

// How the reader words and places the errors libxml2 reports: in expat's
// words and at expat's places, so that a message does not depend on the
// parser underneath.

#include <libxml/xmlerror.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <string>
#include <string_view>

namespace Kavella::Soa::Common::Xml::detail {

/// The part of the decoded text the reader still holds: from offset start on.
struct TextWindow {
    std::string_view text;
    std::size_t start = 0;

    /// The text known from offset on; empty where it is not held.
    std::string_view from(std::size_t offset) const
    {
        if (offset < start || offset - start > text.size()) return {};
        return text.substr(offset - start);
    }

    /// The last occurrence of c before offset (a '<' cannot occur inside a tag,
    /// nor '&' inside a reference), or offset when there is none.
    std::size_t back(std::size_t offset, char c) const
    {
        if (offset <= start) return offset;
        const std::size_t length = std::min(offset - start, text.size());
        const void* found = memrchr(text.data(), c, length);
        return found ? start + static_cast<std::size_t>(static_cast<const char*>(found) - text.data()) : offset;
    }
};

/// expat's words for the errors both parsers find; null where libxml2's own say more.
const char* expatWording(const xmlError& error);

/// The character text starts with, for a message: "U+0078 'x'", or the code
/// alone where printing it would mislead (a space, a control).
std::string describeCharacter(std::string_view text);

/// For a character reference written wrong (not "&#" digits ";" nor
/// "&#x" hex digits ";"): the character where it goes wrong, which expat
/// reports as an invalid token. Otherwise std::string_view::npos.
std::size_t misspeltReference(const xmlError& error, std::size_t offset, const TextWindow& window);

/// Where expat places the error libxml2 reports at the offset it stopped.
std::size_t errorOffset(const xmlError& error, std::size_t offset, const TextWindow& window);

} // namespace Kavella::Soa::Common::Xml::detail
