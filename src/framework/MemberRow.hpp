#pragma once

// The rows through which every schema class states its members once: kind,
// XML local name and what to do with the member. The writer, the reader and
// the namespace plans work from these rows, in row order; the public class
// views show them read-only.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "kvsoa/XMLEventReader.hpp"
#include "workinstructions/ClassView.hpp"
#include "workinstructions/SchemaObject.hpp"

namespace Velmora::Schemas::Mes::_2010_09::Workinstructions::detail {

using ::Kavella::Soa::Common::Xml::XMLStartTag;

struct ClassSchema;
struct NamespacePlan;

/// How a member is named in the output: an attribute's name; for values the
/// element's qualified name and its start and end tags.
struct ElementName {
    std::string_view name;
    const std::string* element;
    std::string_view open;
    std::string_view close;
};

struct Member {
    const char* name;
    std::uint8_t nameLength;
    MemberKind kind;
    /// What the member holds: "string", "int", ... for values, the class's
    /// name for nested objects.
    const char* typeName;
    /// Attributes: writes ` name="text"`; values: one element per entry.
    void (*write)(const BaseObject& object, XmlStream& stream, const ElementName& names);
    /// Attributes: stores the text; values: appends it. Conversion errors carry no position.
    void (*readText)(BaseObject& object, std::string_view text);
    /// Nested objects: the object to read a child into, for an array a new
    /// entry already appended.
    BaseObject* (*enter)(BaseObject& object);
    /// Nested objects of a schema class: its table; null for the runtime's classes.
    const ClassSchema* (*nestedSchema)();
    /// Arrays only: room for count entries.
    void (*reserve)(BaseObject& object, std::size_t count);
    /// Members holding objects only: how many (1 for a single child), and each;
    /// a null handle raises DomException.
    std::size_t (*entryCount)(const BaseObject& object);
    const BaseObject& (*entry)(const BaseObject& object, std::size_t index);
    /// The runtime's classes only: writes an entry through the class's own outputXML ...
    void (*writeForeign)(const BaseObject& entry, XmlStream& stream, const std::string& elementName);
    /// ... and the one namespace it uses.
    const char* foreignNamespace;
    /// The runtime's classes only: reads a start tag, the element's own
    /// (nothing inside it is read), or with readsChild set each child's
    /// (nothing below the children is read) ...
    void (*readTag)(BaseObject& object, const XMLStartTag& tag) = nullptr;
    /// ... after asking whether it takes a child of this name, so that another
    /// is refused as it starts ...
    bool (*readsChild)(std::string_view name) = nullptr;
    /// ... and the trace name its parse brackets its work with.
    const char* foreignParseTrace = nullptr;
    /// Arrays of objects only: takes out the last entry, one whose reading failed.
    void (*dropLast)(BaseObject& object) = nullptr;
    /// Attributes and values only: the texts the writer writes, unescaped.
    std::vector<std::string> (*texts)(const BaseObject& object) = nullptr;
    /// Single nested objects only: makes the handle null, for an element marked xsi:nil.
    void (*makeAbsent)(BaseObject& object) = nullptr;

    constexpr bool isChild() const { return kind != MemberKind::Attribute; }
    constexpr bool holdsObjects() const { return entryCount != nullptr; }
    bool isNamed(std::string_view elementName) const
    {
        return elementName.size() == nameLength && std::char_traits<char>::compare(elementName.data(), name, nameLength) == 0;
    }
};

struct ClassSchema {
    const char* allocationTag; // also the class's qualified name
    const char* outputTrace;
    const char* parseTrace;
    const Member* members;
    std::size_t memberCount;
    bool hasChildren;
    const char* namespaceUri; // of every object of the class
    /// Which namespaces the class's objects use, worked out once from the tables.
    const NamespacePlan& (*namespacePlan)();

    const Member* begin() const { return members; }
    const Member* end() const { return members + memberCount; }
};

/// Friend of every schema class: its table, for the engine.
struct SchemaAccess {
    template <typename T>
    static const ClassSchema& of()
    {
        return T::schema();
    }
};

} // namespace Velmora::Schemas::Mes::_2010_09::Workinstructions::detail
