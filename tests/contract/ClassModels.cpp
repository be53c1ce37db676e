#include "ClassModels.hpp"

namespace contract {

// Attribute-only entries: no arrays, nothing shared; their own members are the key and the value.
#define ATTRIBUTE_ROW(Class)                                            \
    Capacities Model<wi::Class>::capacities(const Type&) { return {}; } \
    bool Model<wi::Class>::changeShared(Type&) { return false; }        \
    void Model<wi::Class>::changeOwn(Type& o) { o.setKey("own"); }

ATTRIBUTE_ROW(StringMap)
ATTRIBUTE_ROW(DoubleMap)
ATTRIBUTE_ROW(FloatMap)
ATTRIBUTE_ROW(IntMap)
ATTRIBUTE_ROW(BoolMap)
ATTRIBUTE_ROW(DateMap)
#undef ATTRIBUTE_ROW

Capacities Model<wi::TagMap>::capacities(const Type&) { return {}; }
bool Model<wi::TagMap>::changeShared(Type& o)
{
    o.getValue()->setUid("changed");
    return true;
}
void Model<wi::TagMap>::changeOwn(Type& o)
{
    o.setKey("own");
    o.setValue(model("own"));
}

// Plain array entries: the array is owned by value, nothing is shared.
#define VALUES_ROW(Class, entry)                                                                      \
    Capacities Model<wi::Class>::capacities(const Type& o) { return {o.getValueArray().capacity()}; } \
    bool Model<wi::Class>::changeShared(Type&) { return false; }                                      \
    void Model<wi::Class>::changeOwn(Type& o) { o.addValue(entry); }

VALUES_ROW(StringVectorMap, std::string("own"))
VALUES_ROW(DoubleVectorMap, 7.0)
VALUES_ROW(FloatVectorMap, 7.0f)
VALUES_ROW(IntVectorMap, 7)
VALUES_ROW(BoolVectorMap, false)
VALUES_ROW(DateVectorMap, dateAt(7))
#undef VALUES_ROW

Capacities Model<wi::TagVectorMap>::capacities(const Type& o) { return {o.getValueArray().capacity()}; }
bool Model<wi::TagVectorMap>::changeShared(Type& o)
{
    o.getValueArray()[0]->setUid("changed");
    return true;
}
void Model<wi::TagVectorMap>::changeOwn(Type& o) { o.addValue(model("own")); }

Capacities Model<wi::CreateInput>::capacities(const Type& o)
{
    return {o.getStringPropArray().capacity(),
            o.getStringArrayPropArray().capacity(),
            o.getDoublePropArray().capacity(),
            o.getDoubleArrayPropArray().capacity(),
            o.getFloatPropArray().capacity(),
            o.getFloatArrayPropArray().capacity(),
            o.getIntPropArray().capacity(),
            o.getIntArrayPropArray().capacity(),
            o.getBoolPropArray().capacity(),
            o.getBoolArrayPropArray().capacity(),
            o.getDatePropArray().capacity(),
            o.getDateArrayPropArray().capacity(),
            o.getTagPropArray().capacity(),
            o.getTagArrayPropArray().capacity(),
            o.getCompoundCreateInputArray().capacity()};
}
bool Model<wi::CreateInput>::changeShared(Type& o)
{
    o.getIntPropArray()[0]->setValue(7777);
    return true;
}
void Model<wi::CreateInput>::changeOwn(Type& o)
{
    o.setType("own");
    o.addIntProp(make<wi::IntMap>());
}

Capacities Model<wi::CreateInputMap>::capacities(const Type& o) { return {o.getValueArray().capacity()}; }
bool Model<wi::CreateInputMap>::changeShared(Type& o)
{
    o.getValueArray()[0]->setType("changed");
    return true;
}
void Model<wi::CreateInputMap>::changeOwn(Type& o) { o.addValue(make<wi::CreateInput>()); }

Capacities Model<wi::ObjectsReferenced>::capacities(const Type&) { return {}; }
bool Model<wi::ObjectsReferenced>::changeShared(Type& o)
{
    o.getTargetContext()->setUid("changed");
    return true;
}
void Model<wi::ObjectsReferenced>::changeOwn(Type& o) { o.setTargetObject(model("own")); }

Capacities Model<wi::LoadWorkInstructionDocInput>::capacities(const Type& o)
{
    return {o.getLoadedInfoArray().capacity()};
}
bool Model<wi::LoadWorkInstructionDocInput>::changeShared(Type& o)
{
    o.getLoadedInfoArray()[0]->getTargetObject()->setUid("changed");
    return true;
}
void Model<wi::LoadWorkInstructionDocInput>::changeOwn(Type& o) { o.addLoadedInfo(make<wi::ObjectsReferenced>()); }

Capacities Model<wi::LoadedSTXInfo>::capacities(const Type& o) { return {o.getSymbolArray().capacity()}; }
bool Model<wi::LoadedSTXInfo>::changeShared(Type& o)
{
    o.getStxObjectData()->setUid("changed");
    return true;
}
void Model<wi::LoadedSTXInfo>::changeOwn(Type& o)
{
    o.setTransientId("own");
    o.addSymbol(model("own"));
}

Capacities Model<wi::LoadedSubSTXInfo>::capacities(const Type&) { return {}; }
bool Model<wi::LoadedSubSTXInfo>::changeShared(Type& o)
{
    o.getObjectData()->setType("changed");
    return true;
}
void Model<wi::LoadedSubSTXInfo>::changeOwn(Type& o) { o.setObjectType("own"); }

Capacities Model<wi::LoadedObjectInfo>::capacities(const Type& o)
{
    return {o.getLoadedDCDArray().capacity(), o.getLoadedPFArray().capacity(), o.getSymbolArray().capacity(),
            o.getLoadedSTXArray().capacity()};
}
bool Model<wi::LoadedObjectInfo>::changeShared(Type& o)
{
    o.getLoadedDCDArray()[0]->setPersistentId("changed");
    return true;
}
void Model<wi::LoadedObjectInfo>::changeOwn(Type& o) { o.addLoadedPF(make<wi::LoadedSubSTXInfo>()); }

Capacities Model<wi::LoadedObjectsResponse>::capacities(const Type& o) { return {o.getLoadedObjectArray().capacity()}; }
bool Model<wi::LoadedObjectsResponse>::changeShared(Type& o)
{
    o.getServiceData()->addCreated("changed");
    return true;
}
void Model<wi::LoadedObjectsResponse>::changeOwn(Type& o) { o.addLoadedObject(make<wi::LoadedObjectInfo>()); }

Capacities Model<wi::SavedSTXInfo>::capacities(const Type&) { return {}; }
bool Model<wi::SavedSTXInfo>::changeShared(Type& o)
{
    o.getStxObjectData()->setUid("changed");
    return true;
}
void Model<wi::SavedSTXInfo>::changeOwn(Type& o) { o.setStxObjectData(model("own")); }

Capacities Model<wi::SavedSubSTXInfo>::capacities(const Type&) { return {}; }
bool Model<wi::SavedSubSTXInfo>::changeShared(Type& o)
{
    o.getObjectData()->setType("changed");
    return true;
}
void Model<wi::SavedSubSTXInfo>::changeOwn(Type& o) { o.setObjectData(make<wi::CreateInput>()); }

Capacities Model<wi::SavedObjectInfo>::capacities(const Type& o)
{
    return {o.getModifiedDCDArray().capacity(), o.getModifiedPFArray().capacity(), o.getSymbolArray().capacity(),
            o.getModifiedSTXArray().capacity()};
}
bool Model<wi::SavedObjectInfo>::changeShared(Type& o)
{
    o.getTargetObject()->setUid("changed");
    return true;
}
void Model<wi::SavedObjectInfo>::changeOwn(Type& o) { o.addSymbol(model("own")); }

Capacities Model<wi::SaveWorkInstructionDocInput>::capacities(const Type& o)
{
    return {o.getSavedObjectArray().capacity()};
}
bool Model<wi::SaveWorkInstructionDocInput>::changeShared(Type& o)
{
    o.getSavedObjectArray()[0]->setWorkInstructionFile("changed");
    return true;
}
void Model<wi::SaveWorkInstructionDocInput>::changeOwn(Type& o) { o.addSavedObject(make<wi::SavedObjectInfo>()); }

Capacities Model<wi::SavedObjectsResponse>::capacities(const Type&) { return {}; }
bool Model<wi::SavedObjectsResponse>::changeShared(Type& o)
{
    o.getServiceData()->addDeleted("changed");
    return true;
}
void Model<wi::SavedObjectsResponse>::changeOwn(Type& o)
{
    o.setServiceData(AutoPtr<base::ServiceData>(new base::ServiceData));
}

} // namespace contract
