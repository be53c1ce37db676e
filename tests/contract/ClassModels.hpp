#pragma once

// One row per schema class for the tests that every class must pass: how to
// fill an object so that every member carries something, which child names
// are arrays, how to reach the arrays' capacities, and one change through a
// shared nested object and one change of the object's own members.

#include <string>
#include <type_traits>
#include <vector>

#include "ContractSupport.hpp"

namespace contract {

inline AutoPtr<base::ModelObject> model(const std::string& uid)
{
    return AutoPtr<base::ModelObject>(new base::ModelObject(uid));
}

inline DateTime dateAt(int day)
{
    DateTime value(2010, 9, day, 8, 30, 15, 250000000);
    value.setTimeZoneOffset(120);
    return value;
}

template <typename T>
AutoPtr<T> make()
{
    return AutoPtr<T>(new T);
}

// ---- filled objects: every attribute set, every array with entries ---------------

inline void fill(wi::StringMap& m)
{
    m.setKey("name");
    m.setValue("a<b & \"c\"\t");
}
inline void fill(wi::DoubleMap& m)
{
    m.setKey("weight");
    m.setValue(0.1);
}
inline void fill(wi::FloatMap& m)
{
    m.setKey("ratio");
    m.setValue(1.25f);
}
inline void fill(wi::IntMap& m)
{
    m.setKey("count");
    m.setValue(-42);
}
inline void fill(wi::BoolMap& m)
{
    m.setKey("flag");
    m.setValue(true);
}
inline void fill(wi::DateMap& m)
{
    m.setKey("due");
    m.setValue(dateAt(1));
}
inline void fill(wi::TagMap& m)
{
    m.setKey("owner");
    m.getValue()->setUid("tag-uid");
}
inline void fill(wi::StringVectorMap& m)
{
    m.setKey("names");
    m.setValueArray({"a", " b c ", "<x/>&"});
}
inline void fill(wi::DoubleVectorMap& m)
{
    m.setKey("weights");
    m.setValueArray({1.5, -0.25});
}
inline void fill(wi::FloatVectorMap& m)
{
    m.setKey("ratios");
    m.setValueArray({0.5f, 3.0f});
}
inline void fill(wi::IntVectorMap& m)
{
    m.setKey("counts");
    m.setValueArray({1, -2, 3});
}
inline void fill(wi::BoolVectorMap& m)
{
    m.setKey("flags");
    m.setValueArray({true, false, true});
}
inline void fill(wi::DateVectorMap& m)
{
    m.setKey("dates");
    m.setValueArray({dateAt(2), dateAt(3)});
}
inline void fill(wi::TagVectorMap& m)
{
    m.setKey("tags");
    m.setValueArray({model("t1"), model("t2")});
}

inline void fill(wi::CreateInput& input, int depth = 1);
inline void fill(wi::CreateInputMap& m);
inline void fill(wi::ObjectsReferenced& r);
inline void fill(wi::LoadWorkInstructionDocInput& m);
inline void fill(wi::LoadedSTXInfo& s);
inline void fill(wi::LoadedSubSTXInfo& s);
inline void fill(wi::LoadedObjectInfo& r);
inline void fill(base::ServiceData& d);
inline void fill(wi::LoadedObjectsResponse& m);
inline void fill(wi::SavedSTXInfo& s);
inline void fill(wi::SavedSubSTXInfo& s);
inline void fill(wi::SavedObjectInfo& r);
inline void fill(wi::SaveWorkInstructionDocInput& m);
inline void fill(wi::SavedObjectsResponse& m);

template <typename T>
AutoPtr<T> filled()
{
    AutoPtr<T> object = make<T>();
    fill(*object);
    return object;
}

/// A creation input with one entry in every array; depth counts the compound levels below it.
inline void fill(wi::CreateInput& input, int depth)
{
    input.setType("Operation");
    input.addStringProp(filled<wi::StringMap>());
    input.addStringArrayProp(filled<wi::StringVectorMap>());
    input.addDoubleProp(filled<wi::DoubleMap>());
    input.addDoubleArrayProp(filled<wi::DoubleVectorMap>());
    input.addFloatProp(filled<wi::FloatMap>());
    input.addFloatArrayProp(filled<wi::FloatVectorMap>());
    input.addIntProp(filled<wi::IntMap>());
    input.addIntProp(filled<wi::IntMap>());
    input.addIntArrayProp(filled<wi::IntVectorMap>());
    input.addBoolProp(filled<wi::BoolMap>());
    input.addBoolArrayProp(filled<wi::BoolVectorMap>());
    input.addDateProp(filled<wi::DateMap>());
    input.addDateArrayProp(filled<wi::DateVectorMap>());
    input.addTagProp(filled<wi::TagMap>());
    input.addTagArrayProp(filled<wi::TagVectorMap>());
    auto compound = make<wi::CreateInputMap>();
    compound->setKey("children");
    auto nested = make<wi::CreateInput>();
    if (depth > 0) fill(*nested, depth - 1);
    compound->addValue(nested);
    input.addCompoundCreateInput(compound);
}

inline void fill(wi::CreateInputMap& m)
{
    m.setKey("parts");
    auto first = make<wi::CreateInput>();
    fill(*first, 0);
    auto second = make<wi::CreateInput>();
    second->setType("Empty");
    m.setValueArray({first, second});
}

inline void fill(wi::ObjectsReferenced& r)
{
    r.getTargetContext()->setUid("context-uid");
    r.getTargetObject()->setUid("target-uid");
}

inline void fill(wi::LoadWorkInstructionDocInput& m)
{
    m.addLoadedInfo(filled<wi::ObjectsReferenced>());
    m.addLoadedInfo(filled<wi::ObjectsReferenced>());
}

inline void fill(wi::LoadedSTXInfo& s)
{
    s.setTransientId("stx-1");
    s.setWorkInstructionFile("wi.xml");
    s.getStxObjectData()->setUid("stx-uid");
    s.setSymbolArray({model("sym-1"), model("sym-2")});
}

inline void fill(wi::LoadedSubSTXInfo& s)
{
    s.setTransientId("sub-1");
    s.setObjectType("DCD");
    s.setPersistentId("p-1");
    s.setOwningObjectTransientId("owner-1");
    fill(*s.getObjectData());
}

inline void fill(wi::LoadedObjectInfo& r)
{
    r.setWorkInstructionFile("wi.xml");
    r.setTopObjectDisplayName("Top & \"main\"");
    r.setTargetObjectTransientId("t-1");
    r.getTargetContext()->setUid("context-uid");
    r.getTargetObject()->setUid("target-uid");
    r.addLoadedDCD(filled<wi::LoadedSubSTXInfo>());
    r.addLoadedDCD(filled<wi::LoadedSubSTXInfo>());
    r.addLoadedPF(filled<wi::LoadedSubSTXInfo>());
    r.setSymbolArray({model("sym-1"), model("sym-2")});
    r.addLoadedSTX(filled<wi::LoadedSTXInfo>());
}

inline void fill(base::ServiceData& d)
{
    d.addCreated("c-1");
    d.addUpdated("u-1");
    d.addDeleted("d-1");
    base::PartialError error;
    error.uid = "u-1";
    error.message = "locked by \"someone\"";
    error.code = 214014;
    error.level = 3;
    d.addPartialError(error);
}

inline void fill(wi::LoadedObjectsResponse& m)
{
    m.addLoadedObject(filled<wi::LoadedObjectInfo>());
    m.addLoadedObject(filled<wi::LoadedObjectInfo>());
    fill(*m.getServiceData());
}

inline void fill(wi::SavedSTXInfo& s)
{
    s.setTransientId("stx-1");
    s.getStxObjectData()->setUid("stx-uid");
}

inline void fill(wi::SavedSubSTXInfo& s)
{
    s.setTransientId("sub-1");
    s.setPersistentId("p-1");
    s.setOwningObjectTransientId("owner-1");
    fill(*s.getObjectData());
}

inline void fill(wi::SavedObjectInfo& r)
{
    r.setWorkInstructionFile("wi.xml");
    r.getTargetObject()->setUid("target-uid");
    r.addModifiedDCD(filled<wi::SavedSubSTXInfo>());
    r.addModifiedPF(filled<wi::SavedSubSTXInfo>());
    r.addModifiedPF(filled<wi::SavedSubSTXInfo>());
    r.addSymbol(model("sym-1"));
    r.addModifiedSTX(filled<wi::SavedSTXInfo>());
    r.addModifiedSTX(filled<wi::SavedSTXInfo>());
}

inline void fill(wi::SaveWorkInstructionDocInput& m)
{
    m.addSavedObject(filled<wi::SavedObjectInfo>());
    m.addSavedObject(filled<wi::SavedObjectInfo>());
}

inline void fill(wi::SavedObjectsResponse& m) { fill(*m.getServiceData()); }

// ---- the rows -------------------------------------------------------------------

/// Per class: name; whether a default / filled object reaches the base namespace;
/// the XML local names of its attributes and of its child members, in class order,
/// and which of the children are arrays; the arrays' capacities; one change made
/// through a shared nested object (false when the class holds none) and one change
/// of the object's own members.
template <typename T>
struct Model;

using Capacities = std::vector<std::size_t>;
using Names = std::vector<std::string>;

#define CONTRACT_ROW(Class, defaultBase, filledBase, attributeNames, childNames, arrayNames) \
    template <>                                                                              \
    struct Model<wi::Class> {                                                                \
        using Type = wi::Class;                                                              \
        static constexpr const char* name = #Class;                                          \
        static constexpr bool defaultUsesBase = defaultBase;                                 \
        static constexpr bool filledUsesBase = filledBase;                                   \
        static Names attributes() { return Names attributeNames; }                           \
        static Names children() { return Names childNames; }                                 \
        static Names arrays() { return Names arrayNames; }                                   \
        static Capacities capacities(const Type& o);                                         \
        static bool changeShared(Type& o);                                                   \
        static void changeOwn(Type& o);                                                      \
    };

CONTRACT_ROW(StringMap, false, false, ({"key", "value"}), (), ())
CONTRACT_ROW(DoubleMap, false, false, ({"key", "value"}), (), ())
CONTRACT_ROW(FloatMap, false, false, ({"key", "value"}), (), ())
CONTRACT_ROW(IntMap, false, false, ({"key", "value"}), (), ())
CONTRACT_ROW(BoolMap, false, false, ({"key", "value"}), (), ())
CONTRACT_ROW(DateMap, false, false, ({"key", "value"}), (), ())
CONTRACT_ROW(TagMap, true, true, ({"key"}), ({"value"}), ())
CONTRACT_ROW(StringVectorMap, false, false, ({"key"}), ({"value"}), ({"value"}))
CONTRACT_ROW(DoubleVectorMap, false, false, ({"key"}), ({"value"}), ({"value"}))
CONTRACT_ROW(FloatVectorMap, false, false, ({"key"}), ({"value"}), ({"value"}))
CONTRACT_ROW(IntVectorMap, false, false, ({"key"}), ({"value"}), ({"value"}))
CONTRACT_ROW(BoolVectorMap, false, false, ({"key"}), ({"value"}), ({"value"}))
CONTRACT_ROW(DateVectorMap, false, false, ({"key"}), ({"value"}), ({"value"}))
CONTRACT_ROW(TagVectorMap, false, true, ({"key"}), ({"value"}), ({"value"}))
CONTRACT_ROW(CreateInputMap, false, true, ({"key"}), ({"value"}), ({"value"}))
#define CONTRACT_CREATE_INPUT_ARRAYS                                                                         \
    ({"stringProps", "stringArrayProps", "doubleProps", "doubleArrayProps", "floatProps", "floatArrayProps", \
      "intProps", "intArrayProps", "boolProps", "boolArrayProps", "dateProps", "dateArrayProps", "tagProps", \
      "tagArrayProps", "compoundCreateInput"})
CONTRACT_ROW(CreateInput, false, true, ({"type"}), CONTRACT_CREATE_INPUT_ARRAYS, CONTRACT_CREATE_INPUT_ARRAYS)
#undef CONTRACT_CREATE_INPUT_ARRAYS
CONTRACT_ROW(ObjectsReferenced, true, true, (), ({"targetContext", "targetObject"}), ())
CONTRACT_ROW(LoadWorkInstructionDocInput, false, true, (), ({"loadedInfo"}), ({"loadedInfo"}))
CONTRACT_ROW(LoadedSTXInfo, true, true, ({"transientId", "workInstructionFile"}), ({"stxObjectData", "symbols"}),
             ({"symbols"}))
CONTRACT_ROW(LoadedSubSTXInfo, false, true, ({"transientId", "objectType", "persistentId", "owningObjectTransientId"}),
             ({"objectData"}), ())
CONTRACT_ROW(LoadedObjectInfo, true, true, ({"workInstructionFile", "topObjectDisplayName", "targetObjectTransientId"}),
             ({"targetContext", "targetObject", "loadedDCDs", "loadedPFs", "symbols", "loadedSTXs"}),
             ({"loadedDCDs", "loadedPFs", "symbols", "loadedSTXs"}))
CONTRACT_ROW(LoadedObjectsResponse, true, true, (), ({"loadedObjects", "ServiceData"}), ({"loadedObjects"}))
CONTRACT_ROW(SavedSTXInfo, true, true, ({"transientId"}), ({"stxObjectData"}), ())
CONTRACT_ROW(SavedSubSTXInfo, false, true, ({"transientId", "persistentId", "owningObjectTransientId"}),
             ({"objectData"}), ())
CONTRACT_ROW(SavedObjectInfo, true, true, ({"workInstructionFile"}),
             ({"targetObject", "modifiedDCDs", "modifiedPFs", "symbols", "modifiedSTXs"}),
             ({"modifiedDCDs", "modifiedPFs", "symbols", "modifiedSTXs"}))
CONTRACT_ROW(SaveWorkInstructionDocInput, false, true, (), ({"savedObjects"}), ({"savedObjects"}))
CONTRACT_ROW(SavedObjectsResponse, true, true, (), ({"ServiceData"}), ())

#undef CONTRACT_ROW

/// A filled T, written as the root element.
template <typename T>
std::string filledText()
{
    T object;
    fill(object);
    return write(object);
}

/// The six entries written as one empty element carrying two attributes.
template <typename T>
inline constexpr bool attributeOnly =
    std::is_same_v<T, wi::StringMap> || std::is_same_v<T, wi::DoubleMap> || std::is_same_v<T, wi::FloatMap> ||
    std::is_same_v<T, wi::IntMap> || std::is_same_v<T, wi::BoolMap> || std::is_same_v<T, wi::DateMap>;

using AllClasses =
    ::testing::Types<wi::StringMap, wi::DoubleMap, wi::FloatMap, wi::IntMap, wi::BoolMap, wi::DateMap, wi::TagMap,
                     wi::StringVectorMap, wi::DoubleVectorMap, wi::FloatVectorMap, wi::IntVectorMap, wi::BoolVectorMap,
                     wi::DateVectorMap, wi::TagVectorMap, wi::CreateInput, wi::CreateInputMap, wi::ObjectsReferenced,
                     wi::LoadWorkInstructionDocInput, wi::LoadedSTXInfo, wi::LoadedSubSTXInfo, wi::LoadedObjectInfo,
                     wi::LoadedObjectsResponse, wi::SavedSTXInfo, wi::SavedSubSTXInfo, wi::SavedObjectInfo,
                     wi::SaveWorkInstructionDocInput, wi::SavedObjectsResponse>;

/// Prints the class name in test names instead of an index.
struct ClassName {
    template <typename T>
    static std::string GetName(int)
    {
        return Model<T>::name;
    }
};

} // namespace contract
