#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

#include "kvsoa/Export.hpp"

namespace Kavella::Soa::Common {

/// A point in time as the system clock counts it (UTC, from 1970-01-01, leap
/// seconds not counted), to the nanosecond: the type C++20 names
/// std::chrono::sys_time<std::chrono::nanoseconds>.
using SysNanoseconds = std::chrono::time_point<std::chrono::system_clock, std::chrono::nanoseconds>;

/// An xsd:dateTime value: a calendar date, a time of day with up to nine
/// fractional digits, and an optional time-zone offset. Equality compares the
/// fields as written (12:00Z and 13:00+01:00 are different values), so that a
/// value read back from its text is equal to the value written.
class KVSOA_API DateTime {
public:
    /// 0001-01-01T00:00:00, without time zone.
    DateTime() noexcept = default;
    /// Throws DomException for an impossible date or time.
    DateTime(int year, int month, int day, int hour = 0, int minute = 0, int second = 0,
             int nanosecond = 0);

    /// The year; negative years are BCE, there is no year 0.
    int year() const noexcept { return m_year; }
    /// The month, 1 to 12.
    int month() const noexcept { return m_month; }
    /// The day of the month, from 1.
    int day() const noexcept { return m_day; }
    /// The hour, 0 to 23.
    int hour() const noexcept { return m_hour; }
    /// The minute, 0 to 59.
    int minute() const noexcept { return m_minute; }
    /// The second, 0 to 59.
    int second() const noexcept { return m_second; }
    /// The fraction of the second in nanoseconds.
    int nanosecond() const noexcept { return m_nanosecond; }

    /// True when the value carries a time-zone offset.
    bool hasTimeZone() const noexcept { return m_hasTimeZone; }
    /// Offset from UTC in minutes (0 for "Z"); meaningful only with a time zone.
    int timeZoneOffsetMinutes() const noexcept { return m_offsetMinutes; }
    /// Throws DomException outside -14:00 .. +14:00.
    void setTimeZoneOffset(int offsetMinutes);
    /// Makes the value a local time, without time zone.
    void clearTimeZone() noexcept;

    /// The canonical xsd:dateTime text, e.g. "2010-09-01T08:30:00.25Z".
    std::string toString() const;
    /// Reads xsd:dateTime; surrounding XML whitespace is allowed. A fraction
    /// finer than the nanosecond is rounded to the nearest one, halves up,
    /// carrying into the seconds and on. Throws DomException.
    static DateTime parse(std::string_view text);

    /// The value that instant has where the clocks are offsetMinutes ahead of
    /// UTC (0 writes "Z"). Throws DomException outside -14:00 .. +14:00.
    static DateTime fromSysTime(SysNanoseconds instant, int offsetMinutes = 0);
    /// The instant the value stands for, its offset taken off (pair it with
    /// timeZoneOffsetMinutes() to keep how it was written). A local time, which
    /// has no time zone, is taken as UTC: ask hasTimeZone() first where that
    /// matters. Throws DomException for a value beyond what the type counts
    /// (before 1677-09-21 or after 2262-04-11).
    SysNanoseconds toSysTime() const;

    /// Field by field, as written; see the class description.
    friend bool operator==(const DateTime& a, const DateTime& b) noexcept
    {
        return a.m_year == b.m_year && a.m_month == b.m_month && a.m_day == b.m_day &&
               a.m_hour == b.m_hour && a.m_minute == b.m_minute && a.m_second == b.m_second &&
               a.m_nanosecond == b.m_nanosecond && a.m_hasTimeZone == b.m_hasTimeZone &&
               (!a.m_hasTimeZone || a.m_offsetMinutes == b.m_offsetMinutes);
    }
    /// Not operator==.
    friend bool operator!=(const DateTime& a, const DateTime& b) noexcept { return !(a == b); }

private:
    std::int32_t m_year = 1;
    std::int32_t m_nanosecond = 0;
    std::int16_t m_offsetMinutes = 0;
    std::uint8_t m_month = 1;
    std::uint8_t m_day = 1;
    std::uint8_t m_hour = 0;
    std::uint8_t m_minute = 0;
    std::uint8_t m_second = 0;
    bool m_hasTimeZone = false;
};

} // namespace Kavella::Soa::Common
