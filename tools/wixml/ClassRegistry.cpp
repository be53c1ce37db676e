#include "ClassRegistry.hpp"

#include <algorithm>
#include <type_traits>

namespace wixml {

namespace {

template <typename T>
SchemaClass entry(const char* name, bool message)
{
    return {
        name,
        message,
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
        [](const BaseObject& object, const wi::WriteFormat& format) {
            return wi::writeXml(static_cast<const T&>(object), format);
        },
        wi::classView<T>(),
    };
}

#define WIXML_IS(Class) || std::is_same_v<T, wi::Class>
template <typename T>
constexpr bool isMessage = false WI_MESSAGE_CLASSES(WIXML_IS);
#undef WIXML_IS

} // namespace

const std::vector<SchemaClass>& schemaClasses()
{
    static const std::vector<SchemaClass> classes = [] {
#define WIXML_ENTRY(Class) entry<wi::Class>(#Class, isMessage<wi::Class>),
        std::vector<SchemaClass> all{WI_SCHEMA_CLASSES(WIXML_ENTRY)};
#undef WIXML_ENTRY
        // Messages first: they are the usual roots, and the first is read when none is named.
        std::stable_partition(all.begin(), all.end(), [](const SchemaClass& c) { return c.message; });
        return all;
    }();
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
