#pragma once

// The table through which every schema class states its members once: kind,
// XML local name and the member itself. The engine (Engine.cpp) writes, reads
// and collects namespaces for every class from these rows, in row order.

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <iosfwd>
#include <set>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "kvsoa/AutoPtr.hpp"
#include "kvsoa/BaseObject.hpp"
#include "kvsoa/Conversions.hpp"
#include "kvsoa/DateTime.hpp"
#include "kvsoa/DomException.hpp"
#include "kvsoa/ObjectClone.hpp"
#include "kvsoa/XMLEventReader.hpp"
#include "kvsoa/XMLNode.hpp"
#include "kvsoa/XmlStream.hpp"
#include "workinstructions/SchemaObject.hpp"

namespace Velmora::Schemas::Mes::_2010_09::Workinstructions::detail {

using ::Kavella::Soa::Common::Xml::DomException;
using ::Kavella::Soa::Common::Xml::XMLStartTag;

enum class MemberKind : std::uint8_t {
    Attribute, // text or value, an XML attribute
    Child,     // one nested object, parsed in place
    BareChild, // the same, under its local name without prefix
    Children,  // array of handles, one element per entry
    Values,    // array of plain values, one "<p:name>text</p:name>" per entry
};

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
    /// Attributes: writes ` name="text"`; values: one element per entry.
    void (*write)(const BaseObject& object, XmlStream& stream, const ElementName& names);
    /// Attributes: stores the text; values: appends it. Conversion errors carry no position.
    void (*readText)(BaseObject& object, std::string_view text);
    /// Nested objects: reads one child node (the tree path).
    void (*readNode)(BaseObject& object, const XMLNode& child);
    /// Nested objects: the object to read a child into, for an array a new
    /// entry already appended (the event path).
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
    /// The runtime's classes only, on the event path: reads a start tag, the
    /// element's own (nothing inside it is read), or with readsChild set each
    /// child's (nothing below the children is read) ...
    void (*readTag)(BaseObject& object, const XMLStartTag& tag) = nullptr;
    /// ... after asking whether it takes a child of this name, so that another
    /// is refused as it starts.
    bool (*readsChild)(std::string_view name) = nullptr;

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

// ---- member types --------------------------------------------------------

template <typename>
struct MemberPointer;
template <typename C, typename T>
struct MemberPointer<T C::*> {
    using Class = C;
    using Type = T;
};
template <auto M>
using OwnerOf = typename MemberPointer<decltype(M)>::Class;
template <auto M>
using TypeOf = typename MemberPointer<decltype(M)>::Type;

template <typename T>
inline constexpr bool isValue = std::is_same_v<T, std::string> || std::is_same_v<T, int> ||
                                std::is_same_v<T, float> || std::is_same_v<T, double> ||
                                std::is_same_v<T, bool> || std::is_same_v<T, DateTime>;

template <typename T>
struct HandleTraits : std::false_type {};
template <typename T>
struct HandleTraits<AutoPtr<T>> : std::true_type {
    using Object = T;
};

template <typename T>
struct ArrayTraits : std::false_type {};
template <typename T, typename A>
struct ArrayTraits<std::vector<T, A>> : std::true_type {
    using Entry = T;
};

template <auto M>
const TypeOf<M>& memberOf(const BaseObject& object)
{
    return static_cast<const OwnerOf<M>&>(object).*M;
}
template <auto M>
TypeOf<M>& memberOf(BaseObject& object)
{
    return static_cast<OwnerOf<M>&>(object).*M;
}

// ---- values as text ------------------------------------------------------

/// Strings are escaped; every other value goes through the runtime's conversions.
template <typename T>
void appendValueText(XmlStream& stream, const T& value)
{
    if constexpr (std::is_same_v<T, std::string>) {
        stream.appendEscaped(value);
    } else if constexpr (std::is_same_v<T, DateTime>) {
        stream.append(::Kavella::Soa::Common::lexical_cast<std::string>(value));
    } else {
        stream.appendValue(value);
    }
}

/// Stores text in value, converted; a conversion error names the value, the
/// caller adds where it was.
template <typename T>
void convertText(std::string_view text, T& value)
{
    if constexpr (std::is_same_v<T, std::string>) {
        value.assign(text);
    } else {
        value = ::Kavella::Soa::Common::lexical_cast<T>(text);
    }
}

/// Friend of every schema class: its table, for the engine.
struct SchemaAccess {
    template <typename T>
    static const ClassSchema& of()
    {
        return T::schema();
    }
};

template <typename T>
inline constexpr bool isSchemaClass = !std::is_same_v<T, ModelObject> && !std::is_same_v<T, ServiceData>;

// ---- operations per kind -------------------------------------------------

template <auto M>
void writeAttribute(const BaseObject& object, XmlStream& stream, const ElementName& names)
{
    const std::string_view name = names.name;
    const auto& value = memberOf<M>(object);
    if constexpr (std::is_same_v<TypeOf<M>, std::string>) {
        stream.appendEscapedAttribute(name, value);
    } else if constexpr (std::is_same_v<TypeOf<M>, DateTime>) {
        stream.appendAttribute(name, ::Kavella::Soa::Common::lexical_cast<std::string>(value));
    } else {
        stream.appendAttribute(name, value);
    }
}
template <auto M>
void readAttribute(BaseObject& object, std::string_view text)
{
    convertText(text, memberOf<M>(object));
}

template <auto M>
void readChild(BaseObject& object, const XMLNode& child)
{
    memberOf<M>(object)->parse(child);
}
template <auto M>
BaseObject* enterChild(BaseObject& object)
{
    return memberOf<M>(object).operator->(); // a null handle raises DomException, as parse through it would
}
template <typename T>
const ClassSchema* schemaOf()
{
    return &SchemaAccess::of<T>();
}
/// The schema of T, or null for the runtime's classes, which have none.
template <typename T>
constexpr auto nestedSchemaOf() -> const ClassSchema* (*)()
{
    if constexpr (isSchemaClass<T>) {
        return &schemaOf<T>;
    } else {
        return nullptr;
    }
}
template <typename T>
void readStartTagOf(BaseObject& object, const XMLStartTag& tag)
{
    static_cast<T&>(object).readStartTag(tag);
}
template <typename T>
void readChildTagOf(BaseObject& object, const XMLStartTag& tag)
{
    static_cast<T&>(object).readChild(tag);
}
/// For the runtime's classes: how they read from a start tag, as deep as their parse looks.
template <typename T>
constexpr auto tagReaderOf() -> void (*)(BaseObject&, const XMLStartTag&)
{
    if constexpr (isSchemaClass<T>) {
        return nullptr;
    } else if constexpr (T::elementDepthRead == 1) {
        return &readStartTagOf<T>;
    } else {
        static_assert(T::elementDepthRead == 2, "a runtime class reads its start tag or its children's");
        return &readChildTagOf<T>;
    }
}
template <typename T>
constexpr auto childFilterOf() -> bool (*)(std::string_view)
{
    if constexpr (isSchemaClass<T>) {
        return nullptr;
    } else if constexpr (T::elementDepthRead == 1) {
        return nullptr;
    } else {
        return &T::readsChild;
    }
}
template <auto M>
std::size_t countChild(const BaseObject&)
{
    return 1;
}
template <auto M>
const BaseObject& childEntry(const BaseObject& object, std::size_t)
{
    return *memberOf<M>(object).operator->(); // a null handle raises DomException
}
/// The runtime's classes write themselves.
template <typename T>
void writeForeign(const BaseObject& entry, XmlStream& stream, const std::string& elementName)
{
    static_cast<const T&>(entry).outputXML(stream, elementName);
}
template <typename T>
constexpr auto writeForeignOf() -> void (*)(const BaseObject&, XmlStream&, const std::string&)
{
    if constexpr (isSchemaClass<T>) {
        return nullptr;
    } else {
        return &writeForeign<T>;
    }
}
/// The namespace a runtime class's object uses, all of it: what its getNamespaces adds.
template <typename T>
constexpr const char* foreignNamespaceOf()
{
    if constexpr (isSchemaClass<T>) {
        return nullptr;
    } else {
        return ::Kavella::Schemas::Soa::_2006_03::Base::NamespaceUri;
    }
}

template <auto M>
void readChildren(BaseObject& object, const XMLNode& child)
{
    using Entry = typename ArrayTraits<TypeOf<M>>::Entry;
    Entry entry(new typename HandleTraits<Entry>::Object);
    entry->parse(child);
    memberOf<M>(object).push_back(std::move(entry));
}
template <auto M>
BaseObject* enterChildren(BaseObject& object)
{
    using Entry = typename ArrayTraits<TypeOf<M>>::Entry;
    auto& entries = memberOf<M>(object);
    entries.push_back(Entry(new typename HandleTraits<Entry>::Object));
    return entries.back().get();
}
template <auto M>
std::size_t countChildren(const BaseObject& object)
{
    return memberOf<M>(object).size();
}
template <auto M>
const BaseObject& childrenEntry(const BaseObject& object, std::size_t index)
{
    const auto& entries = memberOf<M>(object);
    // Entries lie apart on the heap: the next one is fetched while this one is written.
#if defined(__GNUC__)
    if (index + 1 < entries.size()) __builtin_prefetch(entries[index + 1].get());
#endif
    return *entries[index].operator->();
}
template <auto M>
void reserveArray(BaseObject& object, std::size_t count)
{
    memberOf<M>(object).reserve(count);
}

template <auto M>
void writeValues(const BaseObject& object, XmlStream& stream, const ElementName& names)
{
    const auto& values = memberOf<M>(object);
    if (values.empty()) return;
    stream.requireDepthFor(*names.element);
    for (const auto& value : values) {
        stream.append(names.open);
        appendValueText(stream, value); // a vector<bool> yields plain bools here
        stream.append(names.close);
    }
}
template <auto M>
void readValues(BaseObject& object, std::string_view text)
{
    typename ArrayTraits<TypeOf<M>>::Entry value{};
    convertText(text, value);
    memberOf<M>(object).push_back(std::move(value));
}

// ---- the rows a class lists ----------------------------------------------

constexpr std::uint8_t nameLength(const char* name)
{
    std::size_t length = std::char_traits<char>::length(name);
    return length < 256 ? static_cast<std::uint8_t>(length) : throw "an XML local name of a member is shorter than 256";
}

/// A text, number, flag or date written as the attribute name.
template <auto M>
constexpr Member attribute(const char* name)
{
    static_assert(isValue<TypeOf<M>>, "an attribute holds a text, number, flag or DateTime");
    return {name,    nameLength(name), MemberKind::Attribute, &writeAttribute<M>, &readAttribute<M>, nullptr, nullptr,
            nullptr, nullptr, nullptr,   nullptr,          nullptr,               nullptr};
}

template <auto M>
constexpr Member nestedObject(const char* name, MemberKind kind)
{
    static_assert(HandleTraits<TypeOf<M>>::value, "a child member is an AutoPtr");
    using Object = typename HandleTraits<TypeOf<M>>::Object;
    return {name,
            nameLength(name),
            kind,
            nullptr,
            nullptr,
            &readChild<M>,
            &enterChild<M>,
            nestedSchemaOf<Object>(),
            nullptr,
            &countChild<M>,
            &childEntry<M>,
            writeForeignOf<Object>(),
            foreignNamespaceOf<Object>(),
            tagReaderOf<Object>(),
            childFilterOf<Object>()};
}

/// One nested object (AutoPtr) written as the child element prefix:name.
template <auto M>
constexpr Member child(const char* name)
{
    return nestedObject<M>(name, MemberKind::Child);
}

/// One nested object written under its bare local name.
template <auto M>
constexpr Member bareChild(const char* name)
{
    return nestedObject<M>(name, MemberKind::BareChild);
}

/// An array of handles, one child element prefix:name per entry.
template <auto M>
constexpr Member children(const char* name)
{
    static_assert(ArrayTraits<TypeOf<M>>::value && HandleTraits<typename ArrayTraits<TypeOf<M>>::Entry>::value,
                  "a children member is a std::vector of AutoPtr");
    using Object = typename HandleTraits<typename ArrayTraits<TypeOf<M>>::Entry>::Object;
    return {name,
            nameLength(name),
            MemberKind::Children,
            nullptr,
            nullptr,
            &readChildren<M>,
            &enterChildren<M>,
            nestedSchemaOf<Object>(),
            &reserveArray<M>,
            &countChildren<M>,
            &childrenEntry<M>,
            writeForeignOf<Object>(),
            foreignNamespaceOf<Object>(),
            tagReaderOf<Object>(),
            childFilterOf<Object>()};
}

/// An array of plain values, written by hand as prefix:name elements holding the text.
template <auto M>
constexpr Member values(const char* name)
{
    static_assert(ArrayTraits<TypeOf<M>>::value && isValue<typename ArrayTraits<TypeOf<M>>::Entry>,
                  "a values member is a std::vector of texts, numbers, flags or DateTimes");
    return {name,    nameLength(name), MemberKind::Values, &writeValues<M>, &readValues<M>, nullptr, nullptr,
            nullptr, &reserveArray<M>, nullptr,            nullptr,         nullptr,        nullptr};
}

template <std::size_t N>
constexpr bool anyChild(const Member (&members)[N])
{
    for (const Member& member : members) {
        if (member.isChild()) return true;
    }
    return false;
}

// ---- the walkers (Engine.cpp) --------------------------------------------

/// Writes object, whose table is schema, as one element named elementName.
void writeObject(const BaseObject& object, XmlStream& stream, const std::string& elementName,
                 const ClassSchema& schema);
void parseObject(BaseObject& object, const XMLNode& node, const ClassSchema& schema);
/// The attribute rows read from attributes (a missing one reads as empty, as
/// getAttr gives it); errors carry no position yet.
void readAttributes(BaseObject& object, const ::Kavella::Soa::Common::Xml::XMLAttributes& attributes,
                    const ClassSchema& schema);
/// The child row named name, trying last first (children mostly come in runs
/// of one name); null when none is.
const Member* findChild(const ClassSchema& schema, std::string_view name, const Member* last);
/// Reads a whole document into object, whose table is schema, straight from the parser's events.
void readObject(BaseObject& object, const ClassSchema& schema, std::string_view text,
                const ::Kavella::Soa::Common::Xml::XMLReadLimits& limits);
/// The same from a stream, read a piece at a time.
void readObject(BaseObject& object, const ClassSchema& schema, std::istream& text,
                const ::Kavella::Soa::Common::Xml::XMLReadLimits& limits);
void collectNamespaces(const BaseObject& object, std::set<std::string>& namespaces, const ClassSchema& schema);

/// The plan of the class whose table schema is, built once and never freed.
const NamespacePlan& buildNamespacePlan(const ClassSchema& schema);
template <typename T>
const NamespacePlan& namespacePlanOf()
{
    static const NamespacePlan& plan = buildNamespacePlan(SchemaAccess::of<T>());
    return plan;
}

} // namespace Velmora::Schemas::Mes::_2010_09::Workinstructions::detail

