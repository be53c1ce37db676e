#include "Samples.hpp"

namespace wixml {

namespace {

using ::Kavella::Soa::Common::DateTime;
using ::Kavella::Schemas::Soa::_2006_03::Base::ModelObject;
using ::Kavella::Schemas::Soa::_2006_03::Base::PartialError;
using ::Kavella::Schemas::Soa::_2006_03::Base::ServiceData;

AutoPtr<ModelObject> object(const char* uid)
{
    return new ModelObject(uid);
}

DateTime utc(int year, int month, int day, int hour, int minute)
{
    DateTime time(year, month, day, hour, minute);
    time.setTimeZoneOffset(0);
    return time;
}

template <typename Entry, typename Value>
AutoPtr<Entry> property(const char* key, const Value& value)
{
    AutoPtr<Entry> entry(new Entry);
    entry->setKey(key);
    entry->setValue(value);
    return entry;
}

template <typename Entry, typename Value>
AutoPtr<Entry> arrayProperty(const char* key, const std::vector<Value>& values)
{
    AutoPtr<Entry> entry(new Entry);
    entry->setKey(key);
    entry->setValueArray(values);
    return entry;
}

AutoPtr<wi::CreateInputMap> compound(const char* key, const std::vector<AutoPtr<wi::CreateInput>>& inputs)
{
    AutoPtr<wi::CreateInputMap> map(new wi::CreateInputMap);
    map->setKey(key);
    map->setValueArray(inputs);
    return map;
}

// Third level: an alarm raised when a measured torque leaves its limits.
AutoPtr<wi::CreateInput> limitAlarm(const char* severity, double threshold)
{
    AutoPtr<wi::CreateInput> input(new wi::CreateInput);
    input->setType("LimitAlarm");
    input->addStringProp(property<wi::StringMap>("severity", std::string(severity)));
    input->addDoubleProp(property<wi::DoubleMap>("threshold", threshold));
    return input;
}

// Second level: the limits of one measurement, with alarms below them.
AutoPtr<wi::CreateInput> measurementLimit()
{
    AutoPtr<wi::CreateInput> input(new wi::CreateInput);
    input->setType("MeasurementLimit");
    input->addStringProp(property<wi::StringMap>("unit", std::string("N\u00B7m")));
    input->addDoubleProp(property<wi::DoubleMap>("lower", 23.8));
    input->addDoubleProp(property<wi::DoubleMap>("upper", 25.2));
    input->addCompoundCreateInput(compound("alarms", {limitAlarm("warning", 25.0), limitAlarm("stop", 26.5)}));
    return input;
}

// A data-collection step that uses every kind of property entry.
AutoPtr<wi::CreateInput> torqueCheck()
{
    AutoPtr<wi::CreateInput> input(new wi::CreateInput);
    input->setType("DataCollectionDefinition");
    input->addStringProp(property<wi::StringMap>("object_name", std::string("Torque check \"housing bolts\"")));
    input->addStringProp(property<wi::StringMap>("instruction", std::string("Tighten crosswise:\n1 \u2192 3 \u2192 2 \u2192 4")));
    input->addStringArrayProp(arrayProperty<wi::StringVectorMap, std::string>(
        "check_points", {"bolt M8 <front left>", "bolt M8 <front right>", "gasket & seal"}));
    input->addDoubleProp(property<wi::DoubleMap>("nominal_torque", 24.5));
    input->addDoubleArrayProp(arrayProperty<wi::DoubleVectorMap, double>("calibration_offsets", {-0.125, 0.0, 1.5e-3}));
    input->addFloatProp(property<wi::FloatMap>("display_scale", 1.25f));
    input->addFloatArrayProp(arrayProperty<wi::FloatVectorMap, float>("gauge_marks", {0.5f, 2.75f}));
    input->addIntProp(property<wi::IntMap>("sequence_number", 30));
    input->addIntArrayProp(arrayProperty<wi::IntVectorMap, int>("bolt_order", {1, 3, 2, 4}));
    input->addBoolProp(property<wi::BoolMap>("mandatory", true));
    input->addBoolArrayProp(arrayProperty<wi::BoolVectorMap, bool>("photo_required", {true, false, false, true}));
    input->addDateProp(property<wi::DateMap>("valid_from", utc(2010, 9, 1, 6, 0)));
    input->addDateArrayProp(arrayProperty<wi::DateVectorMap, DateTime>(
        "review_dates", {utc(2011, 3, 1, 8, 0), utc(2011, 9, 1, 8, 0)}));
    input->addTagProp(property<wi::TagMap>("measuring_tool", object("Tq3Wrench0042")));
    input->addTagArrayProp(arrayProperty<wi::TagVectorMap, AutoPtr<ModelObject>>(
        "related_documents", {object("DocSafety0007"), object("DocDrawing1180")}));
    input->addCompoundCreateInput(compound("limits", {measurementLimit()}));
    return input;
}

AutoPtr<wi::CreateInput> photoStep()
{
    AutoPtr<wi::CreateInput> input(new wi::CreateInput);
    input->setType("ProcessFlowStep");
    input->addStringProp(property<wi::StringMap>("object_name", std::string("Photograph the sealed housing")));
    input->addIntProp(property<wi::IntMap>("sequence_number", 40));
    return input;
}

AutoPtr<BaseObject> loadRequest()
{
    AutoPtr<wi::LoadWorkInstructionDocInput> request(new wi::LoadWorkInstructionDocInput);
    for (const char* target : {"Op0010Gearbox", "Op0020Gearbox"}) {
        AutoPtr<wi::ObjectsReferenced> reference(new wi::ObjectsReferenced);
        reference->setTargetContext(object("PlantLineB7Ctx"));
        reference->setTargetObject(object(target));
        request->addLoadedInfo(reference);
    }
    return request;
}

AutoPtr<BaseObject> loadReply()
{
    AutoPtr<wi::LoadedObjectInfo> info(new wi::LoadedObjectInfo);
    info->setWorkInstructionFile("WI-4711/B/gearbox-housing.wix");
    info->setTopObjectDisplayName("Gearbox housing \u2013 final assembly");
    info->setTargetObjectTransientId("stx-1");
    info->setTargetContext(object("PlantLineB7Ctx"));
    info->setTargetObject(object("Op0010Gearbox"));

    AutoPtr<wi::LoadedSubSTXInfo> dcd(new wi::LoadedSubSTXInfo);
    dcd->setTransientId("dcd-1");
    dcd->setObjectType("DataCollectionDefinition");
    dcd->setPersistentId("Dcd0815Torque");
    dcd->setOwningObjectTransientId("stx-1");
    dcd->setObjectData(torqueCheck());
    info->addLoadedDCD(dcd);

    AutoPtr<wi::LoadedSubSTXInfo> pf(new wi::LoadedSubSTXInfo);
    pf->setTransientId("pf-1");
    pf->setObjectType("ProcessFlowStep");
    pf->setPersistentId("Pf0816Photo");
    pf->setOwningObjectTransientId("stx-1");
    pf->setObjectData(photoStep());
    info->addLoadedPF(pf);

    info->addSymbol(object("SymWarning001"));

    AutoPtr<wi::LoadedSTXInfo> stx(new wi::LoadedSTXInfo);
    stx->setTransientId("stx-1");
    stx->setWorkInstructionFile("WI-4711/B/gearbox-housing.wix");
    stx->setStxObjectData(object("Stx4711Housing"));
    stx->addSymbol(object("SymWarning001"));
    stx->addSymbol(object("SymGloves002"));
    info->addLoadedSTX(stx);

    AutoPtr<wi::LoadedObjectsResponse> reply(new wi::LoadedObjectsResponse);
    reply->addLoadedObject(info);
    PartialError missing;
    missing.uid = "Op0020Gearbox";
    missing.message = "No work instruction is attached to operation 0020";
    missing.code = 214014;
    missing.level = 3;
    reply->getServiceData()->addPartialError(missing);
    return reply;
}

AutoPtr<BaseObject> saveRequest()
{
    AutoPtr<wi::SavedSubSTXInfo> dcd(new wi::SavedSubSTXInfo);
    dcd->setTransientId("dcd-1");
    dcd->setPersistentId("Dcd0815Torque");
    dcd->setOwningObjectTransientId("stx-1");
    dcd->setObjectData(torqueCheck());

    AutoPtr<wi::SavedSubSTXInfo> pf(new wi::SavedSubSTXInfo);
    pf->setTransientId("pf-2");
    pf->setOwningObjectTransientId("stx-1"); // new: no persistent id yet
    pf->setObjectData(photoStep());

    AutoPtr<wi::SavedSTXInfo> stx(new wi::SavedSTXInfo);
    stx->setTransientId("stx-1");
    stx->setStxObjectData(object("Stx4711Housing"));

    AutoPtr<wi::SavedObjectInfo> info(new wi::SavedObjectInfo);
    info->setWorkInstructionFile("WI-4711/B/gearbox-housing.wix");
    info->setTargetObject(object("Op0010Gearbox"));
    info->addModifiedDCD(dcd);
    info->addModifiedPF(pf);
    info->addSymbol(object("SymWarning001"));
    info->addModifiedSTX(stx);

    AutoPtr<wi::SaveWorkInstructionDocInput> request(new wi::SaveWorkInstructionDocInput);
    request->addSavedObject(info);
    return request;
}

AutoPtr<BaseObject> saveReply()
{
    AutoPtr<wi::SavedObjectsResponse> reply(new wi::SavedObjectsResponse);
    ServiceData& data = *reply->getServiceData();
    data.addCreated("Pf0817Photo");
    data.addUpdated("Dcd0815Torque");
    data.addUpdated("Stx4711Housing");
    PartialError locked;
    locked.uid = "SymWarning001";
    locked.message = "Symbol is checked out by another user; kept unchanged";
    locked.code = 515024;
    locked.level = 1;
    data.addPartialError(locked);
    return reply;
}

} // namespace

const std::vector<Sample>& samples()
{
    static const std::vector<Sample> all{
        {"load-request", "LoadWorkInstructionDocInput", "ask for the work instructions of two operations", &loadRequest},
        {"load-reply", "LoadedObjectsResponse", "one loaded document, with a partial error", &loadReply},
        {"save-request", "SaveWorkInstructionDocInput", "save modified steps of one document", &saveRequest},
        {"save-reply", "SavedObjectsResponse", "what the save created and updated", &saveReply},
    };
    return all;
}

const Sample* findSample(const std::string& name)
{
    for (const Sample& sample : samples()) {
        if (name == sample.name) return &sample;
    }
    return nullptr;
}

} // namespace wixml
