#include <gtest/gtest.h>

#include <array>
#include <random>
#include <string>
#include <utility>

#include "kvsoa/Conversions.hpp"
#include "kvsoa/DateTime.hpp"
#include "kvsoa/DomException.hpp"

using namespace Kavella::Soa::Common;
using Kavella::Soa::Common::Xml::DomException;

TEST(DateTime, ReadsAndWritesCanonicalText)
{
    // Second text: the canonical one, when it differs.
    const std::pair<const char*, const char*> accepted[] = {
        {"2010-09-01T08:30:00.25Z", ""}, {"2001-01-01T00:00:00.000000001", ""},
        {"2010-09-01T08:30:00.250000000+01:00", "2010-09-01T08:30:00.25+01:00"},
        {" 2001-01-01T00:00:00.1000000000000\n", "2001-01-01T00:00:00.1"},
        {"2001-01-01T00:00:00.0", "2001-01-01T00:00:00"}, {"2000-02-29T00:00:00", ""},
        {"2024-02-29T23:59:59.999999999-14:00", ""}, {"2023-06-30T12:00:00+05:45", ""},
        {"1999-12-31T24:00:00.000+14:00", "1999-12-31T24:00:00+14:00"},
        {"2023-06-30T12:00:00-00:00", "2023-06-30T12:00:00Z"}, {"-0001-01-01T00:00:00Z", ""},
        {"-0004-02-29T00:00:00", ""}, {"12345-06-07T01:02:03", ""},
        {"2147483647-12-31T23:59:59", ""}, {"-2147483648-01-01T00:00:00", ""},
        // Finer than the nanosecond: rounded, halves up, carrying on.
        {"2023-01-01T12:00:00.1234567894", "2023-01-01T12:00:00.123456789"},
        {"2023-01-01T12:00:00.12345678950", "2023-01-01T12:00:00.12345679"},
        {"2023-12-31T23:59:59.9999999995Z", "2024-01-01T00:00:00Z"},
        {"2024-02-28T23:59:59.99999999999", "2024-02-29T00:00:00"},
        {"-0001-12-31T23:59:59.9999999999", "0001-01-01T00:00:00"},
        {"2023-01-01T24:00:00.0000000000", "2023-01-01T24:00:00"}};
    for (const auto& [text, canonical] : accepted) {
        const DateTime value = DateTime::parse(text);
        EXPECT_EQ(value.toString(), *canonical ? canonical : text);
        EXPECT_EQ(DateTime::parse(value.toString()), value) << text;
    }
}

TEST(DateTime, Rejects)
{
    for (const char* text :
         {"", "2023-01-01", "2023-01-01T12:00", "2023-01-01 12:00:00", "+2023-01-01T00:00:00",
          "0000-01-01T00:00:00", "-0000-01-01T00:00:00", "02023-01-01T00:00:00",
          "999-01-01T00:00:00", "2147483648-01-01T00:00:00", "-2147483649-01-01T00:00:00",
          "1900-02-29T00:00:00", "2023-02-29T00:00:00", "2024-02-30T00:00:00",
          "2023-04-31T00:00:00", "2023-13-01T00:00:00", "2023-00-01T00:00:00",
          "2023-01-00T00:00:00", "2023-1-01T00:00:00", "2023-01-01T23:59:60",
          "2023-01-01T24:00:01", "2023-01-01T24:01:00", "2023-01-01T24:00:00.1",
          "2023-01-01T25:00:00", "2023-01-01T12:60:00", "2023-01-01T12:00:00.",
          "2023-01-01T24:00:00.0000000001", "2147483647-12-31T23:59:59.9999999999",
          "2023-01-01T12:00:00+14:01",
          "2023-01-01T12:00:00+15:00", "2023-01-01T12:00:00-14:30", "2023-01-01T12:00:00+10:60",
          "2023-01-01T12:00:00+1:00", "2023-01-01T12:00:00+01:00:00", "2023-01-01T12:00:00z",
          "2023-01-01T12:00:00ZZ", "2023-01-01T12:00:00 Z", "2023-01-01t12:00:00",
          "2023-01-01T1a:00:00"}) {
        try {
            DateTime::parse(text);
            ADD_FAILURE() << "accepted " << text;
        } catch (const DomException& e) {
            EXPECT_EQ(e.getMessage(), std::string("Invalid dateTime value \"") + text + '"');
        }
    }
}

