#include "ClassRegistry.hpp"

namespace wixml {

namespace {

template <typename T>
SchemaClass entry(const char* name)
{
    return {
        name,
        []() { return AutoPtr<BaseObject>(new T); },
        [](BaseObject& object, const XMLNode& node) { static_cast<T&>(object).parse(node); },
        [](const BaseObject& object, XmlStream& stream, const std::string& elementName) {
            static_cast<const T&>(object).outputXML(stream, elementName);
        },
        [](std::string_view text, const wi::XMLReadLimits& limits) {
            return AutoPtr<BaseObject>(wi::readXml<T>(text, limits));
        },
        [](std::istream& text, const wi::XMLReadLimits& limits) {
            return AutoPtr<BaseObject>(wi::readXml<T>(text, limits));
        },
        [](const BaseObject& object, wi::Envelope envelope) {
            return wi::writeXml(static_cast<const T&>(object), envelope);
        },
    };
}

} // namespace

const std::vector<SchemaClass>& schemaClasses()
{
    // Messages first: they are the usual roots.
    static const std::vector<SchemaClass> classes{
        entry<wi::LoadWorkInstructionDocInput>("LoadWorkInstructionDocInput"),
        entry<wi::LoadedObjectsResponse>("LoadedObjectsResponse"),
        entry<wi::SaveWorkInstructionDocInput>("SaveWorkInstructionDocInput"),
        entry<wi::SavedObjectsResponse>("SavedObjectsResponse"),
        entry<wi::ObjectsReferenced>("ObjectsReferenced"),
        entry<wi::LoadedObjectInfo>("LoadedObjectInfo"),
        entry<wi::LoadedSTXInfo>("LoadedSTXInfo"),
        entry<wi::LoadedSubSTXInfo>("LoadedSubSTXInfo"),
        entry<wi::SavedObjectInfo>("SavedObjectInfo"),
        entry<wi::SavedSTXInfo>("SavedSTXInfo"),
        entry<wi::SavedSubSTXInfo>("SavedSubSTXInfo"),
        entry<wi::CreateInput>("CreateInput"),
        entry<wi::CreateInputMap>("CreateInputMap"),
        entry<wi::StringMap>("StringMap"),
        entry<wi::DoubleMap>("DoubleMap"),
        entry<wi::FloatMap>("FloatMap"),
        entry<wi::IntMap>("IntMap"),
        entry<wi::BoolMap>("BoolMap"),
        entry<wi::DateMap>("DateMap"),
        entry<wi::TagMap>("TagMap"),
        entry<wi::StringVectorMap>("StringVectorMap"),
        entry<wi::DoubleVectorMap>("DoubleVectorMap"),
        entry<wi::FloatVectorMap>("FloatVectorMap"),
        entry<wi::IntVectorMap>("IntVectorMap"),
        entry<wi::BoolVectorMap>("BoolVectorMap"),
        entry<wi::DateVectorMap>("DateVectorMap"),
        entry<wi::TagVectorMap>("TagVectorMap"),
    };
    return classes;
}

const SchemaClass* findSchemaClass(const std::string& name)
{
    for (const SchemaClass& candidate : schemaClasses()) {
        if (name == candidate.name) return &candidate;
    }
    return nullptr;
}

} // namespace wixml
