// The XML forms of the scalar and array property entries.

#include <memory>
#include <set>

#include "ClassModels.hpp"
#include "kvsoa/Conversions.hpp"

namespace contract {
namespace {

using ::Kavella::Soa::Common::toXmlString;

// ---- scalar entries written as attributes -------------------------------------------

template <typename T>
struct ScalarSample;
template <>
struct ScalarSample<wi::StringMap> {
    static std::string value() { return "five"; }
    static constexpr const char* text = "five";
};
template <>
struct ScalarSample<wi::DoubleMap> {
    static double value() { return 2.5; }
    static constexpr const char* text = "2.5";
};
template <>
struct ScalarSample<wi::FloatMap> {
    static float value() { return -0.75f; }
    static constexpr const char* text = "-0.75";
};
template <>
struct ScalarSample<wi::IntMap> {
    static int value() { return 5; }
    static constexpr const char* text = "5";
};
template <>
struct ScalarSample<wi::BoolMap> {
    static bool value() { return true; }
    static constexpr const char* text = "true";
};
template <>
struct ScalarSample<wi::DateMap> {
    static DateTime value() { return dateAt(1); }
    static constexpr const char* text = "2010-09-01T08:30:15.25+02:00";
};

template <typename T>
class ScalarEntry : public ::testing::Test {
};
using ScalarClasses =
    ::testing::Types<wi::StringMap, wi::DoubleMap, wi::FloatMap, wi::IntMap, wi::BoolMap, wi::DateMap>;
TYPED_TEST_SUITE(ScalarEntry, ScalarClasses, ClassName);

TYPED_TEST(ScalarEntry, WritesOneEmptyElementWithKeyThenValue)
{
    TypeParam entry;
    entry.setKey("k");
    entry.setValue(ScalarSample<TypeParam>::value());
    EXPECT_EQ(write(entry), emptyRoot(false, attr("key", "k") + attr("value", ScalarSample<TypeParam>::text)));
}

TYPED_TEST(ScalarEntry, ReadsBothAttributesAndReplacesThemOnEveryParse)
{
    TypeParam entry;
    read(entry, "<Root key='k' value='" + std::string(ScalarSample<TypeParam>::text) + "'/>");
    EXPECT_EQ(entry.getKey(), "k");
    EXPECT_EQ(entry.getValue(), ScalarSample<TypeParam>::value());

    read(entry, "<Root value='" + std::string(ScalarSample<TypeParam>::text) + "'/>");
    EXPECT_EQ(entry.getKey(), ""); // a missing attribute reads as an empty text
}

TEST(ScalarEntryForms, DefaultStringMapWritesBothAttributesEmpty)
{
    EXPECT_EQ(write(wi::StringMap()), emptyRoot(false, attr("key", "") + attr("value", "")));
}

TEST(ScalarEntryForms, StringMapEscapesKeyAndValueAndReadsThemBackExactly)
{
    const std::string key = "<k&>";
    const std::string value = " \"quoted\"\t&\n<tag/> ";
    wi::StringMap entry;
    entry.setKey(key);
    entry.setValue(value);
    const std::string text = write(entry);
    EXPECT_EQ(text, emptyRoot(false, attr("key", toXmlString(key)) + attr("value", toXmlString(value))));
    EXPECT_EQ(text.find("<k"), std::string::npos);

    wi::StringMap back;
    read(back, text);
    EXPECT_EQ(back.getKey(), key);
    EXPECT_EQ(back.getValue(), value);
}

TEST(ScalarEntryForms, MissingValueAttributeIsStoredOrConvertedAsTheEmptyText)
{
    wi::StringMap text;
    text.setValue("old");
    read(text, "<Root key='k'/>");
    EXPECT_EQ(text.getValue(), "");

    wi::IntMap number;
    EXPECT_THROW(read(number, "<Root key='k'/>"), DomException); // "" is no int
    EXPECT_EQ(number.getKey(), "k");
}

TEST(ScalarEntryForms, DefaultTagMapWritesItsModelObjectAsTheValueChild)
{
    EXPECT_EQ(write(wi::TagMap()), root(true, attr("key", ""), modelXml("value", "")));
}

TEST(ScalarEntryForms, TagMapParsesEveryValueChildIntoTheOneModelObject)
{
    wi::TagMap entry;
    const AutoPtr<base::ModelObject> held = entry.getValue();
    read(entry, "<Root key='k'><value uid='first'/><value uid='second'/></Root>");
    EXPECT_EQ(entry.getValue(), held);
    EXPECT_EQ(held->getUid(), "second");

    read(entry, "<Root key='other'/>");
    EXPECT_EQ(entry.getKey(), "other");
    EXPECT_EQ(entry.getValue(), held);
    EXPECT_EQ(held->getUid(), "second");
    EXPECT_EQ(failureOf([&] { read(entry, "<Root><value/><key/></Root>"); }), "Unexpected node name: key");
}

TEST(ScalarEntryForms, TagMapGivenItsOwnHandleKeepsItAndItsCount)
{
    wi::TagMap entry;
    const int count = entry.getValue()->getRefCount();
    entry.setValue(entry.getValue());
    EXPECT_EQ(entry.getValue()->getRefCount(), count);
    EXPECT_EQ(write(entry), root(true, attr("key", ""), modelXml("value", "")));
}

// ---- array entries ------------------------------------------------------------------

/// Two entries per class and the element each one is written as.
template <typename T>
struct ArraySample;

std::string valueXml(const std::string& text) { return child("value", "", text); }

template <>
struct ArraySample<wi::StringVectorMap> {
    static std::vector<std::string> entries() { return {"plain", "two words"}; }
    static std::vector<std::string> xml() { return {valueXml("plain"), valueXml("two words")}; }
};
template <>
struct ArraySample<wi::DoubleVectorMap> {
    static std::vector<double> entries() { return {1.5, -2.0}; }
    static std::vector<std::string> xml() { return {valueXml("1.5"), valueXml("-2")}; }
};
template <>
struct ArraySample<wi::FloatVectorMap> {
    static std::vector<float> entries() { return {0.5f, 3.25f}; }
    static std::vector<std::string> xml() { return {valueXml("0.5"), valueXml("3.25")}; }
};
template <>
struct ArraySample<wi::IntVectorMap> {
    static std::vector<int> entries() { return {1, -2}; }
    static std::vector<std::string> xml() { return {valueXml("1"), valueXml("-2")}; }
};
template <>
struct ArraySample<wi::BoolVectorMap> {
    static std::vector<bool> entries() { return {true, false}; }
    static std::vector<std::string> xml() { return {valueXml("true"), valueXml("false")}; }
};
template <>
struct ArraySample<wi::DateVectorMap> {
    static std::vector<DateTime> entries() { return {dateAt(2), DateTime(1999, 12, 31, 23, 59, 59)}; }
    static std::vector<std::string> xml()
    {
        return {valueXml("2010-09-02T08:30:15.25+02:00"), valueXml("1999-12-31T23:59:59")};
    }
};
template <>
struct ArraySample<wi::TagVectorMap> {
    static std::vector<AutoPtr<base::ModelObject>> entries() { return {model("t1"), model("t2")}; }
    static std::vector<std::string> xml() { return {modelXml("value", "t1"), modelXml("value", "t2")}; }
};

template <typename T>
class ArrayEntry : public ::testing::Test {
protected:
    static constexpr bool tags = std::is_same_v<T, wi::TagVectorMap>;
    static std::string xml(std::initializer_list<int> order)
    {
        std::string content;
        for (int i : order) content += ArraySample<T>::xml()[static_cast<std::size_t>(i)];
        return content;
    }
    /// The root element that the given entries, in this order, make with key k.
    static std::string written(const std::string& key, std::initializer_list<int> order)
    {
        return root(tags && order.size() > 0, attr("key", key), xml(order));
    }
};
using ArrayClasses = ::testing::Types<wi::StringVectorMap, wi::DoubleVectorMap, wi::FloatVectorMap, wi::IntVectorMap,
                                      wi::BoolVectorMap, wi::DateVectorMap, wi::TagVectorMap>;
TYPED_TEST_SUITE(ArrayEntry, ArrayClasses, ClassName);

TYPED_TEST(ArrayEntry, EmptyArrayStillWritesStartAndEndTag)
{
    EXPECT_EQ(write(TypeParam()), TestFixture::written("", {}));
}

TYPED_TEST(ArrayEntry, EntriesAreWrittenInArrayOrderWithNothingBetweenThem)
{
    TypeParam entry;
    entry.setKey("k");
    entry.setValueArray(ArraySample<TypeParam>::entries());
    EXPECT_EQ(write(entry), TestFixture::written("k", {0, 1}));
}

TYPED_TEST(ArrayEntry, ParseAppendsAfterWhatTheArrayHolds)
{
    TypeParam entry;
    entry.setValueArray(ArraySample<TypeParam>::entries());
    const std::string reversed = TestFixture::written("k", {1, 0});
    read(entry, reversed);
    EXPECT_EQ(write(entry), TestFixture::written("k", {0, 1, 1, 0}));
    read(entry, reversed);
    EXPECT_EQ(write(entry), TestFixture::written("k", {0, 1, 1, 0, 1, 0}));

    read(entry, "<Root key='bare'/>"); // no children: only the key changes
    EXPECT_EQ(entry.getValueArray().size(), 6u);
    EXPECT_EQ(entry.getKey(), "bare");
}

TYPED_TEST(ArrayEntry, UnexpectedChildAfterTheFirstEntryKeepsWhatWasRead)
{
    const std::string text = TestFixture::written("k", {0});
    const std::string withStranger =
        text.substr(0, text.size() - std::string("</ns1:Root>").size()) + "<ns1:values/></ns1:Root>";
    TypeParam entry;
    EXPECT_EQ(failureOf([&] { read(entry, withStranger); }), "Unexpected node name: values");
    EXPECT_EQ(write(entry), text);
}

TYPED_TEST(ArrayEntry, SettingAnEmptyArrayEmptiesItAndAddingStartsAtTheFront)
{
    TypeParam entry;
    entry.setValueArray(ArraySample<TypeParam>::entries());
    entry.setValueArray({});
    EXPECT_TRUE(entry.getValueArray().empty());
    entry.addValue(ArraySample<TypeParam>::entries()[1]);
    EXPECT_EQ(write(entry), TestFixture::written("", {1}));
}

TEST(ArrayEntryForms, BoolVectorMapWritesAndReadsEveryOneOf33Bits)
{
    wi::BoolVectorMap entry;
    std::string content;
    for (int i = 0; i < 33; ++i) {
        const bool bit = i % 3 == 0 || i == 32; // the last one lies in the second word
        entry.addValue(bit);
        content += valueXml(bit ? "true" : "false");
    }
    const std::string text = write(entry);
    EXPECT_EQ(text, root(false, attr("key", ""), content));

    wi::BoolVectorMap back;
    read(back, text);
    EXPECT_EQ(back.getValueArray(), entry.getValueArray());
    EXPECT_TRUE(back.getValueArray()[32]);
    EXPECT_FALSE(back.getValueArray()[31]);
}

TEST(ArrayEntryForms, StringVectorMapKeepsMarkupAndWhitespaceOfAnEntry)
{
    const std::string awkward = "  <a href=\"x\">&amp;</a>\t\r\n ";
    wi::StringVectorMap entry;
    entry.setKey("a<b");
    entry.addValue(awkward);
    entry.addValue("");
    const std::string text = write(entry);
    EXPECT_EQ(text, root(false, attr("key", toXmlString("a<b")), valueXml(toXmlString(awkward)) + valueXml("")));

    wi::StringVectorMap back;
    read(back, text);
    EXPECT_EQ(back.getKey(), "a<b");
    EXPECT_EQ(back.getValueArray(), (std::vector<std::string>{awkward, ""}));
}

TEST(ArrayEntryForms, BadValueTextStopsTheParseAfterTheEntriesBeforeIt)
{
    wi::IntVectorMap entry;
    const std::string text = "<Root key='k'><value> 7 </value><value>seven</value><value>8</value></Root>";
    EXPECT_THROW(read(entry, text), DomException);
    EXPECT_EQ(entry.getValueArray(), std::vector<int>{7});
}

TEST(ArrayEntryForms, TagVectorMapParseMakesOneModelObjectPerValueAndItsCloneSharesThem)
{
    wi::TagVectorMap entry;
    read(entry, "<Root key='k'><value uid='a'/><value uid='b'/></Root>");
    ASSERT_EQ(entry.getValueArray().size(), 2u);
    EXPECT_NE(entry.getValueArray()[0], entry.getValueArray()[1]);
    EXPECT_EQ(entry.getValueArray()[1]->getUid(), "b");

    std::unique_ptr<BaseObject> clone(entry.clone());
    const auto& cloned = dynamic_cast<wi::TagVectorMap&>(*clone);
    EXPECT_EQ(cloned.getValueArray(), entry.getValueArray());
    EXPECT_EQ(entry.getValueArray()[0]->getRefCount(), 2);

    std::set<std::string> found;
    entry.getNamespaces(found);
    EXPECT_EQ(found, (std::set<std::string>{schemaUri, baseUri}));
}

} // namespace
} // namespace contract
