// The object contract that all 27 classes share, checked class by class.

#include <algorithm>
#include <cctype>
#include <cstddef>
#include <cstring>
#include <memory>
#include <set>
#include <sstream>

#include "ClassModels.hpp"

namespace contract {
namespace {

/// Objects in the tree, by class: each object's outputXML reports one start marker.
template <typename T>
std::map<std::string, int> objectsWritten(const T& object)
{
    RecordingListener listener;
    write(object);
    std::map<std::string, int> counts;
    for (const auto& name : startedClasses(listener.events, "::outputXML")) ++counts[name];
    return counts;
}

std::map<std::string, int> difference(std::map<std::string, int> total, const std::map<std::string, int>& part)
{
    for (const auto& [name, count] : part) {
        if ((total[name] -= count) == 0) total.erase(name);
    }
    return total;
}

std::map<std::string, int> childCounts(const XMLNode& node)
{
    std::map<std::string, int> counts;
    for (const XMLNode* child : node.children) ++counts[child->name.str()];
    return counts;
}

template <typename T>
class SchemaContract : public ::testing::Test {
protected:
    using Row = Model<T>;
    // Every class that holds objects reaches a ModelObject or a ServiceData once filled.
    static constexpr bool holdsObjects = Row::filledUsesBase;

    static std::string qualified() { return classPrefix + Row::name; }
    static std::string trace(const char* operation) { return qualified() + "::" + operation; }
};
TYPED_TEST_SUITE(SchemaContract, AllClasses, ClassName);

TYPED_TEST(SchemaContract, ReferenceCountStartsAtZeroAndIsNeverCopied)
{
    TypeParam fresh;
    EXPECT_EQ(fresh.getRefCount(), 0);

    AutoPtr<TypeParam> held(new TypeParam);
    AutoPtr<TypeParam> again = held;
    EXPECT_EQ(held->getRefCount(), 2);

    TypeParam copy(*held);
    EXPECT_EQ(copy.getRefCount(), 0);

    AutoPtr<TypeParam> assigned(new TypeParam);
    *assigned = *held;
    EXPECT_EQ(assigned->getRefCount(), 1);
    EXPECT_EQ(held->getRefCount(), 2);

    std::unique_ptr<BaseObject> clone(held->clone());
    ASSERT_NE(clone, nullptr);
    EXPECT_EQ(clone->getRefCount(), 0);
}

TYPED_TEST(SchemaContract, FilledObjectWritesEveryMemberInOrderAndReadsBackToTheSameText)
{
    using Row = typename TestFixture::Row;
    const std::string text = filledText<TypeParam>();
    XMLDocument document(text);
    const XMLNode& written = document.root();

    Names attributes;
    for (const auto& attribute : written.attributes()) {
        if (attribute.name.rfind("xmlns", 0) != 0) attributes.emplace_back(attribute.name);
    }
    EXPECT_EQ(attributes, Row::attributes());
    for (const auto& name : attributes) EXPECT_NE(written.getAttr(name), "") << name;

    Names groups; // consecutive children of one name count once
    for (const XMLNode* child : written.children) {
        if (groups.empty() || groups.back() != child->name) groups.push_back(child->name.str());
    }
    EXPECT_EQ(groups, Row::children());

    EXPECT_EQ(rewritten<TypeParam>(text), text);
}

TYPED_TEST(SchemaContract, DefaultObjectDeclaresExactlyTheNamespacesItReaches)
{
    using Row = typename TestFixture::Row;
    TypeParam fresh;
    std::set<std::string> found;
    fresh.getNamespaces(found);
    std::set<std::string> expected{schemaUri};
    if (Row::defaultUsesBase) expected.insert(baseUri);
    EXPECT_EQ(found, expected);

    const std::string text = write(fresh);
    EXPECT_EQ(text.rfind("<ns1:Root" + declarations(Row::defaultUsesBase), 0), 0u) << text;
    EXPECT_EQ(text.find(declarations(true)) != std::string::npos, Row::defaultUsesBase) << text;
}

TYPED_TEST(SchemaContract, FilledObjectAddsItsNamespacesToWhatTheSetHolds)
{
    using Row = typename TestFixture::Row;
    TypeParam object;
    fill(object);
    std::set<std::string> found{"urn:already-there", schemaUri};
    object.getNamespaces(found);
    std::set<std::string> expected{"urn:already-there", schemaUri};
    if (Row::filledUsesBase) expected.insert(baseUri);
    EXPECT_EQ(found, expected);
}

TYPED_TEST(SchemaContract, UnknownChildIsRefusedUnlessTheClassHasNoChildMembers)
{
    using Row = typename TestFixture::Row;
    const std::string text = filledText<TypeParam>();
    Names strangers{"stranger", "value", "key"};
    if (!attributeOnly<TypeParam>) {
        const std::string first = Row::children().front();
        std::string otherCase = first;
        otherCase[0] = static_cast<char>(std::isupper(static_cast<unsigned char>(first[0]))
                                             ? std::tolower(static_cast<unsigned char>(first[0]))
                                             : std::toupper(static_cast<unsigned char>(first[0])));
        strangers = {"stranger", otherCase, "ns1:" + first};
    }
    for (const auto& name : strangers) {
        XMLDocument document(text);
        XMLNode stranger;
        stranger.name = name;
        stranger.setAttr("key", "x");
        document.root().children.push_back(&stranger);
        TypeParam object;
        const std::string failure = failureOf([&] { object.parse(document.root()); });
        if (attributeOnly<TypeParam>) {
            EXPECT_EQ(failure, "(no DomException)") << name;
            EXPECT_EQ(write(object), text);
        } else {
            EXPECT_EQ(failure, "Unexpected node name: " + name);
        }
    }
}

TYPED_TEST(SchemaContract, ParsingTwiceAppendsEveryArrayTwice)
{
    using Row = typename TestFixture::Row;
    const std::string text = filledText<TypeParam>();
    TypeParam once;
    read(once, text);
    TypeParam twice;
    read(twice, text);
    read(twice, text);

    XMLDocument first(write(once));
    XMLDocument second(write(twice));
    EXPECT_EQ(second.root().attributes(), first.root().attributes());
    const auto arrays = Row::arrays();
    auto expected = childCounts(first.root());
    for (auto& [name, count] : expected) {
        if (std::find(arrays.begin(), arrays.end(), name) != arrays.end()) count *= 2;
    }
    EXPECT_EQ(childCounts(second.root()), expected);
    if (attributeOnly<TypeParam>) {
        EXPECT_EQ(write(twice), text);
    }
}

TYPED_TEST(SchemaContract, NewAndDeleteGoThroughTheManagerUnderTheClassTag)
{
    CountingManager manager;
    TypeParam* object = new TypeParam;
    ASSERT_FALSE(manager.allocations.empty());
    EXPECT_EQ(manager.allocations.front().tag, TestFixture::qualified());
    EXPECT_EQ(manager.allocations.front().size, sizeof(TypeParam));
    EXPECT_EQ(manager.allocations.front().pointer, static_cast<void*>(object));
    // The default nested objects come from the manager too, each under its own class tag.
    EXPECT_EQ(manager.countsByTag(), objectsWritten(*object));

    delete object;
    EXPECT_NE(std::find(manager.deallocations.begin(), manager.deallocations.end(), static_cast<void*>(object)),
              manager.deallocations.end());
}

TYPED_TEST(SchemaContract, CloneIsOneAllocationUnderTheClassTag)
{
    TypeParam source;
    fill(source);
    CountingManager manager;
    std::unique_ptr<BaseObject> clone(source.clone());
    ASSERT_NE(clone, nullptr);
    void* const memory = dynamic_cast<void*>(clone.get());
    ASSERT_EQ(manager.allocations.size(), 1u); // nested objects are shared, not made anew
    EXPECT_EQ(manager.allocations[0].tag, TestFixture::qualified());
    EXPECT_EQ(manager.allocations[0].size, sizeof(TypeParam));
    EXPECT_EQ(manager.allocations[0].pointer, memory);
    ASSERT_NE(dynamic_cast<TypeParam*>(clone.get()), nullptr);
    EXPECT_EQ(write(*dynamic_cast<TypeParam*>(clone.get())), write(source));

    clone.reset();
    EXPECT_EQ(manager.deallocations, std::vector<void*>{memory});
}

TYPED_TEST(SchemaContract, ObjectsMadeByParseCarryTheirClassTags)
{
    const std::string text = filledText<TypeParam>();
    XMLDocument document(text);
    TypeParam object; // its default nested objects exist before the manager
    std::map<std::string, int> made;
    {
        CountingManager manager;
        object.parse(document.root());
        made = manager.countsByTag();
    }
    EXPECT_EQ(made, difference(objectsWritten(object), objectsWritten(TypeParam())));
}

TYPED_TEST(SchemaContract, PlacementFormsAskTheManagerForSingleObjectsOnly)
{
    alignas(TypeParam) unsigned char one[sizeof(TypeParam)];
    alignas(TypeParam) unsigned char two[2 * sizeof(TypeParam) + 64]; // room for an array cookie
    CountingManager manager;

    TypeParam* single = new (one) TypeParam;
    EXPECT_EQ(static_cast<void*>(single), static_cast<void*>(one));
    EXPECT_EQ(manager.placements, std::vector<void*>{one});
    single->~TypeParam();

    TypeParam* pair = new (two) TypeParam[2];
    EXPECT_EQ(manager.placements.size(), 1u);
    pair[1].~TypeParam();
    pair[0].~TypeParam();
}

TYPED_TEST(SchemaContract, ManagerGivingNoMemoryMakesCloneNullAndNewThrow)
{
    TypeParam source;
    fill(source);
    CountingManager refusing(true);
    EXPECT_EQ(source.clone(), nullptr);
    EXPECT_THROW({ delete new TypeParam; }, std::bad_alloc);
    ASSERT_EQ(refusing.allocations.size(), 2u);
    EXPECT_EQ(refusing.allocations[1].tag, TestFixture::qualified());
}

TYPED_TEST(SchemaContract, CopiesShareNestedObjectsButOwnTheirMembers)
{
    using Row = typename TestFixture::Row;
    TypeParam source;
    fill(source);
    const std::string before = write(source);

    TypeParam copied(source);
    TypeParam assigned;
    assigned = source;
    const TypeParam& self = assigned;
    assigned = self;
    std::unique_ptr<BaseObject> cloneHolder(source.clone());
    ASSERT_NE(dynamic_cast<TypeParam*>(cloneHolder.get()), nullptr);
    TypeParam& cloned = *dynamic_cast<TypeParam*>(cloneHolder.get());
    for (const TypeParam* other : {&copied, &assigned, &cloned}) EXPECT_EQ(write(*other), before);

    std::string now = before;
    if (Row::changeShared(source)) {
        now = write(source);
        ASSERT_NE(now, before);
        for (const TypeParam* other : {&copied, &assigned, &cloned}) EXPECT_EQ(write(*other), now);
    } else {
        EXPECT_FALSE(TestFixture::holdsObjects);
    }

    for (TypeParam* other : {&copied, &assigned, &cloned}) {
        Row::changeOwn(*other);
        EXPECT_NE(write(*other), now);
    }
    EXPECT_EQ(write(source), now);
}

TYPED_TEST(SchemaContract, MovedFromObjectsStayWholeAndShareLikeCopies)
{
    using Row = typename TestFixture::Row;
    TypeParam source;
    fill(source);
    const std::string before = write(source);

    TypeParam constructed(std::move(source));
    TypeParam assigned;
    assigned = std::move(source);
    for (const TypeParam* object : {&source, &constructed, &assigned}) EXPECT_EQ(write(*object), before);
    if (::testing::Test::HasFailure()) return; // a gutted source would not survive changeShared

    // Moving copies: the moved-from object still shares its nested objects with the others.
    if (Row::changeShared(source)) {
        const std::string now = write(source);
        ASSERT_NE(now, before);
        for (const TypeParam* other : {&constructed, &assigned}) EXPECT_EQ(write(*other), now);
    }
}

#if defined(__GNUC__) // the Itanium C++ ABI: a pointer to a virtual member holds 1 + its vtable offset
template <typename T>
struct SlotProbe : T {
    template <typename Member>
    static std::size_t slotOf(Member member)
    {
        static_assert(sizeof(member) == 2 * sizeof(std::ptrdiff_t));
        std::ptrdiff_t raw[2];
        std::memcpy(raw, &member, sizeof raw);
        EXPECT_EQ(raw[0] % static_cast<std::ptrdiff_t>(sizeof(void*)), 1) << "not a virtual function";
        return static_cast<std::size_t>(raw[0] - 1) / sizeof(void*);
    }
    static std::size_t cloneSlot() { return slotOf(&SlotProbe::reallyClone); }
};

TYPED_TEST(SchemaContract, VirtualSlotsFollowTheBaseOrder)
{
    // Slots 0 and 1 are the destructor's complete and deleting forms.
    EXPECT_EQ(SlotProbe<TypeParam>::cloneSlot(), 2u);
    EXPECT_EQ(SlotProbe<TypeParam>::slotOf(&TypeParam::getNamespaces), 3u);
}
#endif

// ---- arrays ---------------------------------------------------------------------

template <typename T>
class ArrayContract : public SchemaContract<T> {
};
using ArrayClasses =
    ::testing::Types<wi::StringVectorMap, wi::DoubleVectorMap, wi::FloatVectorMap, wi::IntVectorMap, wi::BoolVectorMap,
                     wi::DateVectorMap, wi::TagVectorMap, wi::CreateInput, wi::CreateInputMap,
                     wi::LoadWorkInstructionDocInput, wi::LoadedSTXInfo, wi::LoadedObjectInfo,
                     wi::LoadedObjectsResponse, wi::SavedObjectInfo, wi::SaveWorkInstructionDocInput>;
TYPED_TEST_SUITE(ArrayContract, ArrayClasses, ClassName);

TYPED_TEST(ArrayContract, ParseReservesEveryArrayForAllChildNodesAtOnce)
{
    using Row = typename TestFixture::Row;
    XMLDocument document(filledText<TypeParam>());
    // Three rounds of the children: counts that growth by doubling would not hit.
    auto& children = document.root().children;
    const auto once = children;
    children.insert(children.end(), once.begin(), once.end());
    children.insert(children.end(), once.begin(), once.end());

    TypeParam fresh;
    fresh.parse(document.root());
    const auto capacities = Row::capacities(fresh);
    const auto arrays = Row::arrays();
    ASSERT_EQ(capacities.size(), arrays.size());
    for (std::size_t i = 0; i < arrays.size(); ++i) {
        if (std::is_same_v<TypeParam, wi::BoolVectorMap>) {
            EXPECT_GE(capacities[i], children.size()) << arrays[i]; // bits come in whole words
        } else {
            // A single reservation of an empty vector gives exactly the room asked for.
            EXPECT_EQ(capacities[i], children.size()) << arrays[i];
        }
    }
}

} // namespace
} // namespace contract
