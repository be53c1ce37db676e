#pragma once

#include <string>
#include <string_view>
#include <type_traits>

#include "kvsoa/DateTime.hpp"
#include "kvsoa/Export.hpp"

namespace Kavella::Soa::Common {

/// Escapes a text for an attribute value or element content so that it reads
/// back exactly: & < > " and tab, CR, LF become references. Throws DomException
/// for a text XML 1.0 cannot carry (invalid UTF-8, other control characters,
/// U+FFFE, U+FFFF).
KVSOA_API std::string toXmlString(const std::string& text);
/// toXmlString appended to out; on a refused text out is left as it was.
KVSOA_API void appendXmlString(std::string& out, std::string_view text);

namespace detail {
// Texts in the XML Schema lexical forms, independent of the process locale.
KVSOA_API std::string toText(bool value);
KVSOA_API std::string toText(int value);
KVSOA_API std::string toText(float value);
KVSOA_API std::string toText(double value);
KVSOA_API std::string toText(const DateTime& value);
inline std::string toText(const std::string& value) { return value; }

// Each throws DomException naming the text and the type for anything the
// XML Schema form rejects; whitespace around the value is allowed. Floats
// also take inf, infinity and nan in any case, with either sign, as peers
// write the schema's INF, -INF and NaN.
KVSOA_API void fromText(std::string_view text, bool& value);
KVSOA_API void fromText(std::string_view text, int& value);
KVSOA_API void fromText(std::string_view text, float& value);
KVSOA_API void fromText(std::string_view text, double& value);
KVSOA_API void fromText(std::string_view text, DateTime& value);
inline void fromText(std::string_view text, std::string& value) { value.assign(text); }
} // namespace detail

/// lexical_cast<std::string>(value) writes bool, int, float, double and DateTime
/// as XML Schema texts (floats as the shortest text that reads back the same
/// value; INF, -INF, NaN); lexical_cast<T>(text) reads them back.
template <typename Target, typename Source>
Target lexical_cast(const Source& source)
{
    if constexpr (std::is_same_v<Target, std::string>) {
        return detail::toText(source);
    } else {
        Target value{};
        detail::fromText(std::string_view(source), value);
        return value;
    }
}

} // namespace Kavella::Soa::Common
