#pragma once

// Names that XML and its neighbours compare without regard to case compare
// ASCII letters only: a locale must not change what a declaration means.

#include <string_view>

namespace Kavella::Soa::Common::Xml {

inline char asciiLower(char c) noexcept
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

inline bool sameIgnoringAsciiCase(std::string_view a, std::string_view b) noexcept
{
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (asciiLower(a[i]) != asciiLower(b[i])) return false;
    }
    return true;
}

} // namespace Kavella::Soa::Common::Xml
