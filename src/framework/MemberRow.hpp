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

/// How two values are judged the same (Compare.hpp's Comparison, and the bits
/// operator== compares).
enum class Sameness : std::uint8_t { Bits, Values, Texts };

/// What a row of values does: an attribute (one value) or an array of them.
struct ValueOperations {
    /// Attributes: writes ` name="text"`; values: one element per entry.
    void (*write)(const BaseObject& object, XmlStream& stream, const ElementName& names) = nullptr;
    /// Attributes: stores the text; values: appends it. Conversion errors carry no position.
    void (*readText)(BaseObject& object, std::string_view text) = nullptr;
    /// How many values the member holds: 1 for an attribute.
    std::size_t (*count)(const BaseObject& object) = nullptr;
    /// The value at index as the writer writes it, unescaped.
    std::string (*text)(const BaseObject& object, std::size_t index) = nullptr;
    /// Whether a's value at i and b's at j are the same, as sameness judges.
    bool (*same)(const BaseObject& a, std::size_t i, const BaseObject& b, std::size_t j, Sameness sameness) = nullptr;
};

/// What a row of nested objects does: one object, or an array of handles.
struct ObjectOperations {
    /// The object to read a child into; for an array a new entry already appended.
    BaseObject* (*enter)(BaseObject& object) = nullptr;
    /// A schema class's table; null for the runtime's classes.
    const ClassSchema* (*nestedSchema)() = nullptr;
    /// How many objects (a single child: 1, or 0 for a null handle), and each.
    std::size_t (*entryCount)(const BaseObject& object) = nullptr;
    const BaseObject& (*entry)(const BaseObject& object, std::size_t index) = nullptr;
    /// The same, null for a null handle (one read from xsi:nil, or set so).
    const BaseObject* (*held)(const BaseObject& object, std::size_t index) = nullptr;
    /// Arrays only: takes out the last entry, one whose reading failed.
    void (*dropLast)(BaseObject& object) = nullptr;
    /// Single nested objects only: makes the handle null, for an element marked xsi:nil.
    void (*makeAbsent)(BaseObject& object) = nullptr;
};

/// What a row of the runtime's classes (ModelObject, ServiceData) adds: they
/// have no rows of their own, so they write, read and compare themselves.
struct RuntimeOperations {
    /// Writes an entry through the class's own outputXML ...
    void (*write)(const BaseObject& entry, XmlStream& stream, const std::string& elementName) = nullptr;
    /// ... and the one namespace it uses.
    const char* namespaceUri = nullptr;
    /// Reads a start tag, the element's own (nothing inside it is read), or
    /// with readsChild set each child's (nothing below the children is read) ...
    void (*readTag)(BaseObject& object, const XMLStartTag& tag) = nullptr;
    /// ... after asking whether it takes a child of this name, so that another
    /// is refused as it starts ...
    bool (*readsChild)(std::string_view name) = nullptr;
    /// ... and the trace name its parse brackets its work with.
    const char* parseTrace = nullptr;
    /// Whether two entries hold the same values, numbers by their bits.
    bool (*equal)(const BaseObject& a, const BaseObject& b) = nullptr;
};

/// One member: named, and what its row does by kind. A field added to a group
/// is filled where that group is made (MemberOperations.hpp), once.
struct Member {
    const char* name = nullptr;
    std::uint8_t nameLength = 0;
    MemberKind kind = MemberKind::Attribute;
    ValueKind valueKind = ValueKind::String;
    /// The schema requires it (an attribute with use="required", a single
    /// element without minOccurs="0"); a message lacking it reads it as empty.
    bool required = false;
    /// Arrays only: room for count entries.
    void (*reserve)(BaseObject& object, std::size_t count) = nullptr;
    ValueOperations values;   // Attribute, Values
    ObjectOperations objects; // Child, BareChild, Children
    RuntimeOperations runtime; // objects of the runtime's classes

    constexpr bool isChild() const { return kind != MemberKind::Attribute; }
    constexpr bool holdsObjects() const { return objects.entryCount != nullptr; }
    /// One value or one object: what a message can lack.
    constexpr bool isSingle() const { return kind == MemberKind::Attribute || kind == MemberKind::Child || kind == MemberKind::BareChild; }
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
    /// A new default object of the class.
    BaseObject* (*make)();
    /// One of the schema's global elements: read only from its own element.
    bool message;

    const Member* begin() const { return members; }
    const Member* end() const { return members + memberCount; }
};

/// The public views of the rows, for the engine.
struct ViewAccess {
    static MemberView member(const Member& row) noexcept { return MemberView(&row); }
    static ClassView of(const ClassSchema& schema) noexcept { return ClassView(&schema); }
    static const Member& row(const MemberView& view) noexcept { return *view.m_member; }
    static const ClassSchema* schema(const ClassView& view) noexcept { return view.m_schema; }
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
