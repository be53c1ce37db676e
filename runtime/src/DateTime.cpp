#include "kvsoa/DateTime.hpp"

#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>
#include <string_view>

#include "kvsoa/DomException.hpp"
#include "ValueText.hpp"

namespace Kavella::Soa::Common {

namespace {

constexpr int kMaxOffsetMinutes = 14 * 60;

bool isLeapYear(std::int64_t year) noexcept
{
    return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
}

int daysInMonth(std::int64_t year, int month) noexcept
{
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && isLeapYear(year) ? 29 : kDays[month - 1];
}

// One check for both the constructor and the reader, so that whatever can be
// built can also be written and read back.
bool isValid(std::int64_t year, int month, int day, int hour, int minute, int second,
             std::int64_t nanosecond) noexcept
{
    if (year == 0 || year < std::numeric_limits<std::int32_t>::min() ||
        year > std::numeric_limits<std::int32_t>::max())
        return false;
    if (month < 1 || month > 12 || day < 1 || day > daysInMonth(year, month))
        return false;
    if (minute < 0 || minute > 59 || second < 0 || second > 59 || nanosecond < 0 ||
        nanosecond > 999'999'999)
        return false;
    // 24:00:00 is the end of the day, kept as written.
    if (hour == 24)
        return minute == 0 && second == 0 && nanosecond == 0;
    return hour >= 0 && hour < 24;
}

// Rounding up may carry through every field; false past the last year.
bool addNanosecond(std::int64_t& year, int& month, int& day, int& hour, int& minute, int& second,
                   std::int64_t& nanosecond) noexcept
{
    if (++nanosecond < 1'000'000'000)
        return true;
    nanosecond = 0;
    if (++second < 60)
        return true;
    second = 0;
    if (++minute < 60)
        return true;
    minute = 0;
    if (++hour < 24)
        return true;
    hour = 0;
    if (++day <= daysInMonth(year, month))
        return true;
    day = 1;
    if (++month <= 12)
        return true;
    month = 1;
    year = year == -1 ? 1 : year + 1;
    return year <= std::numeric_limits<std::int32_t>::max();
}

// A writer formats every date it writes: the text is put together in a
// buffer and the string made once from it, not grown a character at a time.

/// The decimal digits of value, zero-padded to width, at out; returns the end.
char* putNumber(char* out, std::int64_t value, int width)
{
    std::uint64_t magnitude = value < 0 ? 0 - static_cast<std::uint64_t>(value)
                                        : static_cast<std::uint64_t>(value);
    char digits[24];
    int count = 0;
    do {
        digits[count++] = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    if (value < 0)
        *out++ = '-';
    for (int i = count; i < width; ++i)
        *out++ = '0';
    while (count > 0)
        *out++ = digits[--count];
    return out;
}

// Room for every field at its widest (out of range too), with separators.
using DateTimeText = char[160];

char* putOffset(char* out, int offsetMinutes)
{
    if (offsetMinutes == 0) {
        *out++ = 'Z';
        return out;
    }
    const std::int64_t magnitude = offsetMinutes < 0 ? -std::int64_t{offsetMinutes}
                                                     : offsetMinutes;
    *out++ = offsetMinutes < 0 ? '-' : '+';
    out = putNumber(out, magnitude / 60, 2);
    *out++ = ':';
    return putNumber(out, magnitude % 60, 2);
}

std::string offsetText(int offsetMinutes)
{
    DateTimeText text;
    return std::string(text, putOffset(text, offsetMinutes));
}

// Also used to show the fields of a rejected constructor call, so it must cope
// with values out of range.
std::string format(std::int64_t year, int month, int day, int hour, int minute, int second,
                   std::int64_t nanosecond, bool hasTimeZone, int offsetMinutes)
{
    DateTimeText text;
    char* out = putNumber(text, year, 4);
    *out++ = '-';
    out = putNumber(out, month, 2);
    *out++ = '-';
    out = putNumber(out, day, 2);
    *out++ = 'T';
    out = putNumber(out, hour, 2);
    *out++ = ':';
    out = putNumber(out, minute, 2);
    *out++ = ':';
    out = putNumber(out, second, 2);
    if (nanosecond != 0) {
        *out++ = '.';
        if (nanosecond > 0 && nanosecond < 1'000'000'000) {
            // Nine digits, trailing zeros dropped; one at least is not zero.
            out = putNumber(out, nanosecond, 9);
            while (out[-1] == '0')
                --out;
        } else {
            out = putNumber(out, nanosecond, 0);
        }
    }
    if (hasTimeZone)
        out = putOffset(out, offsetMinutes);
    return std::string(text, out);
}

// Reads exactly `count` digits; false if any is not one.
bool readDigits(std::string_view text, std::size_t& pos, std::size_t count, int& value) noexcept
{
    if (text.size() - pos < count)
        return false;
    int result = 0;
    for (std::size_t end = pos + count; pos < end; ++pos) {
        const char c = text[pos];
        if (c < '0' || c > '9')
            return false;
        result = result * 10 + (c - '0');
    }
    value = result;
    return true;
}

bool expect(std::string_view text, std::size_t& pos, char c) noexcept
{
    if (pos >= text.size() || text[pos] != c)
        return false;
    ++pos;
    return true;
}

bool isDigit(char c) noexcept { return c >= '0' && c <= '9'; }

} // namespace

DateTime::DateTime(int year, int month, int day, int hour, int minute, int second,
                   int nanosecond)
{
    if (!isValid(year, month, day, hour, minute, second, nanosecond))
        detail::throwInvalidValue(
            "dateTime", format(year, month, day, hour, minute, second, nanosecond, false, 0));
    m_year = year;
    m_nanosecond = nanosecond;
    m_month = static_cast<std::uint8_t>(month);
    m_day = static_cast<std::uint8_t>(day);
    m_hour = static_cast<std::uint8_t>(hour);
    m_minute = static_cast<std::uint8_t>(minute);
    m_second = static_cast<std::uint8_t>(second);
}

void DateTime::setTimeZoneOffset(int offsetMinutes)
{
    if (offsetMinutes < -kMaxOffsetMinutes || offsetMinutes > kMaxOffsetMinutes) {
        detail::throwInvalidValue("time zone offset", offsetText(offsetMinutes));
    }
    m_offsetMinutes = static_cast<std::int16_t>(offsetMinutes);
    m_hasTimeZone = true;
}

void DateTime::clearTimeZone() noexcept
{
    m_hasTimeZone = false;
    m_offsetMinutes = 0;
}

std::string DateTime::toString() const
{
    return format(m_year, m_month, m_day, m_hour, m_minute, m_second, m_nanosecond,
                  m_hasTimeZone, m_offsetMinutes);
}

DateTime DateTime::parse(std::string_view text)
{
    const std::string_view s = detail::trimXmlSpace(text);
    const auto fail = [text]() { detail::throwInvalidValue("dateTime", text); };

    std::size_t pos = 0;
    const bool negative = !s.empty() && s[0] == '-';
    if (negative)
        ++pos;

    // At least four year digits, more only without a leading zero; ten digits
    // already exceed the 32-bit range checked below.
    const std::size_t yearStart = pos;
    std::int64_t year = 0;
    while (pos < s.size() && isDigit(s[pos]) && pos - yearStart < 11)
        year = year * 10 + (s[pos++] - '0');
    const std::size_t yearDigits = pos - yearStart;
    if (yearDigits < 4 || (yearDigits > 4 && s[yearStart] == '0'))
        fail();
    if (negative)
        year = -year;

    int month = 0, day = 0, hour = 0, minute = 0, second = 0;
    if (!(expect(s, pos, '-') && readDigits(s, pos, 2, month) && expect(s, pos, '-') &&
          readDigits(s, pos, 2, day) && expect(s, pos, 'T') && readDigits(s, pos, 2, hour) &&
          expect(s, pos, ':') && readDigits(s, pos, 2, minute) && expect(s, pos, ':') &&
          readDigits(s, pos, 2, second)))
        fail();

    std::int64_t nanosecond = 0;
    bool roundUp = false;
    if (pos < s.size() && s[pos] == '.') {
        ++pos;
        const std::size_t fractionStart = pos;
        std::int64_t scale = 100'000'000;
        for (; pos < s.size() && isDigit(s[pos]); ++pos) {
            const int digit = s[pos] - '0';
            // Past the nanosecond, only the first digit rounds (halves up);
            // 24:00:00 may not have a fraction at all.
            if (scale == 0 && digit != 0 && hour == 24)
                fail();
            if (pos - fractionStart == 9)
                roundUp = digit >= 5;
            nanosecond += digit * scale;
            scale /= 10;
        }
        if (pos == fractionStart)
            fail();
    }

    bool hasTimeZone = false;
    int offsetMinutes = 0;
    if (pos < s.size()) {
        hasTimeZone = true;
        const char sign = s[pos++];
        if (sign == '+' || sign == '-') {
            int offsetHours = 0, offsetMinutesPart = 0;
            if (!(readDigits(s, pos, 2, offsetHours) && expect(s, pos, ':') &&
                  readDigits(s, pos, 2, offsetMinutesPart)) ||
                offsetMinutesPart > 59)
                fail();
            offsetMinutes = offsetHours * 60 + offsetMinutesPart;
            if (offsetMinutes > kMaxOffsetMinutes)
                fail();
            if (sign == '-')
                offsetMinutes = -offsetMinutes;
        } else if (sign != 'Z') {
            fail();
        }
    }
    if (pos != s.size() || !isValid(year, month, day, hour, minute, second, nanosecond))
        fail();
    if (roundUp && !addNanosecond(year, month, day, hour, minute, second, nanosecond))
        fail();

    DateTime result;
    result.m_year = static_cast<std::int32_t>(year);
    result.m_nanosecond = static_cast<std::int32_t>(nanosecond);
    result.m_month = static_cast<std::uint8_t>(month);
    result.m_day = static_cast<std::uint8_t>(day);
    result.m_hour = static_cast<std::uint8_t>(hour);
    result.m_minute = static_cast<std::uint8_t>(minute);
    result.m_second = static_cast<std::uint8_t>(second);
    result.m_hasTimeZone = hasTimeZone;
    result.m_offsetMinutes = static_cast<std::int16_t>(offsetMinutes);
    return result;
}

} // namespace Kavella::Soa::Common
