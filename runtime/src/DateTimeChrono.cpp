// DateTime to and from the system clock's nanoseconds: days counted on the
// proleptic Gregorian calendar, as xsd:dateTime counts them.

#include <limits>

#include "kvsoa/DateTime.hpp"
#include "kvsoa/DomException.hpp"

namespace Kavella::Soa::Common {

namespace {

constexpr std::int64_t secondsPerDay = 86400;
constexpr std::int64_t nanosecondsPerSecond = 1000000000;

// Days from 1970-01-01 of an astronomical year (year 0 is 1 BCE), and back:
// years taken from March, so that February's leap day ends them.
std::int64_t daysFromCivil(std::int64_t year, int month, int day) noexcept
{
    year -= month <= 2 ? 1 : 0;
    const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
    const std::int64_t yearOfEra = year - era * 400;
    const std::int64_t dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
    const std::int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

struct Civil {
    std::int64_t year;
    int month;
    int day;
};

Civil civilFromDays(std::int64_t days) noexcept
{
    days += 719468;
    const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const std::int64_t dayOfEra = days - era * 146097;
    const std::int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const std::int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const std::int64_t shiftedMonth = (5 * dayOfYear + 2) / 153;
    const int day = static_cast<int>(dayOfYear - (153 * shiftedMonth + 2) / 5 + 1);
    const int month = static_cast<int>(shiftedMonth < 10 ? shiftedMonth + 3 : shiftedMonth - 9);
    return {yearOfEra + era * 400 + (month <= 2 ? 1 : 0), month, day};
}

std::int64_t floorDivide(std::int64_t value, std::int64_t by) noexcept
{
    return value / by - ((value % by) < 0 ? 1 : 0);
}

} // namespace

DateTime DateTime::fromSysTime(SysNanoseconds instant, int offsetMinutes)
{
    DateTime zone;
    zone.setTimeZoneOffset(offsetMinutes); // refuses an offset out of range before anything is worked out
    const std::int64_t count = instant.time_since_epoch().count();
    const std::int64_t seconds = floorDivide(count, nanosecondsPerSecond) + std::int64_t{offsetMinutes} * 60;
    // The remainder itself, not count less the floor's product, which overflows at the earliest second.
    const std::int64_t remainder = count % nanosecondsPerSecond;
    const auto nanosecond = static_cast<int>(remainder < 0 ? remainder + nanosecondsPerSecond : remainder);
    const std::int64_t days = floorDivide(seconds, secondsPerDay);
    const auto secondOfDay = static_cast<int>(seconds - days * secondsPerDay);
    const Civil date = civilFromDays(days);
    // Astronomical year 0 is 1 BCE, which DateTime writes as -0001.
    const auto year = static_cast<int>(date.year <= 0 ? date.year - 1 : date.year);
    DateTime value(year, date.month, date.day, secondOfDay / 3600, secondOfDay / 60 % 60, secondOfDay % 60, nanosecond);
    value.setTimeZoneOffset(offsetMinutes);
    return value;
}

SysNanoseconds DateTime::toSysTime() const
{
    const std::int64_t year = m_year < 0 ? std::int64_t{m_year} + 1 : m_year;
    std::int64_t seconds = daysFromCivil(year, m_month, m_day) * secondsPerDay + m_hour * 3600 + m_minute * 60 + m_second;
    if (m_hasTimeZone) seconds -= std::int64_t{m_offsetMinutes} * 60;
    // At either end only part of the last second fits.
    const std::int64_t limit = std::numeric_limits<std::int64_t>::max() / nanosecondsPerSecond;
    const std::int64_t lastNanosecond = std::numeric_limits<std::int64_t>::max() % nanosecondsPerSecond;
    if (seconds > limit || seconds < -limit - 1 || (seconds == limit && m_nanosecond > lastNanosecond) ||
        (seconds == -limit - 1 && m_nanosecond < nanosecondsPerSecond - lastNanosecond - 1)) {
        throw Xml::DomException("DateTime " + toString() + " is beyond the nanoseconds a system time counts");
    }
    // The earliest second's count alone lies below what int64 holds; its
    // nanoseconds bring it back, so a negative second is counted from its end.
    const std::int64_t whole = seconds < 0 ? (seconds + 1) * nanosecondsPerSecond : seconds * nanosecondsPerSecond;
    const std::int64_t part = seconds < 0 ? m_nanosecond - nanosecondsPerSecond : m_nanosecond;
    return SysNanoseconds(std::chrono::nanoseconds(whole + part));
}

} // namespace Kavella::Soa::Common
