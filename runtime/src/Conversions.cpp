#include "kvsoa/Conversions.hpp"

#include <array>
#include <charconv>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <string_view>

#include "AsciiText.hpp"
#include <system_error>
#include <utility>

#include "kvsoa/DomException.hpp"
#include "ValueText.hpp"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace Kavella::Soa::Common {

using Xml::DomException;

namespace detail {

[[noreturn]] void throwInvalidValue(std::string_view typeName, std::string_view text)
{
    // Texts come from the network: keep the message short and printable.
    constexpr std::size_t kShownBytes = 60;
    std::size_t shown = text.size();
    const bool cut = shown > kShownBytes;
    if (cut) {
        shown = kShownBytes;
        // Do not split a UTF-8 sequence.
        for (int i = 0; i < 3 && (static_cast<unsigned char>(text[shown]) & 0xC0) == 0x80; ++i)
            --shown;
    }
    std::string message = "Invalid ";
    message.append(typeName).append(" value \"");
    static constexpr char kHex[] = "0123456789ABCDEF";
    for (const char c : text.substr(0, shown)) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '\t') {
            message += "\\t";
        } else if (c == '\n') {
            message += "\\n";
        } else if (c == '\r') {
            message += "\\r";
        } else if (byte < 0x20 || byte == 0x7F) {
            message += "\\x";
            message += kHex[byte >> 4];
            message += kHex[byte & 0xF];
        } else {
            message += c;
        }
    }
    message += cut ? "...\"" : "\"";
    throw DomException(std::move(message));
}

std::string_view trimXmlSpace(std::string_view text) noexcept
{
    constexpr std::string_view kSpace = " \t\r\n";
    const std::size_t first = text.find_first_not_of(kSpace);
    if (first == std::string_view::npos)
        return {};
    return text.substr(first, text.find_last_not_of(kSpace) - first + 1);
}

} // namespace detail

