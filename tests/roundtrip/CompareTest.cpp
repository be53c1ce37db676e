// Messages as values: operator== on every class, printing, and the
// differences by path that `wixml diff` prints.

#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <sstream>

#include "RoundTripSupport.hpp"
#include "workinstructions/Compare.hpp"

namespace roundtrip {
namespace {

using ::Kavella::Soa::Common::DateTime;
using ::Kavella::Schemas::Soa::_2006_03::Base::ModelObject;

DateTime at(int hour, int offsetMinutes)
{
    DateTime time(2010, 9, 1, hour);
    time.setTimeZoneOffset(offsetMinutes);
    return time;
}

double nanWithPayload(std::uint64_t payload)
{
    std::uint64_t bits = 0x7ff8000000000000ull | payload;
    double value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

// One input holding a value of every kind, made afresh for each side.
wi::CreateInput filled()
{
    wi::CreateInput input;
    input.setType("DCD");
    input.addStringProp(wi::make<wi::StringMap>("name", std::string("Torque")));
    input.addStringProp(wi::make<wi::StringMap>("unit", std::string("N")));
    input.addIntProp(wi::make<wi::IntMap>("count", 42));
    input.addFloatProp(wi::make<wi::FloatMap>("scale", 1.25f));
    input.addDoubleProp(wi::make<wi::DoubleMap>("limit", 24.5));
    input.addBoolProp(wi::make<wi::BoolMap>("mandatory", true));
    input.addDateProp(wi::make<wi::DateMap>("from", at(8, 120)));
    input.addTagProp(wi::make<wi::TagMap>("tool", wi::make<ModelObject>("T1")));
    input.addIntArrayProp(wi::make<wi::IntVectorMap>("order", std::vector<int>{1, 2}));
    return input;
}

template <typename Entry>
Entry& first(const std::vector<AutoPtr<Entry>>& entries)
{
    return *entries.front();
}

TEST(ObjectEquality, ComparesEveryKindOfValueAllTheWayDown)
{
    using Change = std::function<void(wi::CreateInput&)>;
    struct Row {
        const char* what;
        Change before; // applied to one side
        Change after;  // applied to the other
        bool equal;
    };
    const Change none = [](wi::CreateInput&) {};
    const auto setDouble = [](double value) {
        return Change([value](wi::CreateInput& in) { first(in.getDoublePropArray()).setValue(value); });
    };
    const auto setFloat = [](float value) {
        return Change([value](wi::CreateInput& in) { first(in.getFloatPropArray()).setValue(value); });
    };
    const Row rows[] = {
        {"the same values", none, none, true},
        {"a text", none, [](wi::CreateInput& in) { first(in.getStringPropArray()).setValue("torque"); }, false},
        {"an int", none, [](wi::CreateInput& in) { first(in.getIntPropArray()).setValue(43); }, false},
        {"a bool", none, [](wi::CreateInput& in) { first(in.getBoolPropArray()).setValue(false); }, false},
        {"a float", none, setFloat(1.5f), false},
        {"a double", none, setDouble(24.25), false},
        {"the same NaN", setDouble(std::nan("")), setDouble(std::nan("")), true},
        {"NaNs of other payloads", setDouble(nanWithPayload(1)), setDouble(nanWithPayload(2)), false},
        {"-0 and 0", setDouble(-0.0), setDouble(0.0), false},
        {"float -0 and 0", setFloat(-0.0f), setFloat(0.0f), false},
        {"one instant in two time zones", none,
         [](wi::CreateInput& in) { first(in.getDatePropArray()).setValue(at(6, 0)); }, false},
        {"a tag's uid", none, [](wi::CreateInput& in) { first(in.getTagPropArray()).getValue()->setUid("T2"); }, false},
        {"an empty tag and none", none,
         [](wi::CreateInput& in) { first(in.getTagPropArray()).setValue(AutoPtr<ModelObject>()); }, false},
        {"no tag on either side",
         [](wi::CreateInput& in) { first(in.getTagPropArray()).setValue(AutoPtr<ModelObject>()); },
         [](wi::CreateInput& in) { first(in.getTagPropArray()).setValue(AutoPtr<ModelObject>()); }, true},
        {"an empty array and one empty entry", none,
         [](wi::CreateInput& in) { in.addCompoundCreateInput(wi::make<wi::CreateInputMap>()); },
         false},
        {"arrays of values of different lengths", none,
         [](wi::CreateInput& in) { first(in.getIntArrayPropArray()).addValue(3); }, false},
        {"values in another order", none,
         [](wi::CreateInput& in) { first(in.getIntArrayPropArray()).setValueArray({2, 1}); }, false},
        {"arrays of entries of different lengths", none,
         [](wi::CreateInput& in) { in.addIntProp(wi::make<wi::IntMap>("extra", 0)); }, false},
        {"keyed entries in another order", none,
         [](wi::CreateInput& in) {
             std::vector<AutoPtr<wi::StringMap>> entries = in.getStringPropArray();
             std::swap(entries[0], entries[1]);
             in.setStringPropArray(entries);
         },
         true},
        {"keyed entries in another order, one changed", none,
         [](wi::CreateInput& in) {
             std::vector<AutoPtr<wi::StringMap>> entries = in.getStringPropArray();
             std::swap(entries[0], entries[1]);
             entries[0]->setValue("mm");
             in.setStringPropArray(entries);
         },
         false},
        {"a repeated key in another order",
         [](wi::CreateInput& in) {
             in.addStringProp(wi::make<wi::StringMap>("name", std::string("again")));
         },
         [](wi::CreateInput& in) {
             in.addStringProp(wi::make<wi::StringMap>("name", std::string("again")));
             std::vector<AutoPtr<wi::StringMap>> entries = in.getStringPropArray();
             std::swap(entries[0], entries[2]);
             in.setStringPropArray(entries);
         },
         false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        wi::CreateInput a = filled(), b = filled();
        // Each side its own nested objects: a copy would share them.
        row.before(a);
        row.after(b);
        EXPECT_EQ(a == b, row.equal);
        EXPECT_EQ(b == a, row.equal);
        EXPECT_EQ(a != b, !row.equal);
        EXPECT_EQ(wi::differences(a, b, {wi::Comparison::Bits}).empty(), row.equal);
    }
}

// What operator<< writes is an indented document that reads back as an equal object.
TEST(ObjectEquality, PrintsAsAnIndentedDocumentThatReadsBackEqual)
{
    wi::SaveWorkInstructionDocInput message;
    AutoPtr<wi::SavedObjectInfo> saved(new wi::SavedObjectInfo);
    saved->setWorkInstructionFile("a.wix");
    AutoPtr<wi::SavedSubSTXInfo> dcd(new wi::SavedSubSTXInfo);
    *dcd->getObjectData() = filled();
    saved->addModifiedDCD(dcd);
    message.addSavedObject(saved);
    std::ostringstream printed;
    printed << message;
    EXPECT_NE(printed.str().find("\n    <"), std::string::npos) << printed.str(); // nested, indented
    EXPECT_TRUE(*wi::readXml<wi::SaveWorkInstructionDocInput>(printed.str()) == message) << printed.str();
}

// ---- the differences, as `wixml diff` prints them ---------------------------

std::string savedMessage(const std::string& property)
{
    return "<wi:SaveWorkInstructionDocInput xmlns:wi=\"http://velmora.com/Schemas/MES/2010-09/WorkInstructions\">"
           "<wi:savedObjects workInstructionFile=\"a.wix\"><wi:modifiedDCDs transientId=\"d1\" persistentId=\"\" "
           "owningObjectTransientId=\"s1\"><wi:objectData type=\"DCD\">" +
           property + "</wi:objectData></wi:modifiedDCDs></wi:savedObjects></wi:SaveWorkInstructionDocInput>";
}

std::vector<std::string> lines(const std::string& before, const std::string& after, wi::Comparison comparison)
{
    std::vector<std::string> found;
    for (const wi::Difference& difference :
         wi::differences(*wi::readXml<wi::SaveWorkInstructionDocInput>(before),
                         *wi::readXml<wi::SaveWorkInstructionDocInput>(after), {comparison})) {
        std::ostringstream line;
        line << difference;
        found.push_back(line.str());
    }
    return found;
}

// Values compare as their types make them equal; Texts compares the canonical texts.
TEST(Differences, ValuesAsTheirTypesMakeThemEqual)
{
    struct Row {
        const char* property;
        const char* before;
        const char* after;
        bool sameValues;
        bool sameTexts;
    };
    const Row rows[] = {
        {"doubleProps", "-0", "0", true, false},
        {"doubleArrayProps", "0", "-0.0", true, false},
        {"doubleProps", "1", "1.0", true, true},
        {"doubleProps", "1", "1E0", true, true},
        {"doubleProps", "NaN", "NaN", true, true},
        {"doubleProps", "INF", "-INF", false, false},
        {"doubleProps", "NaN", "0", false, false},
        {"doubleProps", "0", "1E-300", false, false},
        {"floatProps", "-0", "0", true, false},
        {"floatArrayProps", "-0E0", "0.0", true, false},
        {"floatProps", "1.5", "1.25", false, false},
        {"intProps", "+5", "5", true, true},
        {"intArrayProps", "007", "7", true, true},
        {"intProps", "5", "-5", false, false},
        {"boolProps", "1", "true", true, true},
        {"boolArrayProps", "0", "false", true, true},
        {"boolProps", "1", "false", false, false},
        {"dateProps", "2010-09-01T08:00:00+02:00", "2010-09-01T06:00:00Z", true, false},
        {"dateArrayProps", "2010-09-01T00:30:00+01:00", "2010-08-31T23:30:00Z", true, false},
        {"dateProps", "2010-12-31T23:00:00-02:00", "2011-01-01T01:00:00Z", true, false},
        {"dateProps", "2012-03-01T01:00:00.5+02:00", "2012-02-29T23:00:00.50Z", true, false},
        {"dateProps", "2010-09-01T24:00:00Z", "2010-09-02T00:00:00Z", true, false},
        {"dateProps", "2010-09-01T24:00:00", "2010-09-02T00:00:00", true, false},
        {"dateProps", "2010-09-01T06:00:00", "2010-09-01T06:00:00Z", false, false},
        {"dateProps", "2010-09-01T08:00:00+02:00", "2010-09-01T08:00:00Z", false, false},
        {"dateProps", "2010-09-01T06:00:00.000000001Z", "2010-09-01T06:00:00Z", false, false},
        {"dateArrayProps", "2011-09-01T06:00:00Z", "2010-09-01T06:00:00Z", false, false},
        {"stringProps", "-0", "0", false, false},
        {"stringArrayProps", "1.0", "1", false, false},
    };
    const auto property = [](const std::string& kind, const std::string& value) {
        if (kind.find("ArrayProps") != std::string::npos) {
            return "<wi:" + kind + " key=\"k\"><wi:value>" + value + "</wi:value></wi:" + kind + ">";
        }
        return "<wi:" + kind + " key=\"k\" value=\"" + value + "\"/>";
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.property) + " " + row.before + " -> " + row.after);
        const std::string before = savedMessage(property(row.property, row.before));
        const std::string after = savedMessage(property(row.property, row.after));
        const bool array = std::string(row.property).find("ArrayProps") != std::string::npos;
        const std::string path = "savedObjects[0].modifiedDCDs[0].objectData." + std::string(row.property) +
                                 "[key=k].value" + (array ? "[0]" : "") + ": ";
        for (const wi::Comparison comparison : {wi::Comparison::Values, wi::Comparison::Texts}) {
            const bool same = comparison == wi::Comparison::Values ? row.sameValues : row.sameTexts;
            const std::vector<std::string> found = lines(before, after, comparison);
            if (same) {
                EXPECT_TRUE(found.empty()) << found.front();
            } else {
                ASSERT_EQ(found.size(), 1u);
                EXPECT_EQ(found.front().rfind(path, 0), 0u) << found.front();
            }
        }
    }
    // Texts that differ as values are shown as written.
    EXPECT_EQ(lines(savedMessage(property("dateProps", "2010-09-01T08:00:00+02:00")),
                    savedMessage(property("dateProps", "2010-09-01T08:00:00Z")), wi::Comparison::Values),
              std::vector<std::string>{"savedObjects[0].modifiedDCDs[0].objectData.dateProps[key=k].value: "
                                       "2010-09-01T08:00:00+02:00 -> 2010-09-01T08:00:00Z"});
}

std::string replaced(std::string text, const std::string& from, const std::string& to)
{
    const auto at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    return at == std::string::npos ? text : text.replace(at, from.size(), to);
}

// Entries by key where each side holds it once, by position otherwise; an
// entry one side lacks as its start tag; the runtime's objects by what they write.
TEST(Differences, NameEachEntryByKeyOrPlace)
{
    const std::string before = "<wi:SaveWorkInstructionDocInput xmlns:wi=\"http://velmora.com/Schemas/MES/2010-09/WorkInstructions\">"
                               "<wi:savedObjects workInstructionFile=\"a.wix\"><wi:targetObject uid=\"Op1\"/>"
                               "<wi:modifiedDCDs transientId=\"d1\" persistentId=\"\" owningObjectTransientId=\"s1\">"
                               "<wi:objectData type=\"DCD\"><wi:stringProps key=\"name\" value=\"Torque\"/>"
                               "<wi:intProps key=\"count\" value=\"42\"/>"
                               "<wi:intArrayProps key=\"order\"><wi:value>1</wi:value><wi:value>2</wi:value></wi:intArrayProps>"
                               "</wi:objectData></wi:modifiedDCDs><wi:symbols uid=\"Sym1\"/></wi:savedObjects>"
                               "</wi:SaveWorkInstructionDocInput>";
    const std::string countTwice = replaced(before, "<wi:intProps key=\"count\" value=\"42\"/>",
                                            "<wi:intProps key=\"count\" value=\"42\"/><wi:intProps key=\"count\" value=\"7\"/>");
    struct Row {
        const char* what;
        std::string before;
        std::string after;
        std::vector<std::string> lines;
    };
    const std::string dcd = "savedObjects[0].modifiedDCDs[0].objectData.";
    const Row rows[] = {
        {"equal", before, before, {}},
        {"changed",
         before,
         replaced(replaced(replaced(replaced(before, "value=\"42\"", "value=\"43\""), "<wi:value>2</wi:value>",
                                    "<wi:value>3</wi:value><wi:value>4</wi:value>"),
                           "<wi:symbols uid=\"Sym1\"/>", ""),
                  "key=\"name\"", "key=\"title\""),
         {dcd + "stringProps[key=name]: <stringProps key=\"name\" value=\"Torque\"/> -> (none)",
          dcd + "stringProps[key=title]: (none) -> <stringProps key=\"title\" value=\"Torque\"/>",
          dcd + "intProps[key=count].value: 42 -> 43", dcd + "intArrayProps[key=order].value[1]: 2 -> 3",
          dcd + "intArrayProps[key=order].value[2]: (none) -> 4", "savedObjects[0].symbols[0]: <symbols uid=\"Sym1\"/> -> (none)"}},
        {"entries one side lacks",
         replaced(countTwice, "<wi:savedObjects workInstructionFile=\"a.wix\">",
                  "<wi:savedObjects workInstructionFile=\"b.wix\"><wi:targetObject uid=\"Op2\"/></wi:savedObjects>"
                  "<wi:savedObjects workInstructionFile=\"a.wix\">"),
         before,
         {"savedObjects[0].workInstructionFile: b.wix -> a.wix", "savedObjects[0].targetObject.uid: Op2 -> Op1",
          "savedObjects[0].modifiedDCDs[0]: (none) -> <modifiedDCDs transientId=\"d1\" persistentId=\"\" "
          "owningObjectTransientId=\"s1\" ...>",
          "savedObjects[0].symbols[0]: (none) -> <symbols uid=\"Sym1\"/>",
          "savedObjects[1]: <savedObjects workInstructionFile=\"a.wix\" ...> -> (none)"}},
        {"a repeated key", before, countTwice, {dcd + "intProps[1]: (none) -> <intProps key=\"count\" value=\"7\"/>"}},
        {"keyed entries in another order", before,
         replaced(replaced(before, "<wi:stringProps key=\"name\" value=\"Torque\"/>", ""),
                  "</wi:objectData>", "<wi:stringProps key=\"name\" value=\"Torque\"/></wi:objectData>"),
         {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        EXPECT_EQ(lines(row.before, row.after, wi::Comparison::Values), row.lines);
    }
}

// The runtime's objects have no rows: a reply's ServiceData compares by what
// it writes, a partial error's code as the number it holds.
TEST(Differences, OfTheRuntimesObjects)
{
    wi::SavedObjectsResponse before, after;
    before.getServiceData()->addCreated("Pf0817Photo");
    after.getServiceData()->addCreated("Pf0818Photo");
    const std::string code = "code=\"515024\"";
    std::vector<std::string> found;
    for (const wi::Difference& difference : wi::differences(before, after)) {
        found.push_back(difference.path + ": " + difference.before + " -> " + difference.after);
    }
    EXPECT_EQ(found, std::vector<std::string>{"ServiceData.created[0].uid: Pf0817Photo -> Pf0818Photo"});
    EXPECT_TRUE(before != after);

    ::Kavella::Schemas::Soa::_2006_03::Base::PartialError error{"u", "m", 515024, 1};
    before.getServiceData()->addPartialError(error);
    after = before;
    EXPECT_TRUE(before == after);
    const std::string reply = wi::writeXml(before);
    EXPECT_TRUE(wi::differences(before, *wi::readXml<wi::SavedObjectsResponse>(
                                            replaced(reply, code, "code=\"+515024\""))).empty());
    error.level = 2;
    AutoPtr<::Kavella::Schemas::Soa::_2006_03::Base::ServiceData> other(new ::Kavella::Schemas::Soa::_2006_03::Base::ServiceData);
    other->addCreated("Pf0817Photo");
    other->addPartialError(error);
    after.setServiceData(other);
    found.clear();
    for (const wi::Difference& difference : wi::differences(before, after)) {
        found.push_back(difference.path + ": " + difference.before + " -> " + difference.after);
    }
    EXPECT_EQ(found, std::vector<std::string>{"ServiceData.partialErrors[0].level: 1 -> 2"});
}

} // namespace
} // namespace roundtrip
