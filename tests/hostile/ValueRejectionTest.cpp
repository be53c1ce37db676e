// Every value the XML Schema forms reject is refused while a message is read,
// with an error that names the value (cut short when long) and its type, and
// where it stands; nothing wraps, truncates or keeps a prefix that did read.

#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "HostileSupport.hpp"

namespace {

using namespace hostile;

struct BadValue {
    const char* entry;    // the entry class's local name
    const char* typeName; // as the error names it
    std::string text;     // as it stands in the document
};

/// An entry document holding text as its value: an attribute for the scalar
/// entries, one "value" element for the array entries. The value lies on line 2.
std::string entryDocument(const std::string& entry, const std::string& text)
{
    const bool array = entry.find("Vector") != std::string::npos;
    return "<wi:" + entry + declarations() + " key=\"k\"\n" +
           (array ? "><wi:value>" + text + "</wi:value></wi:" + entry + ">" : " value=\"" + text + "\"/>");
}

template <typename Entry>
std::string parseError(const std::string& text)
{
    Entry entry;
    return domError([&] { parseMessage(entry, text); });
}

std::string parseErrorFor(const std::string& entry, const std::string& text)
{
    const std::string document = entryDocument(entry, text);
    if (entry == "IntMap") return parseError<wi::IntMap>(document);
    if (entry == "IntVectorMap") return parseError<wi::IntVectorMap>(document);
    if (entry == "FloatMap") return parseError<wi::FloatMap>(document);
    if (entry == "FloatVectorMap") return parseError<wi::FloatVectorMap>(document);
    if (entry == "DoubleMap") return parseError<wi::DoubleMap>(document);
    if (entry == "DoubleVectorMap") return parseError<wi::DoubleVectorMap>(document);
    if (entry == "BoolMap") return parseError<wi::BoolMap>(document);
    if (entry == "BoolVectorMap") return parseError<wi::BoolVectorMap>(document);
    if (entry == "DateMap") return parseError<wi::DateMap>(document);
    if (entry == "DateVectorMap") return parseError<wi::DateVectorMap>(document);
    return "unknown entry " + entry;
}

TEST(HostileValues, RejectedValuesAreNamedWithTheirType)
{
    const BadValue cases[] = {
        {"IntMap", "int", "2147483648"},          {"IntMap", "int", "-2147483649"},
        {"IntVectorMap", "int", "4294967296"},     {"IntMap", "int", "99999999999999999999"},
        {"IntMap", "int", "0x10"},                 {"IntMap", "int", "1.0"},
        {"IntMap", "int", "1e3"},                  {"IntMap", "int", ""},
        {"IntMap", "int", "+"},                    {"IntVectorMap", "int", "12abc"},
        {"IntMap", "int", "\xD9\xA1\xD9\xA2"},     {"IntMap", "int", "1 2"},
        {"FloatMap", "float", "1e39"},             {"FloatVectorMap", "float", "-3.5e38"},
        {"FloatMap", "float", "1,5"},              {"FloatMap", "float", "nanx"},
        {"FloatMap", "float", "infin"},            {"FloatVectorMap", "float", "1.5x"},
        {"DoubleMap", "double", "1e309"},          {"DoubleMap", "double", "1.5x"},
        {"DoubleMap", "double", "-nan1"},          {"DoubleVectorMap", "double", "Infinite"},
        {"DoubleMap", "double", "0x1p3"},          {"DoubleMap", "double", "1,5"},
        {"DoubleMap", "double", "- 1"},            {"DoubleVectorMap", "double", "."},
        {"BoolMap", "boolean", "yes"},             {"BoolMap", "boolean", "TRUE"},
        {"BoolVectorMap", "boolean", "2"},         {"BoolMap", "boolean", ""},
        {"DateMap", "dateTime", "2016-12-31T23:59:60Z"},
        {"DateMap", "dateTime", "2021-02-30T00:00:00"},
        {"DateVectorMap", "dateTime", "2100-02-29T00:00:00"},
        {"DateMap", "dateTime", "2021-02-28"},
        {"DateMap", "dateTime", "2021-02-28T00:00:00+25:00"},
        {"DateVectorMap", "dateTime", "2021-13-01T00:00:00"},
    };
    for (const auto& [entry, typeName, text] : cases) {
        SCOPED_TRACE(std::string(entry) + " " + text);
        const std::string error = parseErrorFor(entry, text);
        EXPECT_NE(error.find(std::string(typeName) + " value"), std::string::npos) << error;
        EXPECT_NE(error.find("\"" + text + "\""), std::string::npos) << error;
    }
}

TEST(HostileValues, ErrorsCarryThePositionOfTheElement)
{
    wi::CreateInput input;
    const std::string text = "<wi:CreateInput" + declarations() + ">\n<wi:intProps key=\"k\" value=\"1\"/>\n" +
                             "  <wi:intProps key=\"k\" value=\"0x10\"/></wi:CreateInput>";
    try {
        parseMessage(input, text);
        ADD_FAILURE() << "read";
    } catch (const DomException& error) {
        EXPECT_EQ(error.line(), 3);
        EXPECT_EQ(error.column(), 3);
    }
}

TEST(HostileValues, RefusedValueLeavesTheMemberAsItWas)
{
    // A reader that kept the digits before the junk would store 12 here.
    wi::IntMap entry;
    entry.setValue(5);
    EXPECT_NE(domError([&] { parseMessage(entry, entryDocument("IntMap", "12abc")); }), "no exception");
    EXPECT_EQ(entry.getValue(), 5);

    wi::IntVectorMap array;
    array.addValue(5);
    EXPECT_NE(domError([&] { parseMessage(array, entryDocument("IntVectorMap", "2147483648")); }), "no exception");
    EXPECT_EQ(array.getValueArray(), std::vector<int>{5});
}

TEST(HostileValues, ExtremesThatAreValidReadExactly)
{
    wi::IntMap entry;
    for (const auto& [text, value] : {std::pair<const char*, int>{"-2147483648", INT_MIN}, {"2147483647", INT_MAX},
                                      {"+0007", 7}, {"\n\t 42 \r\n", 42}, {"-0", 0}}) {
        parseMessage(entry, entryDocument("IntMap", text));
        EXPECT_EQ(entry.getValue(), value) << text;
    }
    wi::FloatMap single;
    parseMessage(single, entryDocument("FloatMap", "3.4028235e38"));
    EXPECT_EQ(single.getValue(), 3.4028235e38f);
    wi::DateMap date;
    parseMessage(date, entryDocument("DateMap", "2016-02-29T23:59:59.999999999Z"));
    EXPECT_EQ(date.getValue().nanosecond(), 999999999);
}

TEST(HostileValues, HugeGarbageValueGivesAShortReadableMessage)
{
    struct Garbage {
        const char* entry;
        std::string text;
        std::string shownStart;
    };
    std::string accented;
    while (accented.size() < (std::size_t{1} << 20)) accented += "\xC3\xA9&#9;";
    const Garbage garbage[] = {
        {"IntMap", std::string(std::size_t{1} << 20, '9'), "\"9999999999"},
        {"DoubleVectorMap", std::string(std::size_t{1} << 20, 'x'), "\"xxxxxxxxxx"},
        {"DateMap", accented, "\"\xC3\xA9\\t\xC3\xA9\\t"},
    };
    for (const auto& [entry, text, shownStart] : garbage) {
        SCOPED_TRACE(entry);
        const std::string error = parseErrorFor(entry, text);
        EXPECT_NE(error, "no exception");
        EXPECT_LT(error.size(), 300u);
        EXPECT_NE(error.find(shownStart), std::string::npos) << error;
        // Cut where a UTF-8 sequence ends, and without raw control characters.
        EXPECT_EQ(domError([&] { Kavella::Soa::Common::toXmlString(error); }), "no exception") << error;
        EXPECT_EQ(error.find('\t'), std::string::npos);
    }
}

} // namespace