namespace {

// Peers write the schema's INF, -INF and NaN as inf, -inf, nan, NAN or
// Infinity; reading is liberal in the words (any case, optional sign), writing
// keeps the schema's. A schema validator still refuses the other spellings.
template <typename T>
bool readSpecialFloating(std::string_view s, T& value) noexcept
{
    const bool negative = !s.empty() && s[0] == '-';
    const std::string_view word = !s.empty() && (s[0] == '-' || s[0] == '+') ? s.substr(1) : s;
    if (Xml::sameIgnoringAsciiCase(word, "inf") || Xml::sameIgnoringAsciiCase(word, "infinity")) {
        value = negative ? -std::numeric_limits<T>::infinity() : std::numeric_limits<T>::infinity();
        return true;
    }
    if (Xml::sameIgnoringAsciiCase(word, "nan")) {
        value = std::numeric_limits<T>::quiet_NaN();
        return true;
    }
    return false;
}

// The xsd:double lexical form is checked here: std::from_chars alone stops
// quietly before trailing junk and refuses a leading '+'.
template <typename T>
T readFloating(std::string_view text, const char* typeName)
{
    const std::string_view s = detail::trimXmlSpace(text);
    if (T special{}; readSpecialFloating(s, special))
        return special;

    const auto fail = [&]() { detail::throwInvalidValue(typeName, text); };
    std::size_t pos = 0;
    if (pos < s.size() && (s[pos] == '+' || s[pos] == '-'))
        ++pos;
    bool nonZero = false; // tells underflow from a written zero
    std::size_t digits = 0;
    bool point = false;
    for (; pos < s.size(); ++pos) {
        const char c = s[pos];
        if (c >= '0' && c <= '9') {
            ++digits;
            nonZero = nonZero || c != '0';
        } else if (c == '.' && !point) {
            point = true;
        } else {
            break;
        }
    }
    if (digits == 0)
        fail();
    if (pos < s.size() && (s[pos] == 'e' || s[pos] == 'E')) {
        ++pos;
        if (pos < s.size() && (s[pos] == '+' || s[pos] == '-'))
            ++pos;
        const std::size_t exponentStart = pos;
        while (pos < s.size() && s[pos] >= '0' && s[pos] <= '9')
            ++pos;
        if (pos == exponentStart)
            fail();
    }
    if (pos != s.size())
        fail();

    const char* first = s.data() + (s[0] == '+' ? 1 : 0);
    const char* last = s.data() + s.size();
    T value{};
    const auto [end, error] = std::from_chars(first, last, value, std::chars_format::general);
    // from_chars reports overflow and underflow to zero as out of range and
    // reads subnormals exactly; the value checks guard the first for a library
    // that would round to infinity or zero instead.
    if (error != std::errc() || end != last || std::isinf(value) || (value == 0 && nonZero))
        fail();
    return value;
}

template <typename T>
std::string_view writeFloating(detail::NumberText& buffer, T value) noexcept
{
    if (std::isnan(value))
        return "NaN";
    if (std::isinf(value))
        return value < 0 ? "-INF" : "INF";
    // Shortest text that reads back to the same bits; "-0" for negative zero.
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return {buffer, static_cast<std::size_t>(result.ptr - buffer)};
}

// How toXmlString treats each byte.
enum ByteClass : unsigned char { kCopy, kEscape, kControl, kMultiByte };

constexpr std::array<unsigned char, 256> makeByteClasses()
{
    std::array<unsigned char, 256> classes{};
    for (int c = 0; c < 0x20; ++c)
        classes[c] = kControl;
    for (int c = 0x80; c < 0x100; ++c)
        classes[c] = kMultiByte;
    for (const unsigned char c : {'\t', '\n', '\r', '&', '<', '>', '"'})
        classes[c] = kEscape;
    return classes;
}

constexpr std::array<unsigned char, 256> kByteClasses = makeByteClasses();

std::string_view escapeFor(unsigned char c) noexcept
{
    switch (c) {
    case '&': return "&amp;";
    case '<': return "&lt;";
    case '>': return "&gt;";
    case '"': return "&quot;";
    // Character references, since a parser normalises literal tab, CR and LF
    // in attribute values to spaces.
    case '\t': return "&#9;";
    case '\n': return "&#10;";
    default: return "&#13;";
    }
}

[[noreturn]] void refuseText(std::string_view what, std::size_t offset)
{
    std::string message = "Text cannot be written as XML: ";
    message.append(what).append(" at byte offset ").append(std::to_string(offset));
    throw DomException(std::move(message));
}

// Length of the valid UTF-8 sequence at p (lead byte >= 0x80), or throws.
std::size_t utf8SequenceLength(const unsigned char* p, std::size_t available, std::size_t offset)
{
    const unsigned char lead = p[0];
    std::size_t length = 0;
    unsigned char low = 0x80;  // narrower ranges for the second byte rule out
    unsigned char high = 0xBF; // overlongs, surrogates and code points past U+10FFFF
    if (lead < 0xC0)
        refuseText("stray UTF-8 continuation byte", offset);
    if (lead < 0xC2)
        refuseText("overlong UTF-8 sequence", offset);
    if (lead < 0xE0) {
        length = 2;
    } else if (lead < 0xF0) {
        length = 3;
        if (lead == 0xE0)
            low = 0xA0;
        else if (lead == 0xED)
            high = 0x9F;
    } else if (lead < 0xF5) {
        length = 4;
        if (lead == 0xF0)
            low = 0x90;
        else if (lead == 0xF4)
            high = 0x8F;
    } else {
        refuseText(lead < 0xF8 ? "code point above U+10FFFF" : "invalid UTF-8 byte", offset);
    }
    for (std::size_t i = 1; i < length; ++i) {
        if (i >= available || (p[i] & 0xC0) != 0x80)
            refuseText("truncated UTF-8 sequence", offset);
    }
    if (p[1] < low)
        refuseText("overlong UTF-8 sequence", offset);
    if (p[1] > high)
        refuseText(lead == 0xED ? "UTF-16 surrogate encoded as UTF-8" : "code point above U+10FFFF",
                   offset);
    if (lead == 0xEF && p[1] == 0xBF && p[2] >= 0xBE)
        refuseText(p[2] == 0xBE ? "non-character U+FFFE" : "non-character U+FFFF", offset);
    return length;
}

} // namespace

namespace detail {

std::size_t plainXmlPrefix(std::string_view text) noexcept
{
    constexpr std::uint64_t ones = 0x0101010101010101ull;
    constexpr std::uint64_t highs = 0x8080808080808080ull;
    // Not zero when some byte of word is zero (exact as a whole, not per byte).
    const auto anyZeroByte = [](std::uint64_t word) { return (word - ones) & ~word & highs; };
    const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
    std::size_t i = 0;
#if defined(__SSE2__)
    // Sixteen bytes a step: a signed compare with 0x20 finds control bytes and
    // every byte of a multi-byte sequence at once.
    const __m128i space = _mm_set1_epi8(0x20);
    const __m128i amp = _mm_set1_epi8('&');
    const __m128i lt = _mm_set1_epi8('<');
    const __m128i gt = _mm_set1_epi8('>');
    const __m128i quot = _mm_set1_epi8('"');
    for (; text.size() - i >= 16; i += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + i));
        const __m128i special =
            _mm_or_si128(_mm_or_si128(_mm_cmplt_epi8(v, space), _mm_cmpeq_epi8(v, amp)),
                         _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, lt), _mm_cmpeq_epi8(v, gt)), _mm_cmpeq_epi8(v, quot)));
        const int mask = _mm_movemask_epi8(special);
        if (mask != 0) return i + static_cast<std::size_t>(__builtin_ctz(static_cast<unsigned>(mask)));
    }
