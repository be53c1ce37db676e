#pragma once

// Shared by the value conversions and DateTime, so that every rejected value is
// reported the same way.

#include <string_view>

namespace Kavella::Soa::Common::detail {

/// Throws DomException `Invalid <type> value "<text>"`, the text cut and made printable.
[[noreturn]] void throwInvalidValue(std::string_view typeName, std::string_view text);
/// The text without the XML whitespace (space, tab, CR, LF) around it.
std::string_view trimXmlSpace(std::string_view text) noexcept;

} // namespace Kavella::Soa::Common::detail