#define WI_QUALIFIED(Class) "Velmora::Schemas::Mes::_2010_09::Workinstructions::" #Class

/// Defines a schema class from its member rows, listed in declaration (and XML) order.
#define WI_DEFINE_SCHEMA_CLASS(Class, ...)                                                                   \
    KVSOA_DEFINE_ALLOCATION_OPERATORS(Class, WI_QUALIFIED(Class))                                            \
    const detail::ClassSchema& Class::schema()                                                               \
    {                                                                                                        \
        using namespace detail;                                                                              \
        static constexpr Member members[] = {__VA_ARGS__};                                                   \
        static constexpr ClassSchema table{WI_QUALIFIED(Class), WI_QUALIFIED(Class) "::outputXML",           \
                                           WI_QUALIFIED(Class) "::parse", members, std::size(members),       \
                                           anyChild(members), NamespaceUri, &namespacePlanOf<Class>};        \
        return table;                                                                                        \
    }                                                                                                        \
    void Class::outputXML(XmlStream& stream, const std::string& elementName) const                           \
    {                                                                                                        \
        detail::writeObject(*this, stream, elementName, schema());                                           \
    }                                                                                                        \
    void Class::parse(const XMLNode& node) { detail::parseObject(*this, node, schema()); }                   \
    void Class::getNamespaces(std::set<std::string>& namespaces) const                                       \
    {                                                                                                        \
        detail::collectNamespaces(*this, namespaces, schema());                                              \
    }                                                                                                        \
    Class* Class::reallyClone() const { return ::Kavella::Soa::Common::cloneObject(*this, WI_QUALIFIED(Class)); }
