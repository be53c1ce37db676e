// The floor must make what readXml makes, or its figure means nothing: the
// generated documents and hand-written ones with the corners of the format.

#include <gtest/gtest.h>

#include <cstdlib>
#include <stdexcept>
#include <string>

#include "FloorReader.hpp"

namespace kvsoabench
{
namespace
{

using ::Kavella::Soa::Common::MemoryManager;

struct Generated {
    const char* message;
    std::size_t bytes;
    bool indented;
};

class GeneratedDocuments : public ::testing::TestWithParam<Generated>
{
};

TEST_P(GeneratedDocuments, FloorMakesWhatReadXmlMakes)
{
    const Generated& choice = GetParam();
    const bool save = std::string(choice.message) == "save";
    const std::string& text = save ? document<SaveWorkInstructionDocInput>(choice.bytes, choice.indented).text
                                   : document<LoadedObjectsResponse>(choice.bytes, choice.indented).text;
    const std::string mismatch = save ? floorMismatch<SaveWorkInstructionDocInput>(text)
                                      : floorMismatch<LoadedObjectsResponse>(text);
    EXPECT_EQ(mismatch, "");
}

INSTANTIATE_TEST_SUITE_P(Corpus, GeneratedDocuments,
                         ::testing::Values(Generated{"save", 1 * kKB, false}, Generated{"load", 1 * kKB, false},
                                           Generated{"save", 1 * kKB, true}, Generated{"load", 1 * kKB, true},
                                           Generated{"save", 100 * kKB, false}, Generated{"load", 100 * kKB, false},
                                           Generated{"save", 100 * kKB, true}, Generated{"load", 100 * kKB, true}),
                         [](const ::testing::TestParamInfo<Generated>& info) {
                             return std::string(info.param.message) + "_" + sizeLabel(info.param.bytes) +
                                    (info.param.indented ? "_indented" : "_compact");
                         });

constexpr const char* kOpenSave = "<ns1:SaveWorkInstructionDocInput "
                                  "xmlns:ns1=\"http://velmora.com/Schemas/MES/2010-09/WorkInstructions\">";
constexpr const char* kCloseSave = "</ns1:SaveWorkInstructionDocInput>";
constexpr const char* kOpenLoad = "<ns1:LoadedObjectsResponse "
                                  "xmlns:ns1=\"http://velmora.com/Schemas/MES/2010-09/WorkInstructions\" "
                                  "xmlns:ns2=\"http://kavella.com/Schemas/Soa/2006-03/Base\">";
constexpr const char* kCloseLoad = "</ns1:LoadedObjectsResponse>";

std::string save(const std::string& body)
{
    return kOpenSave + body + kCloseSave;
}

std::string load(const std::string& body)
{
    return kOpenLoad + body + kCloseLoad;
}

std::string objectData(const std::string& inside)
{
    return "<ns1:savedObjects workInstructionFile=\"f.xml\"><ns1:modifiedDCDs transientId=\"DCD_1\" "
           "persistentId=\"P1\" owningObjectTransientId=\"WI_1\"><ns1:objectData type=\"T\">" +
           inside + "</ns1:objectData></ns1:modifiedDCDs></ns1:savedObjects>";
}

struct Corner {
    const char* name;
    std::string text;
    bool load;
};

class Corners : public ::testing::TestWithParam<Corner>
{
};

TEST_P(Corners, FloorMakesWhatReadXmlMakes)
{
    const Corner& corner = GetParam();
    const std::string mismatch = corner.load ? floorMismatch<LoadedObjectsResponse>(corner.text)
                                             : floorMismatch<SaveWorkInstructionDocInput>(corner.text);
    EXPECT_EQ(mismatch, "") << corner.text;
}

INSTANTIATE_TEST_SUITE_P(
    Format, Corners,
    ::testing::Values(
        Corner{"empty", save(""), false},
        Corner{"references_in_attributes",
               save("<ns1:savedObjects workInstructionFile=\"a &amp; b &lt;c&gt; &quot;d&quot; &#9;&#10;&#x20AC;\"/>"),
               false},
        Corner{"value_text_in_pieces",
               save(objectData("<ns1:stringArrayProps key=\"k\"><ns1:value>a &amp; b<![CDATA[ <c> ]]>&#233;"
                               "</ns1:value><ns1:value></ns1:value></ns1:stringArrayProps>")),
               false},
        Corner{"numbers_with_space",
               save(objectData("<ns1:doubleArrayProps key=\"k\"><ns1:value> 1.5 </ns1:value><ns1:value>-INF</ns1:value>"
                               "</ns1:doubleArrayProps><ns1:intArrayProps key=\"i\"><ns1:value>\n7\n</ns1:value>"
                               "</ns1:intArrayProps><ns1:floatProps key=\"f\" value=\" 2.5\"/>")),
               false},
        Corner{"every_entry_kind",
               save(objectData(
                   "<ns1:stringProps key=\"s\" value=\"v\"/><ns1:doubleProps key=\"d\" value=\"1e300\"/>"
                   "<ns1:floatArrayProps key=\"fa\"><ns1:value>3</ns1:value></ns1:floatArrayProps>"
                   "<ns1:boolProps key=\"b\" value=\"1\"/><ns1:boolArrayProps key=\"ba\"><ns1:value>true</ns1:value>"
                   "<ns1:value>0</ns1:value></ns1:boolArrayProps><ns1:dateProps key=\"t\" "
                   "value=\"2010-09-01T08:30:00.25Z\"/><ns1:dateArrayProps key=\"ta\"><ns1:value>2011-01-02T03:04:05"
                   "</ns1:value></ns1:dateArrayProps><ns1:tagProps key=\"g\"><ns1:value uid=\"U1\"/></ns1:tagProps>"
                   "<ns1:tagArrayProps key=\"ga\"><ns1:value uid=\"U2\"/><ns1:value uid=\"U3\"/></ns1:tagArrayProps>"
                   "<ns1:compoundCreateInput key=\"c\"><ns1:value type=\"inner\"><ns1:intProps key=\"n\" value=\"4\"/>"
                   "</ns1:value><ns1:value type=\"second\"/></ns1:compoundCreateInput>")),
               false},
        Corner{"ignored_content",
               save("<ns1:savedObjects workInstructionFile=\"f\" ns1:workInstructionFile=\"other\" extra=\"x\">"
                    "<ns1:targetObject uid=\"T\"><anything><deeper/></anything>text</ns1:targetObject>"
                    "<ns1:symbols uid=\"S\"/><ns1:modifiedSTXs transientId=\"STX_1\"><ns1:stxObjectData uid=\"X\"/>"
                    "</ns1:modifiedSTXs></ns1:savedObjects>"),
               false},
        Corner{"leaf_entry_with_children",
               save(objectData("<ns1:intProps key=\"i\" value=\"1\"><ns1:value>9</ns1:value></ns1:intProps>")), false},
        Corner{"load_record",
               load("<ns1:loadedObjects workInstructionFile=\"f\" topObjectDisplayName=\"a &amp; b\" "
                    "targetObjectTransientId=\"WI_2\"><ns1:targetContext uid=\"C\"/><ns1:targetObject uid=\"O\"/>"
                    "<ns1:loadedPFs transientId=\"PF_1\" objectType=\"Step\" persistentId=\"P\" "
                    "owningObjectTransientId=\"WI_2\"><ns1:objectData type=\"T\"/></ns1:loadedPFs>"
                    "<ns1:loadedSTXs transientId=\"STX_2\" workInstructionFile=\"g\"><ns1:stxObjectData uid=\"D\"/>"
                    "<ns1:symbols uid=\"E\"/></ns1:loadedSTXs></ns1:loadedObjects>"),
               true},
        Corner{"service_data",
               load("<ServiceData><ns2:created uid=\"A\"/><ns2:updated uid=\"B&amp;\"/><ns2:deleted uid=\"C\"/>"
                    "<ns2:partialErrors uid=\"D\" code=\"214014\" level=\"3\" message=\"m &lt; n\"/></ServiceData>"),
               true}),
    [](const ::testing::TestParamInfo<Corner>& info) { return std::string(info.param.name); });

// Counts what is made; a test's own arithmetic says what should be.
class CountingManager : public MemoryManager
{
public:
    void* allocate(std::size_t size, const char*) override
    {
        ++made;
        return std::malloc(size);
    }
    void deallocate(void* pointer) override { std::free(pointer); }
    void* placementallocate(std::size_t, void* place) override { return place; }
    void placementdeallocate(void*, void*) override {}
    int made = 0;
};

TEST(FloorReader, MakesOneObjectPerElementAndTheNestedDefaults)
{
    const struct {
        std::string text;
        int objects;
    } cases[] = {
        {save(""), 1},
        // The record, its default target object, two symbols.
        {save("<ns1:savedObjects><ns1:targetObject uid=\"T\"/><ns1:symbols uid=\"A\"/><ns1:symbols uid=\"B\"/>"
              "</ns1:savedObjects>"),
         5},
        // The sub-entry and its default input, a tag entry and its default reference, two values of an array.
        {save(objectData("<ns1:tagProps key=\"g\"><ns1:value uid=\"U\"/></ns1:tagProps><ns1:stringArrayProps "
                         "key=\"s\"><ns1:value>x</ns1:value><ns1:value>y</ns1:value></ns1:stringArrayProps>")),
         1 + 2 + 2 + 2 + 1},
    };
    for (const auto& test : cases) {
        CountingManager counting;
        MemoryManager::setMemoryManager(&counting);
        {
            const auto message = readAtFloor<SaveWorkInstructionDocInput>(test.text);
        }
        MemoryManager::setMemoryManager(nullptr);
        EXPECT_EQ(counting.made, test.objects) << test.text;
    }
}

TEST(FloorReader, ReadsTheValues)
{
    const auto message = readAtFloor<SaveWorkInstructionDocInput>(save(objectData(
        "<ns1:doubleArrayProps key=\"d&amp;\"><ns1:value> 2.5 </ns1:value></ns1:doubleArrayProps>"
        "<ns1:dateProps key=\"t\" value=\"2010-09-01T08:30:00Z\"/>")));
    const auto& input = *message->getSavedObjectArray().at(0)->getModifiedDCDArray().at(0)->getObjectData();
    EXPECT_EQ(input.getType(), "T");
    ASSERT_EQ(input.getDoubleArrayPropArray().size(), 1u);
    EXPECT_EQ(input.getDoubleArrayPropArray()[0]->getKey(), "d&");
    EXPECT_EQ(input.getDoubleArrayPropArray()[0]->getValueArray(), std::vector<double>{2.5});
    wi::DateTime expected(2010, 9, 1, 8, 30, 0);
    expected.setTimeZoneOffset(0);
    EXPECT_EQ(input.getDatePropArray().at(0)->getValue(), expected);
}

TEST(FloorReader, RefusesWhatReadXmlRefuses)
{
    const std::string refused[] = {
        save("<ns1:unknownChild/>"),
        save(objectData("<ns1:intProps key=\"i\" value=\"twelve\"/>")),
        save(objectData("<ns1:boolArrayProps key=\"b\"><ns1:value>maybe</ns1:value></ns1:boolArrayProps>")),
        save("<ns1:savedObjects>"),
        "<!DOCTYPE d><d/>",
    };
    for (const std::string& text : refused) {
        EXPECT_ANY_THROW(readAtFloor<SaveWorkInstructionDocInput>(text)) << text;
        EXPECT_ANY_THROW(wi::readXml<SaveWorkInstructionDocInput>(text)) << text;
    }
}

TEST(FloorReader, CheckReportsADocumentTheFloorCannotRead)
{
    // readXml takes the message out of an envelope; the floor reads bare messages only.
    const std::string enveloped = "<soap:Envelope xmlns:soap=\"http://schemas.xmlsoap.org/soap/envelope/\">"
                                  "<soap:Body>" +
                                  save("") + "</soap:Body></soap:Envelope>";
    EXPECT_NO_THROW(wi::readXml<SaveWorkInstructionDocInput>(enveloped));
    EXPECT_NE(floorMismatch<SaveWorkInstructionDocInput>(enveloped).find("not read"), std::string::npos);
}

} // namespace
} // namespace kvsoabench
