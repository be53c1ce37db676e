#include <gtest/gtest.h>

#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <locale>
#include <random>
#include <string>
#include <utility>

#include "kvsoa/Conversions.hpp"
#include "kvsoa/DomException.hpp"

using namespace Kavella::Soa::Common;
using Kavella::Soa::Common::Xml::DomException;

namespace {

template <typename T>
std::string rejection(const std::string& text)
{
    try {
        lexical_cast<T>(text);
    } catch (const DomException& e) {
        return e.getMessage();
    }
    return "accepted";
}

template <typename T>
void expectRejected(const char* typeName, std::initializer_list<const char*> texts)
{
    for (const char* text : texts)
        EXPECT_EQ(rejection<T>(text), std::string("Invalid ") + typeName + " value \"" + text + '"');
}

template <typename T, typename Bits>
void expectBitExactRoundTrips(int count)
{
    std::mt19937_64 random(20240601);
    for (int i = 0; i < count; ++i) {
        auto bits = static_cast<Bits>(random());
        // Every fourth draw is a subnormal: sign and fraction bits only.
        if (i % 4 == 0)
            bits &= (Bits{1} << (sizeof(Bits) * 8 - 1)) |
                    ((Bits{1} << (std::numeric_limits<T>::digits - 1)) - 1);
        T value, back;
        std::memcpy(&value, &bits, sizeof value);
        if (std::isnan(value))
            continue;
        const std::string text = lexical_cast<std::string>(value);
        back = lexical_cast<T>(text);
        ASSERT_EQ(std::memcmp(&back, &value, sizeof value), 0) << text;
    }
}

struct CommaPunct : std::numpunct<char> {
    char do_decimal_point() const override { return ','; }
    char do_thousands_sep() const override { return '.'; }
    std::string do_grouping() const override { return "\3"; }
};

} // namespace

TEST(Int, ReadsAndWrites)
{
    const std::pair<const char*, int> accepted[] = {
        {"0", 0}, {"-0", 0}, {"+17", 17}, {" \t42\r\n", 42}, {"000123", 123},
        {"2147483647", INT_MAX}, {"-2147483648", INT_MIN}, {"-00002147483648", INT_MIN}};
    for (const auto& [text, value] : accepted)
        EXPECT_EQ(lexical_cast<int>(std::string(text)), value) << text;
    expectRejected<int>("int", {"", " ", "+", "-", "2147483648", "-2147483649", "1.5x", "1.0",
                                "99999999999999999999", "0x10", "1,5", "1 2", "++1", "1e3"});
    EXPECT_EQ(rejection<int>("\v1"), "Invalid int value \"\\x0B1\"");
    EXPECT_EQ(lexical_cast<std::string>(INT_MIN), "-2147483648");
}

TEST(Bool, ReadsAndWrites)
{
    EXPECT_TRUE(lexical_cast<bool>(std::string(" true\n")) && lexical_cast<bool>(std::string("1")));
    EXPECT_FALSE(lexical_cast<bool>(std::string("false")) || lexical_cast<bool>(std::string("0")));
    expectRejected<bool>("boolean", {"", "TRUE", "True", "yes", "2", "01", "true false"});
    EXPECT_EQ(lexical_cast<std::string>(true) + lexical_cast<std::string>(false), "truefalse");
}

TEST(Floating, Reads)
{
    const double inf = std::numeric_limits<double>::infinity();
    const std::pair<const char*, double> accepted[] = {
        {"1.5", 1.5}, {" +1.5\t", 1.5}, {"1.", 1}, {".5", .5}, {"-.5e1", -5}, {"1E+2", 100},
        {"0.000", 0}, {"0e-500", 0}, {"1e-320", 1e-320}, {"4.9e-324", 4.9e-324},
        {"2.4703282292062328e-324", 4.9e-324}, {"1.7976931348623158e308", DBL_MAX},
        {"INF", inf}, {"+INF", inf}, {"-INF", -inf},
        // as peers write them: any case, either sign, "Infinity" spelled out
        {"inf", inf}, {"-inf", -inf}, {"+Inf", inf}, {"Infinity", inf}, {" -INFINITY ", -inf}};
    for (const auto& [text, value] : accepted)
        EXPECT_EQ(lexical_cast<double>(std::string(text)), value) << text;
    EXPECT_TRUE(std::signbit(lexical_cast<double>(std::string("-0"))));
    for (const char* nan : {"NaN", "nan", "NAN", "-nan", "+NaN"})
        EXPECT_TRUE(std::isnan(lexical_cast<double>(std::string(nan)))) << nan;
    expectRejected<double>("double", {"", ".", "e5", "1e+", "+-1", "1 .5", "1..5", "infin", "nann",
                                      "--inf", "+-nan", "in f", "INF x", "0x1p3", "1,5", "1e400",
                                      "-1e400", "1e-400", "2.4703282292062327e-324",
                                      "1.7976931348623159e308", "1e99999999999999999999"});

    EXPECT_EQ(lexical_cast<float>(std::string("1e-40")), 1e-40f); // subnormal
    EXPECT_EQ(lexical_cast<float>(std::string("1e-45")), FLT_TRUE_MIN);
    EXPECT_EQ(lexical_cast<float>(std::string("3.4028235e38")), FLT_MAX);
    EXPECT_EQ(lexical_cast<float>(std::string("0e-50")), 0.0f);
    EXPECT_EQ(lexical_cast<float>(std::string("-Infinity")), -std::numeric_limits<float>::infinity());
    expectRejected<float>("float", {"1e39", "-1e39", "3.4028236e38", "1e-50", "7e-46", "infinit"});
}

