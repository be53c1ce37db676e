// The read-only views of the classes' member rows, against the models of
// what each class writes.

#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string_view>

#include "ClassModels.hpp"
#include "kvsoa/XMLDocument.hpp"

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
        // A nested schema class is one of the list, and only Object rows have one.
        EXPECT_EQ(member.valueKind() == wi::ValueKind::Object, bool(member.nestedClass())) << member.name();
        if (member.nestedClass()) {
            EXPECT_EQ(wi::findClass(member.nestedClass().name()), member.nestedClass());
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
        wi::ValueKind valueKind;
        const char* nestedClass; // "" when the row has none
    };
    const Expected rows[] = {
        {"IntMap", "value", wi::MemberKind::Attribute, wi::ValueKind::Int, ""},
        {"DateMap", "value", wi::MemberKind::Attribute, wi::ValueKind::DateTime, ""},
        {"FloatMap", "value", wi::MemberKind::Attribute, wi::ValueKind::Float, ""},
        {"StringMap", "key", wi::MemberKind::Attribute, wi::ValueKind::String, ""},
        {"BoolVectorMap", "value", wi::MemberKind::Values, wi::ValueKind::Bool, ""},
        {"DoubleVectorMap", "value", wi::MemberKind::Values, wi::ValueKind::Double, ""},
        {"TagMap", "value", wi::MemberKind::Child, wi::ValueKind::ModelObject, ""},
        {"LoadedObjectsResponse", "ServiceData", wi::MemberKind::BareChild, wi::ValueKind::ServiceData, ""},
        {"LoadedObjectsResponse", "loadedObjects", wi::MemberKind::Children, wi::ValueKind::Object, "LoadedObjectInfo"},
        {"CreateInputMap", "value", wi::MemberKind::Children, wi::ValueKind::Object, "CreateInput"},
        {"SavedSubSTXInfo", "objectData", wi::MemberKind::Child, wi::ValueKind::Object, "CreateInput"},
    };
    for (const Expected& row : rows) {
        SCOPED_TRACE(std::string(row.className) + "::" + row.member);
        const wi::ClassView view = wi::findClass(row.className);
        ASSERT_TRUE(view);
        const wi::MemberView member = view.findMember(row.member, row.kind != wi::MemberKind::Attribute);
        ASSERT_TRUE(member);
        EXPECT_EQ(member.kind(), row.kind);
        EXPECT_EQ(member.valueKind(), row.valueKind);
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

// The rows say which members the schema requires; the XSD we ship says it
// too. Every row stands in the XSD with the same kind, arrays unbounded, and
// required exactly where the XSD requires it, so that the two cannot drift.
TEST(ClassViews, RowsAgreeWithTheSchemaOnWhatIsRequired)
{
    std::ifstream file(std::string(KVSOA_SOURCE_DIR) + "/schema/WorkInstructions.xsd", std::ios::binary);
    ASSERT_TRUE(file);
    const XMLDocument schema(file);
    const auto attributeOf = [](const XMLNode& node, const char* name) {
        const ::Kavella::Soa::Common::Xml::XMLAttribute* found = node.findAttribute(name);
        return found ? std::string(found->value) : std::string();
    };
    std::size_t typesSeen = 0;
    for (const XMLNode* type : schema.root().children) {
        if (type->name != "complexType") continue;
        const wi::ClassView view = wi::findClass(attributeOf(*type, "name"));
        ASSERT_TRUE(view) << attributeOf(*type, "name");
        ++typesSeen;
        std::size_t declared = 0;
        // Attributes stand in the type, elements in its sequence.
        std::vector<const XMLNode*> members(type->children.begin(), type->children.end());
        for (std::size_t i = 0; i < members.size(); ++i) {
            const XMLNode& node = *members[i];
            if (node.name == "sequence") {
                members.insert(members.end(), node.children.begin(), node.children.end());
                continue;
            }
            const bool element = node.name == "element";
            const std::string name = attributeOf(node, "name");
            SCOPED_TRACE(std::string(view.name()) + "::" + name);
            const wi::MemberView row = view.findMember(name, element);
            ASSERT_TRUE(row);
            ++declared;
            const bool array = attributeOf(node, "maxOccurs") == "unbounded";
            EXPECT_EQ(array, row.kind() == wi::MemberKind::Children || row.kind() == wi::MemberKind::Values);
            EXPECT_EQ(row.required(), element ? attributeOf(node, "minOccurs") != "0" : attributeOf(node, "use") == "required");
        }
        EXPECT_EQ(declared, view.size()) << view.name(); // no row the XSD lacks
    }
    EXPECT_EQ(typesSeen, wi::schemaClasses().size());
}

// A class chosen by name makes, reads and writes its objects as its own
// functions do, without the program naming the class's type.
TEST(ClassViews, MakeReadAndWriteAClassByName)
{
    for (const wi::ClassView& view : wi::schemaClasses()) {
        SCOPED_TRACE(std::string(view.name()));
        const AutoPtr<BaseObject> made = view.make();
        ASSERT_TRUE(made.get());
        const std::string written = view.write(*made);
        const AutoPtr<BaseObject> read = view.read(written);
        EXPECT_EQ(view.write(*read, wi::WriteFormat{wi::Envelope::Soap12, 2}),
                  view.write(*made, wi::WriteFormat{wi::Envelope::Soap12, 2}));
        std::istringstream stream(written);
        EXPECT_EQ(view.write(*view.read(stream)), written);
    }
    wi::IntMap typed;
    typed.setKey("k");
    typed.setValue(7);
    const wi::ClassView ints = wi::findClass("IntMap");
    EXPECT_EQ(ints.write(typed), wi::writeXml(typed));
    EXPECT_EQ(static_cast<const wi::IntMap&>(*ints.read(wi::writeXml(typed))).getValue(), 7);
    XmlStream stream;
    ints.write(typed, stream, "entry");
    EXPECT_EQ(stream.str().rfind("<entry ", 0), 0u) << stream.str();
    EXPECT_NE(stream.str().find(" key=\"k\" value=\"7\"/>"), std::string::npos) << stream.str();
    // A message is read from its own element only, and says so by its type.
    EXPECT_TRUE(wi::findClass("SavedObjectsResponse").isMessage());
    EXPECT_FALSE(ints.isMessage());
    EXPECT_THROW(wi::findClass("SavedObjectsResponse").read(wi::writeXml(wi::LoadedObjectsResponse())),
                 wi::WrongMessageElement);
    EXPECT_FALSE(wi::ClassView().make().get());
}

// What a message lacks is told as the reader passes it: attributes at the
// element's start, single objects at its end, each with the element's path
// by array index and where it starts.
TEST(ClassViews, TheReaderTellsWhatAMessageLacks)
{
    const std::string text = "<wi:SaveWorkInstructionDocInput xmlns:wi=\"" + std::string(wi::NamespaceUri) + "\">\n"
                             "<wi:savedObjects workInstructionFile=\"a\"><wi:targetObject uid=\"t\"/></wi:savedObjects>\n"
                             "<wi:savedObjects>\n"
                             " <wi:modifiedDCDs transientId=\"d\" persistentId=\"\">\n"
                             "  <wi:objectData><wi:stringProps value=\"x\"/></wi:objectData>\n"
                             " </wi:modifiedDCDs>\n"
                             "</wi:savedObjects>\n"
                             "</wi:SaveWorkInstructionDocInput>\n";
    std::vector<std::string> told;
    const auto tell = [&told](const wi::AbsentMember& absent) {
        std::ostringstream line;
        line << absent.at.line << ':' << absent.at.column << ' ' << absent.owner.name() << ' ' << absent.element << ' '
             << absent.path << ' ' << absent.member.name() << (absent.member.required() ? " required" : "");
        told.push_back(line.str());
    };
    const AutoPtr<BaseObject> read = wi::classView<wi::SaveWorkInstructionDocInput>().read(text, {}, tell);
    EXPECT_EQ(told, (std::vector<std::string>{
                        "3:1 SavedObjectInfo savedObjects savedObjects[1] workInstructionFile required",
                        "4:2 SavedSubSTXInfo modifiedDCDs savedObjects[1].modifiedDCDs[0] owningObjectTransientId required",
                        "5:3 CreateInput objectData savedObjects[1].modifiedDCDs[0].objectData type required",
                        "5:18 StringMap stringProps savedObjects[1].modifiedDCDs[0].objectData.stringProps[0] key required",
                        "3:1 SavedObjectInfo savedObjects savedObjects[1] targetObject required",
                    }));
    // Nothing lacking, nothing told; and the object read is the same either way.
    told.clear();
    const wi::ClassView view = wi::classView<wi::SaveWorkInstructionDocInput>();
    EXPECT_EQ(view.write(*view.read(text)), view.write(*read));
    view.read(wi::writeXml(wi::SaveWorkInstructionDocInput()), {}, tell);
    EXPECT_TRUE(told.empty());
}

} // namespace
} // namespace contract
