#include <gtest/gtest.h>

#include <limits>

#include "kvsoa/DateTime.hpp"
#include "kvsoa/DomException.hpp"

using namespace Kavella::Soa::Common;
using Kavella::Soa::Common::Xml::DomException;

namespace {

SysNanoseconds since1970(std::int64_t nanoseconds)
{
    return SysNanoseconds(std::chrono::nanoseconds(nanoseconds));
}

} // namespace

// Each text's instant, and the same text again from the instant and the text's offset.
TEST(DateTimeChrono, ConvertsToAndFromTheSystemClock)
{
    constexpr std::int64_t max = std::numeric_limits<std::int64_t>::max();
    constexpr std::int64_t min = std::numeric_limits<std::int64_t>::min();
    const struct {
        const char* text;
        std::int64_t nanoseconds;
    } rows[] = {
        {"1970-01-01T00:00:00Z", 0},
        {"1969-12-31T23:59:59.999999999Z", -1},
        {"1970-01-01T01:00:00+01:00", 0},
        {"1969-12-31T14:00:00.5-10:00", 500000000},
        {"2010-09-01T08:30:00.25+02:00", 1283322600250000000},
        {"2000-02-29T12:00:00-05:30", 951845400000000000},
        {"2100-03-01T00:00:00Z", 4107542400000000000},
        {"1900-02-28T23:59:59Z", -2203891201000000000},
        {"2262-04-11T23:47:16.854775807Z", max},
        {"1677-09-21T00:12:43.145224192Z", min},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.text);
        const DateTime value = DateTime::parse(row.text);
        EXPECT_EQ(value.toSysTime(), since1970(row.nanoseconds));
        EXPECT_EQ(DateTime::fromSysTime(value.toSysTime(), value.timeZoneOffsetMinutes()), value);
    }
    // A local time counts as UTC; "Z" unless an offset is given.
    EXPECT_EQ(DateTime::parse("1970-01-02T00:00:00").toSysTime(), since1970(86400000000000));
    EXPECT_EQ(DateTime::fromSysTime(since1970(0)).toString(), "1970-01-01T00:00:00Z");
}

TEST(DateTimeChrono, RefusesWhatTheOtherSideCannotHold)
{
    for (const char* text : {"2262-04-11T23:47:16.854775808Z", "1677-09-21T00:12:43.145224191Z", "9999-12-31T00:00:00Z",
                             "0001-01-01T00:00:00Z", "-0001-01-01T00:00:00Z"}) {
        EXPECT_THROW(DateTime::parse(text).toSysTime(), DomException) << text;
    }
    EXPECT_THROW(DateTime::fromSysTime(since1970(0), 14 * 60 + 1), DomException);
    EXPECT_EQ(DateTime::fromSysTime(since1970(0), -14 * 60).toString(), "1969-12-31T10:00:00-14:00");
}