TEST(Floating, WritesShortestText)
{
    const double inf = std::numeric_limits<double>::infinity();
    const std::pair<double, const char*> doubles[] = {
        {0.1, "0.1"}, {1, "1"}, {-0.0, "-0"}, {123456.789, "123456.789"}, {1e21, "1e+21"},
        {5e-324, "5e-324"}, {DBL_MAX, "1.7976931348623157e+308"}, {inf, "INF"}, {-inf, "-INF"},
        {std::numeric_limits<double>::quiet_NaN(), "NaN"}};
    for (const auto& [value, text] : doubles)
        EXPECT_EQ(lexical_cast<std::string>(value), text);
    EXPECT_EQ(lexical_cast<std::string>(0.1f), "0.1");
    EXPECT_EQ(lexical_cast<std::string>(FLT_TRUE_MIN), "1e-45");
    EXPECT_EQ(lexical_cast<std::string>(16777216.0f), "16777216");
}

TEST(Floating, RoundTripsBitExact)
{
    expectBitExactRoundTrips<double, std::uint64_t>(300000);
    expectBitExactRoundTrips<float, std::uint32_t>(300000);
}

TEST(Conversions, MessageShowsShortenedText)
{
    EXPECT_EQ(rejection<double>("1\t,5"), "Invalid double value \"1\\t,5\"");
    EXPECT_EQ(rejection<int>(std::string(1000, '7')),
              "Invalid int value \"" + std::string(60, '7') + "...\"");
}

TEST(Conversions, IgnoreProcessLocale)
{
    const std::locale previous =
        std::locale::global(std::locale(std::locale::classic(), new CommaPunct));
    try {
        std::locale::global(std::locale("de_DE.UTF-8")); // also sets the C locale
    } catch (const std::runtime_error&) {
        // not installed: the numpunct facet alone
    }
    EXPECT_EQ(lexical_cast<std::string>(1234.5), "1234.5");
    EXPECT_EQ(lexical_cast<std::string>(1234567), "1234567");
    EXPECT_EQ(lexical_cast<double>(std::string("1234.5")), 1234.5);
    EXPECT_EQ(rejection<double>("1,5"), "Invalid double value \"1,5\"");
    std::locale::global(previous);
}

TEST(ToXmlString, EscapesOrRefuses)
{
    // The expected text, or after '!' why it is refused.
    const std::pair<std::string, std::string> cases[] = {
        {"", ""}, {"plain text", "plain text"}, {"a&b<c>d\"e'f", "a&amp;b&lt;c&gt;d&quot;e'f"},
        {"\t\n\r<<", "&#9;&#10;&#13;&lt;&lt;"},
        {"\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80&\xC2\x80\x7F", "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80&amp;\xC2\x80\x7F"},
        {"\xEF\xBF\xBD\xF4\x8F\xBF\xBF\xED\x9F\xBF\xEE\x80\x80", "\xEF\xBF\xBD\xF4\x8F\xBF\xBF\xED\x9F\xBF\xEE\x80\x80"},
        {std::string("ab\0", 3), "!control character U+0000 at byte offset 2"},
        {"\x1F", "!control character U+001F at byte offset 0"},
        {"a\x80", "!stray UTF-8 continuation byte at byte offset 1"},
        {"\xC1\xBF", "!overlong UTF-8 sequence at byte offset 0"},
        {"&\xE0\x9F\xBF", "!overlong UTF-8 sequence at byte offset 1"},
        {"\xF0\x8F\xBF\xBF", "!overlong UTF-8 sequence at byte offset 0"},
        {"\xED\xA0\x80", "!UTF-16 surrogate encoded as UTF-8 at byte offset 0"},
        {"\xF4\x90\x80\x80", "!code point above U+10FFFF at byte offset 0"},
        {"\xF5\x80\x80\x80", "!code point above U+10FFFF at byte offset 0"},
        {"\xFF", "!invalid UTF-8 byte at byte offset 0"},
        {"xy\xE2\x82", "!truncated UTF-8 sequence at byte offset 2"},
        {"\xC3(", "!truncated UTF-8 sequence at byte offset 0"},
        {"\xEF\xBF\xBE", "!non-character U+FFFE at byte offset 0"},
        {"a\xEF\xBF\xBF", "!non-character U+FFFF at byte offset 1"}};
    for (const auto& [text, expected] : cases) {
        std::string result;
        try {
            result = toXmlString(text);
        } catch (const DomException& e) {
            result = "!" + e.getMessage();
        }
        EXPECT_EQ(result, expected[0] == '!' ? "!Text cannot be written as XML: " + expected.substr(1)
                                             : expected);
    }
}