TEST(DateTime, ConstructorValidates)
{
    EXPECT_EQ(DateTime(2024, 2, 29, 24), DateTime::parse("2024-02-29T24:00:00"));
    EXPECT_EQ(DateTime(), DateTime::parse("0001-01-01T00:00:00"));
    EXPECT_EQ(DateTime(1, 2, 3, 4, 5, 6, 700).toString(), "0001-02-03T04:05:06.0000007");
    const std::pair<std::array<int, 7>, const char*> invalid[] = {
        {{2023, 2, 30, 0, 0, 0, 0}, "2023-02-30T00:00:00"},
        {{0, 1, 1, 0, 0, 0, 0}, "0000-01-01T00:00:00"},
        {{1900, 2, 29, 0, 0, 0, 0}, "1900-02-29T00:00:00"},
        {{2023, 13, 1, 0, 0, 0, 0}, "2023-13-01T00:00:00"},
        {{2023, 1, 1, 24, 0, 1, 0}, "2023-01-01T24:00:01"},
        {{2023, 1, 1, 24, 0, 0, 1}, "2023-01-01T24:00:00.000000001"},
        {{2023, 1, 1, 0, 0, 60, 0}, "2023-01-01T00:00:60"},
        {{-5, 1, 1, -1, 0, 0, 0}, "-0005-01-01T-01:00:00"},
        {{2023, 1, 1, 0, 0, 0, 1000000000}, "2023-01-01T00:00:00.1000000000"}};
    for (const auto& [f, text] : invalid) {
        try {
            DateTime(f[0], f[1], f[2], f[3], f[4], f[5], f[6]);
            ADD_FAILURE() << text;
        } catch (const DomException& e) {
            EXPECT_EQ(e.getMessage(), std::string("Invalid dateTime value \"") + text + '"');
        }
    }
}

TEST(DateTime, TimeZone)
{
    DateTime value(2023, 6, 1, 12);
    value.setTimeZoneOffset(-840);
    EXPECT_EQ(value.toString(), "2023-06-01T12:00:00-14:00");
    value.setTimeZoneOffset(0);
    EXPECT_EQ(lexical_cast<std::string>(value), "2023-06-01T12:00:00Z");
    EXPECT_THROW(value.setTimeZoneOffset(841), DomException);
    EXPECT_THROW(value.setTimeZoneOffset(-841), DomException);
    EXPECT_NE(value, DateTime(2023, 6, 1, 12));
    value.clearTimeZone();
    EXPECT_EQ(value, lexical_cast<DateTime>(std::string("2023-06-01T12:00:00")));
}

TEST(DateTime, RandomValuesRoundTrip)
{
    std::mt19937 random(7);
    const int days[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const int units[] = {1, 10, 100, 1000, 100000, 100000000, 1000000000};
    for (int i = 0; i < 20000; ++i) {
        const int year = static_cast<int>(random() % 40000) - 20000;
        const int month = static_cast<int>(random() % 12) + 1;
        const int day = static_cast<int>(random() % static_cast<unsigned>(days[month - 1])) + 1;
        const bool leap = year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
        // Fractions of every length, trailing zeros included.
        const int nanosecond = static_cast<int>(random() % 1000000000);
        const int unit = units[random() % 7];
        if (year == 0 || (month == 2 && day == 29 && !leap))
            continue;
        DateTime value(year, month, day, static_cast<int>(random() % 24),
                       static_cast<int>(random() % 60), static_cast<int>(random() % 60),
                       nanosecond - nanosecond % unit);
        if (random() % 3)
            value.setTimeZoneOffset(static_cast<int>(random() % 1681) - 840);
        ASSERT_EQ(DateTime::parse(value.toString()), value) << value.toString();
    }
}
