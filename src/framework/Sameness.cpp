// When values are the same beyond their bits: instants across time zones, and
// the runtime's classes, which have no rows to compare by.

#include "ValueSameness.hpp"

#include <cstdint>
#include <utility>

namespace Velmora::Schemas::Mes::_2010_09::Workinstructions::detail {

namespace {

// Seconds and nanoseconds from a fixed day on the runtime's calendar (years as
// written, leap years by the Gregorian rule), the time zone taken off.
std::pair<std::int64_t, int> instant(const DateTime& time) noexcept
{
    const int month = time.month();
    const std::int64_t year = time.year() - (month <= 2 ? 1 : 0); // years from March, so February ends them
    const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
    const std::int64_t yearOfEra = year - era * 400;
    const std::int64_t dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + time.day() - 1;
    const std::int64_t days = era * 146097 + yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    std::int64_t seconds = days * 86400 + time.hour() * 3600 + time.minute() * 60 + time.second();
    if (time.hasTimeZone()) seconds -= std::int64_t{time.timeZoneOffsetMinutes()} * 60;
    return {seconds, time.nanosecond()};
}

} // namespace

bool sameInstant(const DateTime& a, const DateTime& b) noexcept
{
    return a.hasTimeZone() == b.hasTimeZone() && instant(a) == instant(b);
}

bool sameModelObject(const BaseObject& a, const BaseObject& b)
{
    return static_cast<const ModelObject&>(a).getUid() == static_cast<const ModelObject&>(b).getUid();
}

bool sameServiceData(const BaseObject& a, const BaseObject& b)
{
    const auto& x = static_cast<const ServiceData&>(a);
    const auto& y = static_cast<const ServiceData&>(b);
    return x.getCreatedArray() == y.getCreatedArray() && x.getUpdatedArray() == y.getUpdatedArray() &&
           x.getDeletedArray() == y.getDeletedArray() && x.getPartialErrorArray() == y.getPartialErrorArray();
}

} // namespace Velmora::Schemas::Mes::_2010_09::Workinstructions::detail
