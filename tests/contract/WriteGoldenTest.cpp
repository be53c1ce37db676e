// Every way of writing every class, pinned to the bytes the writer produced
// when these hashes were taken: a faster writer must write the same text.
// KVSOA_PRINT_GOLDEN=1 prints the rows for the current writer instead of
// failing (only for a deliberate change of the output).

#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <limits>
#include <sstream>

#include "ClassModels.hpp"

namespace contract {
namespace {

std::uint64_t fnv1a(const std::string& text)
{
    std::uint64_t hash = 0xcbf29ce484222325ull;
    for (const char c : text) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 0x100000001b3ull;
    }
    return hash;
}

std::string hex(std::uint64_t value)
{
    char text[19];
    std::snprintf(text, sizeof text, "0x%016llx", static_cast<unsigned long long>(value));
    return text;
}

/// The object written each way the library offers, one after another.
template <typename T>
std::string everyWay(const T& object)
{
    std::string all;
    const auto add = [&](const std::string& text) { all.append(text).append(1, '\0'); };

    add(write(object));
    for (const int spaces : {1, 2}) {
        XmlStream stream;
        stream.setIndent(spaces);
        object.outputXML(stream, stream.getNamespacePrefix(schemaUri) + ":Root");
        add(stream.str());
    }
    {
        // Chosen prefixes, one of them for a namespace the tree never uses.
        XmlStream stream;
        stream.setNamespacePrefix("urn:golden:unused", "u");
        stream.setNamespacePrefix(schemaUri, "wi");
        stream.setNamespacePrefix(baseUri, "b");
        stream.setIndent(3);
        object.outputXML(stream, "wi:Root");
        add(stream.str());
    }
    {
        // Only the schema's prefix chosen: the base namespace still numbers itself.
        XmlStream stream;
        stream.setNamespacePrefix(schemaUri, "ns2");
        object.outputXML(stream, "ns2:Root");
        add(stream.str());
    }
    {
        // Nested in an element that another writer began: nothing is declared.
        XmlStream stream;
        stream.beginElement("outer", {schemaUri, baseUri});
        stream.appendStartTagEnd(false);
        object.outputXML(stream, stream.getNamespacePrefix(schemaUri) + ":Root");
        stream.appendEndTag("outer");
        add(stream.str());
    }
    for (const wi::Envelope envelope : {wi::Envelope::None, wi::Envelope::Soap11, wi::Envelope::Soap12}) {
        add(wi::writeXml(object, envelope));
        std::ostringstream out;
        wi::writeXml(object, out, envelope);
        add(out.str());
    }
    return all;
}

struct ClassRow {
    const char* name;
    const char* filled;
    const char* empty;
};

// clang-format off
const ClassRow kClassRows[] = {
    {"StringMap",                   "0x40f25a92212ed1b3", "0xbfc8cd9aef74ee63"},
    {"DoubleMap",                   "0x054c377c266ebb1b", "0x3702da4f83803f3b"},
    {"FloatMap",                    "0x4189716d19cb07fd", "0xf33d2b9ac839f9af"},
    {"IntMap",                      "0x26724c472cefc1fd", "0x6b937687e5d1c655"},
    {"BoolMap",                     "0x34bd13739d523179", "0x283d172255eafb6f"},
    {"DateMap",                     "0x77419a07f978113f", "0x29371f3dc8de13a7"},
    {"TagMap",                      "0xe50564dc8d8bb2f6", "0x1e7f4c4a15f8c04c"},
    {"StringVectorMap",             "0x9ad3ae13995b0ff8", "0x8399c9f75c2efdd8"},
    {"DoubleVectorMap",             "0x20518b7af3c26ec2", "0x16e26ddfbf871e48"},
    {"FloatVectorMap",              "0x8cbd2e384ca2a31c", "0xbdf0f516fa4dff80"},
    {"IntVectorMap",                "0xb7142ba10ba0543e", "0x019c08b30f130838"},
    {"BoolVectorMap",               "0xd5f8153cb4199d3e", "0xf968757aba3e41d0"},
    {"DateVectorMap",               "0x3e6d6a16c4717986", "0x001e4ac7f872a3e0"},
    {"TagVectorMap",                "0x8fcfda3e5934e14b", "0x4d849801e6031d50"},
    {"CreateInput",                 "0x51f3aef1c5fa41df", "0x697a01951a04bf96"},
    {"CreateInputMap",              "0x41abaf6832655993", "0xc340f5b623191ec0"},
    {"ObjectsReferenced",           "0x22941442969661ed", "0xcf97ead2522d3003"},
    {"LoadWorkInstructionDocInput", "0x855ec286bd423e09", "0x4d2094f6f1bb80dc"},
    {"LoadedSTXInfo",               "0xcc0eb5eaffc42548", "0x472ea1d3917c3e98"},
    {"LoadedSubSTXInfo",            "0x91b0bb97b5c5f8bb", "0xfd62e325f131a738"},
    {"LoadedObjectInfo",            "0xeae05911d1fbf5f2", "0x8c7c487f467c9827"},
    {"LoadedObjectsResponse",       "0x003169efa689252d", "0x02e8483e3b94cf0b"},
    {"SavedSTXInfo",                "0x4adc2e5a5cbb4d2a", "0x17fb6c5f8cd8113e"},
    {"SavedSubSTXInfo",             "0x9d0d53144a85f779", "0x72f7c703f1e11d48"},
    {"SavedObjectInfo",             "0x5f2a50d83636cd97", "0xf91d42e974c131e6"},
    {"SaveWorkInstructionDocInput", "0x147566281eb8d2d5", "0xd70ea58fb33f582c"},
    {"SavedObjectsResponse",        "0xb8ba4462b4913fc7", "0x3f9883680776239b"},
};
// clang-format on

bool printing()
{
    const char* print = std::getenv("KVSOA_PRINT_GOLDEN");
    return print && *print && *print != '0';
}

template <typename T>
class WriteGolden : public ::testing::Test {};
TYPED_TEST_SUITE(WriteGolden, AllClasses, ClassName);

TYPED_TEST(WriteGolden, FilledAndEmptyObjectsWriteTheSameBytesEveryWay)
{
    using Row = Model<TypeParam>;
    const std::string filledText = everyWay(*filled<TypeParam>());
    const std::string emptyText = everyWay(*make<TypeParam>());
    if (printing()) {
        std::printf("    {\"%s\", \"%s\", \"%s\"},\n", Row::name, hex(fnv1a(filledText)).c_str(),
                    hex(fnv1a(emptyText)).c_str());
        return;
    }
    const ClassRow* row = nullptr;
    for (const ClassRow& candidate : kClassRows) {
        if (std::string(candidate.name) == Row::name) row = &candidate;
    }
    ASSERT_NE(row, nullptr) << "no golden row for " << Row::name;
    EXPECT_EQ(hex(fnv1a(filledText)), row->filled) << "filled " << Row::name << " now writes:\n" << write(*filled<TypeParam>());
    EXPECT_EQ(hex(fnv1a(emptyText)), row->empty) << "empty " << Row::name << " now writes:\n" << write(*make<TypeParam>());
}

// ---- values and shapes the filled objects do not reach ------------------------------

AutoPtr<wi::CreateInput> nestedInput(AutoPtr<wi::CreateInput> inner)
{
    auto compound = make<wi::CreateInputMap>();
    compound->setKey("nested");
    compound->addValue(inner);
    auto outer = make<wi::CreateInput>();
    outer->setType("Outer");
    outer->addStringProp(filled<wi::StringMap>());
    outer->addCompoundCreateInput(compound);
    return outer;
}

struct ShapeRow {
    const char* name;
    std::function<std::string()> written;
    const char* hash;
};

std::vector<ShapeRow> shapeRows()
{
    return {
        {"doubles at the edges",
         [] {
             wi::DoubleVectorMap m;
             m.setKey("edges");
             m.setValueArray({std::numeric_limits<double>::quiet_NaN(), -std::numeric_limits<double>::infinity(),
                              std::numeric_limits<double>::infinity(), -0.0, 0.0, 5e-324, DBL_MIN, DBL_MAX, 0.1 + 0.2,
                              1e21, 1e-7, 123456789.125, -2.5e-300, 100.0});
             return everyWay(m);
         },
         "0xcfa8a54174998b36"},
        {"floats at the edges",
         [] {
             wi::FloatVectorMap m;
             m.setKey("edges");
             m.setValueArray({std::numeric_limits<float>::quiet_NaN(), -std::numeric_limits<float>::infinity(), -0.0f,
                              1e-45f, FLT_MIN, FLT_MAX, 0.1f, 16777216.0f, 3.14159274f, 1e10f});
             wi::FloatMap single;
             single.setKey("one");
             single.setValue(-1.17549435e-38f);
             return everyWay(m) + everyWay(single);
         },
         "0x19eb2a783c049914"},
        {"ints and flags at the edges",
         [] {
             wi::IntVectorMap m;
             m.setKey("edges");
             m.setValueArray({INT_MIN, INT_MAX, 0, -1, 1000000});
             wi::IntMap single;
             single.setKey("min");
             single.setValue(INT_MIN);
             wi::BoolMap flag;
             flag.setValue(false);
             return everyWay(m) + everyWay(single) + everyWay(flag);
         },
         "0x1864e658bed55b96"},
        {"texts to escape",
         [] {
             wi::StringVectorMap m;
             m.setKey("k\"e<y>&\t\r\n");
             m.setValueArray({"", "plain text longer than one word of eight bytes", "<<<<<<<<<<<<<<<<",
                              "abcdefg&hijklmn\"opqrstu>vwxyz<", "\xC3\xA9t\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80 ok",
                              "tab\tnew\nline\rreturn", "']]>' and \"quotes\"", std::string(300, 'x') + "&"});
             wi::StringMap single;
             single.setKey("\xE6\x97\xA5\xE6\x9C\xAC & more");
             single.setValue("12345678<12345678>12345678&");
             return everyWay(m) + everyWay(single);
         },
         "0x1f2cca443a8cbfb2"},
        {"dates",
         [] {
             wi::DateVectorMap m;
             DateTime utc(1999, 12, 31, 23, 59, 59, 0);
             DateTime west(2024, 2, 29, 0, 0, 0, 1000);
             west.setTimeZoneOffset(-330);
             m.setValueArray({utc, west, dateAt(9)});
             wi::DateMap single;
             single.setValue(west);
             return everyWay(m) + everyWay(single);
         },
         "0x9520bfd45e03e4e6"},
        {"base namespace reached only three levels down",
         [] {
             auto deepest = make<wi::CreateInput>();
             deepest->addTagArrayProp(filled<wi::TagVectorMap>());
             return everyWay(*nestedInput(nestedInput(deepest)));
         },
         "0x0c65f27fca27e727"},
        {"arrays that could reach the base namespace but are empty",
         [] {
             auto tags = make<wi::TagVectorMap>();
             tags->setKey("none");
             auto inner = make<wi::CreateInput>();
             inner->addTagArrayProp(tags);
             return everyWay(*nestedInput(inner)) + everyWay(*make<wi::SaveWorkInstructionDocInput>()) +
                    everyWay(*make<wi::CreateInputMap>());
         },
         "0x8e6c2ffb2d3a7847"},
        {"a shared subtree written twice",
         [] {
             auto shared = filled<wi::SavedObjectInfo>();
             wi::SaveWorkInstructionDocInput request;
             request.setSavedObjectArray({shared, shared, shared});
             return everyWay(request);
         },
         "0xce9656dfc14f02fb"},
    };
}

TEST(WriteGolden, ValuesAndShapesBeyondTheFilledObjectsWriteTheSameBytes)
{
    for (const ShapeRow& row : shapeRows()) {
        const std::string text = row.written();
        if (printing()) {
            std::printf("        %s: \"%s\"\n", row.name, hex(fnv1a(text)).c_str());
            continue;
        }
        std::string firstWay = text.substr(0, text.find('\0'));
        EXPECT_EQ(hex(fnv1a(text)), row.hash) << row.name << " now writes, first way:\n" << firstWay;
    }
}

} // namespace
} // namespace contract
