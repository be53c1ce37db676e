// The read-only views of the classes' member rows, against the models of
// what each class writes.

#include <set>
#include <string_view>

#include "ClassModels.hpp"

namespace contract {
namespace {

template <typename T>
class ClassViewOf : public ::testing::Test {};
TYPED_TEST_SUITE(ClassViewOf, AllClasses, ClassName);

TYPED_TEST(ClassViewOf, ShowsTheRowsTheClassWrites)
{
    using Row = Model<TypeParam>;
    const wi::ClassView view = wi::classView<TypeParam>();
    EXPECT_EQ(view.name(), Row::name);
    EXPECT_EQ(view.qualifiedName(), classPrefix + Row::name);
    EXPECT_EQ(wi::findClass(Row::name), view);
    Names attributes, elements, arrays;
    for (const wi::MemberView member : view) {
        (member.isElement() ? elements : attributes).emplace_back(member.name());
        if (member.kind() == wi::MemberKind::Children || member.kind() == wi::MemberKind::Values) {
            arrays.emplace_back(member.name());
        }
        // A nested schema class is one of the list, under the type name shown.
        if (member.nestedClass()) {
            EXPECT_EQ(wi::findClass(member.typeName()), member.nestedClass()) << member.name();
        }
        EXPECT_EQ(view.findMember(member.name(), member.isElement()), member);
        EXPECT_FALSE(view.findMember(member.name(), !member.isElement())) << member.name();
    }
    EXPECT_EQ(attributes, Row::attributes());
    EXPECT_EQ(elements, Row::children());
    EXPECT_EQ(arrays, Row::arrays());
}

// What each kind of row shows of what it holds.
TEST(ClassViews, TypesKindsAndTheListOfClasses)
{
    struct Expected {
        const char* className;
        const char* member;
        wi::MemberKind kind;
        const char* typeName;
        const char* nestedClass; // "" when the row has none
    };
    const Expected rows[] = {
        {"IntMap", "value", wi::MemberKind::Attribute, "int", ""},
        {"DateMap", "value", wi::MemberKind::Attribute, "DateTime", ""},
        {"BoolVectorMap", "value", wi::MemberKind::Values, "bool", ""},
        {"TagMap", "value", wi::MemberKind::Child, "ModelObject", ""},
        {"LoadedObjectsResponse", "ServiceData", wi::MemberKind::BareChild, "ServiceData", ""},
        {"LoadedObjectsResponse", "loadedObjects", wi::MemberKind::Children, "LoadedObjectInfo", "LoadedObjectInfo"},
        {"CreateInputMap", "value", wi::MemberKind::Children, "CreateInput", "CreateInput"},
        {"SavedSubSTXInfo", "objectData", wi::MemberKind::Child, "CreateInput", "CreateInput"},
    };
    for (const Expected& row : rows) {
        SCOPED_TRACE(std::string(row.className) + "::" + row.member);
        const wi::ClassView view = wi::findClass(row.className);
        ASSERT_TRUE(view);
        const wi::MemberView member = view.findMember(row.member, row.kind != wi::MemberKind::Attribute);
        ASSERT_TRUE(member);
        EXPECT_EQ(member.kind(), row.kind);
        EXPECT_EQ(member.typeName(), row.typeName);
        EXPECT_EQ(member.nestedClass().name(), row.nestedClass);
    }

    std::set<std::string_view> names;
    for (const wi::ClassView& view : wi::schemaClasses()) names.insert(view.name());
    EXPECT_EQ(names.size(), 27u);
    EXPECT_EQ(wi::schemaClasses().front(), wi::classView<wi::StringMap>());
    // No class, and the empty view that stands for it.
    for (const char* name : {"", "intmap", "ModelObject", "Velmora::Schemas::Mes::_2010_09::Workinstructions::IntMap"}) {
        EXPECT_FALSE(wi::findClass(name)) << name;
    }
    EXPECT_FALSE(wi::findClass("IntMap").findMember("Value", false));
    EXPECT_FALSE(wi::findClass("IntMap").findMember("value", true)); // an attribute, not an element
    const wi::ClassView none;
    EXPECT_EQ(none.size(), 0u);
    EXPECT_EQ(none.begin(), none.end());
    EXPECT_EQ(none.name(), "");
}

// The nested objects a row reaches in an object, as programs that walk one see them.
TEST(ClassViews, ReachTheNestedObjectsOfAnObject)
{
    wi::CreateInputMap map;
    const AutoPtr<wi::CreateInput> first(new wi::CreateInput), second(new wi::CreateInput);
    map.addValue(first);
    map.addValue(second);
    const wi::ClassView view = wi::classView<wi::CreateInputMap>();
    const wi::MemberView entries = view.findMember("value", true);
    ASSERT_EQ(entries.entryCount(map), 2u);
    EXPECT_EQ(&entries.entry(map, 0), first.get());
    EXPECT_EQ(&entries.entry(map, 1), second.get());
    EXPECT_EQ(view.findMember("key", false).entryCount(map), 0u); // an attribute holds no objects

    wi::TagMap tag;
    const wi::MemberView value = wi::classView<wi::TagMap>().findMember("value", true);
    ASSERT_EQ(value.entryCount(tag), 1u);
    EXPECT_EQ(&value.entry(tag, 0), tag.getValue().get());
    tag.setValue(AutoPtr<wi::ModelObject>());
    EXPECT_THROW(value.entry(tag, 0), DomException);
}

// Values as the writer writes them, unescaped, so that a program comparing two
// objects sees the texts their documents would hold.
TEST(ClassViews, ShowTheTextsTheWriterWrites)
{
    wi::StringMap text;
    text.setKey("k");
    text.setValue("a<b & \"c\"");
    const wi::ClassView strings = wi::classView<wi::StringMap>();
    EXPECT_EQ(strings.findMember("value", false).texts(text), Names{"a<b & \"c\""});
    EXPECT_EQ(strings.findMember("key", false).texts(text), Names{"k"});

    wi::BoolVectorMap flags;
    flags.setValueArray({true, false});
    EXPECT_EQ(wi::classView<wi::BoolVectorMap>().findMember("value", true).texts(flags), (Names{"true", "false"}));

    wi::DoubleVectorMap numbers;
    numbers.setValueArray({0.1, -0.0, 1e300});
    const Names written = wi::classView<wi::DoubleVectorMap>().findMember("value", true).texts(numbers);
    ASSERT_EQ(written.size(), 3u);
    const std::string document = wi::writeXml(numbers);
    for (const std::string& value : written) EXPECT_NE(document.find(">" + value + "<"), std::string::npos) << value;

    wi::CreateInputMap map;
    map.addValue(AutoPtr<wi::CreateInput>(new wi::CreateInput));
    EXPECT_TRUE(wi::classView<wi::CreateInputMap>().findMember("value", true).texts(map).empty());
}

} // namespace
} // namespace contract