#endif
    for (; text.size() - i >= 8; i += 8) {
        std::uint64_t word;
        std::memcpy(&word, bytes + i, sizeof word);
        const std::uint64_t special = (word & highs) | ((word - 0x20 * ones) & ~word & highs) |
                                      anyZeroByte(word ^ ('&' * ones)) | anyZeroByte(word ^ ('<' * ones)) |
                                      anyZeroByte(word ^ ('>' * ones)) | anyZeroByte(word ^ ('"' * ones));
        if (special) break;
    }
    while (i < text.size() && kByteClasses[bytes[i]] == kCopy) ++i;
    return i;
}

} // namespace detail

void appendXmlString(std::string& out, std::string_view text)
{
    const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t size = text.size();
    const std::size_t start = out.size();
    std::size_t copied = 0; // bytes before this are already in out
    std::size_t i = 0;
    try {
        while (i < size) {
            i += detail::plainXmlPrefix(text.substr(i));
            if (i == size)
                break;
            switch (kByteClasses[bytes[i]]) {
            case kMultiByte:
                i += utf8SequenceLength(bytes + i, size - i, i);
                break;
            case kEscape:
                out.append(text.substr(copied, i - copied)).append(escapeFor(bytes[i]));
                copied = ++i;
                break;
            default: {
                static constexpr char kHex[] = "0123456789ABCDEF";
                const char name[] = {'U', '+', '0', '0', kHex[bytes[i] >> 4], kHex[bytes[i] & 0xF], 0};
                refuseText(std::string("control character ") + name, i);
            }
            }
        }
    } catch (...) {
        // All or nothing: a refused text leaves no part of itself behind.
        out.resize(start);
        throw;
    }
    out.append(text.substr(copied));
}

std::string toXmlString(const std::string& text)
{
    std::string out;
    appendXmlString(out, text);
    return out;
}

namespace detail {

std::string_view formatValue(NumberText& buffer, int value) noexcept
{
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return {buffer, static_cast<std::size_t>(result.ptr - buffer)};
}
std::string_view formatValue(NumberText& buffer, float value) noexcept { return writeFloating(buffer, value); }
std::string_view formatValue(NumberText& buffer, double value) noexcept { return writeFloating(buffer, value); }
std::string_view formatValue(NumberText&, bool value) noexcept { return value ? "true" : "false"; }

template <typename T>
std::string formatted(T value)
{
    NumberText buffer;
    return std::string(formatValue(buffer, value));
}

std::string toText(bool value) { return formatted(value); }
std::string toText(int value) { return formatted(value); }
std::string toText(float value) { return formatted(value); }
std::string toText(double value) { return formatted(value); }
std::string toText(const DateTime& value) { return value.toString(); }

void fromText(std::string_view text, bool& value)
{
    const std::string_view s = trimXmlSpace(text);
    if (s == "true" || s == "1")
        value = true;
    else if (s == "false" || s == "0")
        value = false;
    else
        throwInvalidValue("boolean", text);
}

void fromText(std::string_view text, int& value)
{
    // By hand rather than from_chars, which refuses '+' and so needs the
    // same scan anyway.
    const std::string_view s = trimXmlSpace(text);
    std::size_t pos = 0;
    const bool negative = !s.empty() && s[0] == '-';
    if (!s.empty() && (s[0] == '-' || s[0] == '+'))
        ++pos;
    const std::uint64_t limit = negative ? std::uint64_t{1} << 31 : (std::uint64_t{1} << 31) - 1;
    std::uint64_t magnitude = 0;
    if (pos == s.size())
        throwInvalidValue("int", text);
    for (; pos < s.size(); ++pos) {
        const char c = s[pos];
        if (c < '0' || c > '9')
            throwInvalidValue("int", text);
        magnitude = magnitude * 10 + static_cast<unsigned>(c - '0');
        if (magnitude > limit)
            throwInvalidValue("int", text);
    }
    value = negative ? static_cast<int>(-static_cast<std::int64_t>(magnitude))
                     : static_cast<int>(magnitude);
}

void fromText(std::string_view text, float& value) { value = readFloating<float>(text, "float"); }
void fromText(std::string_view text, double& value)
{
    value = readFloating<double>(text, "double");
}
void fromText(std::string_view text, DateTime& value) { value = DateTime::parse(text); }

} // namespace detail

} // namespace Kavella::Soa::Common
