#pragma once

// Shared by the value conversions and DateTime, so that every rejected value is
// reported the same way.

#include <cstddef>
#include <string_view>

namespace Kavella::Soa::Common::detail {

/// Throws DomException `Invalid <type> value "<text>"`, the text cut and made printable.
[[noreturn]] void throwInvalidValue(std::string_view typeName, std::string_view text);
/// The text without the XML whitespace (space, tab, CR, LF) around it.
std::string_view trimXmlSpace(std::string_view text) noexcept;
/// Length of the longest prefix of text that toXmlString copies unchanged
/// (printable ASCII other than & < > "), eight bytes at a time.
std::size_t plainXmlPrefix(std::string_view text) noexcept;

/// The XML Schema texts of numbers and flags, as lexical_cast<std::string>
/// writes them, into a caller's buffer: no string is made.
using NumberText = char[32];
std::string_view formatValue(NumberText& buffer, int value) noexcept;
std::string_view formatValue(NumberText& buffer, float value) noexcept;
std::string_view formatValue(NumberText& buffer, double value) noexcept;
std::string_view formatValue(NumberText& buffer, bool value) noexcept;

} // namespace Kavella::Soa::Common::detail
