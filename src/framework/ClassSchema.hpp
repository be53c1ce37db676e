#pragma once

// How a schema class lists its members (the row makers), what works from the
// rows, and the macro that defines a class's contract through them.

#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <iterator>
#include <set>
#include <string>
#include <string_view>

#include "MemberOperations.hpp"
#include "ValueSameness.hpp"
#include "kvsoa/ObjectClone.hpp"
#include "kvsoa/XMLNode.hpp"
#include "workinstructions/SchemaClasses.hpp"

namespace Velmora::Schemas::Mes::_2010_09::Workinstructions::detail {

// ---- the rows a class lists ----------------------------------------------

constexpr std::uint8_t nameLength(const char* name)
{
    std::size_t length = std::char_traits<char>::length(name);
    return length < 256 ? static_cast<std::uint8_t>(length) : throw "an XML local name of a member is shorter than 256";
}

/// Whether the schema requires a member: use="required" on an attribute,
/// minOccurs other than 0 on an element (the rows against the XSD: ClassViewTest).
enum Use : bool { Optional = false, Required = true };

constexpr Member namedRow(const char* name, MemberKind kind, ValueKind valueKind, Use use)
{
    Member row;
    row.name = name;
    row.nameLength = nameLength(name);
    row.kind = kind;
    row.valueKind = valueKind;
    row.required = use == Required;
    return row;
}

/// A text, number, flag or date written as the attribute name.
template <auto M>
constexpr Member attribute(const char* name, Use use)
{
    static_assert(isValue<TypeOf<M>>, "an attribute holds a text, number, flag or DateTime");
    Member row = namedRow(name, MemberKind::Attribute, valueKindOf<TypeOf<M>>(), use);
    row.values = {&writeAttribute<M>, &readAttribute<M>, &countOne<M>, &attributeText<M>, &sameAttribute<M>};
    return row;
}

/// One object, or an array of them, of class Object.
template <typename Object>
constexpr Member objectRow(const char* name, MemberKind kind, Use use, const ObjectOperations& objects)
{
    Member row = namedRow(name, kind, valueKindOf<Object>(), use);
    row.objects = objects;
    row.objects.nestedSchema = nestedSchemaOf<Object>();
    row.runtime = runtimeOperationsOf<Object>();
    return row;
}

template <auto M>
constexpr Member nestedObject(const char* name, MemberKind kind, Use use)
{
    static_assert(HandleTraits<TypeOf<M>>::value, "a child member is an AutoPtr");
    using Object = typename HandleTraits<TypeOf<M>>::Object;
    ObjectOperations objects;
    objects.enter = &enterChild<M>;
    objects.entryCount = &countChild<M>;
    objects.entry = &childEntry<M>;
    objects.held = &heldChild<M>;
    objects.makeAbsent = &makeChildAbsent<M>;
    return objectRow<Object>(name, kind, use, objects);
}

/// One nested object (AutoPtr) written as the child element prefix:name.
template <auto M>
constexpr Member child(const char* name, Use use)
{
    return nestedObject<M>(name, MemberKind::Child, use);
}

/// One nested object written under its bare local name.
template <auto M>
constexpr Member bareChild(const char* name, Use use)
{
    return nestedObject<M>(name, MemberKind::BareChild, use);
}

/// An array of handles, one child element prefix:name per entry.
template <auto M>
constexpr Member children(const char* name, Use use)
{
    static_assert(ArrayTraits<TypeOf<M>>::value && HandleTraits<typename ArrayTraits<TypeOf<M>>::Entry>::value,
                  "a children member is a std::vector of AutoPtr");
    using Object = typename HandleTraits<typename ArrayTraits<TypeOf<M>>::Entry>::Object;
    ObjectOperations objects;
    objects.enter = &enterChildren<M>;
    objects.entryCount = &countChildren<M>;
    objects.entry = &childrenEntry<M>;
    objects.held = &heldEntry<M>;
    objects.dropLast = &dropLastEntry<M>;
    Member row = objectRow<Object>(name, MemberKind::Children, use, objects);
    row.reserve = &reserveArray<M>;
    return row;
}

/// An array of plain values, written by hand as prefix:name elements holding the text.
template <auto M>
constexpr Member values(const char* name, Use use)
{
    using Entry = typename ArrayTraits<TypeOf<M>>::Entry;
    static_assert(ArrayTraits<TypeOf<M>>::value && isValue<Entry>,
                  "a values member is a std::vector of texts, numbers, flags or DateTimes");
    Member row = namedRow(name, MemberKind::Values, valueKindOf<Entry>(), use);
    row.values = {&writeValues<M>, &readValues<M>, &countValues<M>, &valuesText<M>, &sameValues<M>};
    row.reserve = &reserveArray<M>;
    return row;
}

template <std::size_t N>
constexpr bool anyChild(const Member (&members)[N])
{
    for (const Member& member : members) {
        if (member.isChild()) return true;
    }
    return false;
}

// ---- what works from the rows --------------------------------------------

/// Writes object, whose table is schema, as one element named elementName (ObjectWriter.cpp).
void writeObject(const BaseObject& object, XmlStream& stream, const std::string& elementName,
                 const ClassSchema& schema);
/// The contract's parse: the node's events, fed to the one reader (NodeEvents.cpp).
void parseObject(BaseObject& object, const XMLNode& node, const ClassSchema& schema);
/// Reads a whole document into object, whose table is schema, straight from
/// the parser's events (ObjectReader.cpp). A message reads only from its own
/// element: element names it (local name, in the schema namespace); null
/// takes whatever element holds the object.
/// absent, if given, hears of each member an element lacks.
void readObject(BaseObject& object, const ClassSchema& schema, std::string_view text,
                const ::Kavella::Soa::Common::Xml::XMLReadLimits& limits, const char* element = nullptr,
                const AbsentMemberHandler* absent = nullptr);
/// The same from a stream, read a piece at a time.
void readObject(BaseObject& object, const ClassSchema& schema, std::istream& text,
                const ::Kavella::Soa::Common::Xml::XMLReadLimits& limits, const char* element = nullptr,
                const AbsentMemberHandler* absent = nullptr);
/// The element a message is read only from (its class's name); null for the other classes.
const char* messageElement(const ClassSchema& schema);
/// object, whose table is schema, as a whole document (XmlIO.cpp).
void writeDocument(const BaseObject& object, const ClassSchema& schema, XmlStream& stream, const WriteFormat& format);
std::string writeDocument(const BaseObject& object, const ClassSchema& schema, const WriteFormat& format);
/// Whether a and b, objects of schema's class, hold the same values, numbers by their bits (Compare.cpp).
bool sameObjects(const BaseObject& a, const BaseObject& b, const ClassSchema& schema);
/// The contract's getNamespaces (NamespacePlan.cpp).
void collectNamespaces(const BaseObject& object, std::set<std::string>& namespaces, const ClassSchema& schema);

/// The plan of the class whose table schema is, built once and never freed.
const NamespacePlan& buildNamespacePlan(const ClassSchema& schema);
template <typename T>
const NamespacePlan& namespacePlanOf()
{
    static const NamespacePlan& plan = buildNamespacePlan(SchemaAccess::of<T>());
    return plan;
}

template <typename T>
BaseObject* makeObject()
{
    return new T;
}

/// The global elements of the schema: a document holding one of them holds
/// that message and no other, whatever else the other's members would take.
#define WI_IS_MESSAGE(Class) || std::is_same_v<T, Class>
template <typename T>
inline constexpr bool isMessage = false WI_MESSAGE_CLASSES(WI_IS_MESSAGE);
#undef WI_IS_MESSAGE

} // namespace Velmora::Schemas::Mes::_2010_09::Workinstructions::detail

#define WI_QUALIFIED(Class) "Velmora::Schemas::Mes::_2010_09::Workinstructions::" #Class

/// Defines a schema class from its member rows, listed in declaration (and XML) order.
#define WI_DEFINE_SCHEMA_CLASS(Class, ...)                                                                   \
    KVSOA_DEFINE_ALLOCATION_OPERATORS(Class, WI_QUALIFIED(Class))                                            \
    const detail::ClassSchema& Class::schema()                                                               \
    {                                                                                                        \
        using namespace detail;                                                                              \
        static constexpr Member members[] = {__VA_ARGS__};                                                   \
        static_assert(std::size(members) <= 32, "the reader keeps a bit per row of the object it reads");    \
        static constexpr ClassSchema table{WI_QUALIFIED(Class), WI_QUALIFIED(Class) "::outputXML",           \
                                           WI_QUALIFIED(Class) "::parse", members, std::size(members),       \
                                           anyChild(members), NamespaceUri, &namespacePlanOf<Class>,         \
                                           &makeObject<Class>, isMessage<Class>};                            \
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
    Class* Class::reallyClone() const { return ::Kavella::Soa::Common::cloneObject(*this, WI_QUALIFIED(Class)); } \
    bool Class::operator==(const Class& other) const { return detail::sameObjects(*this, other, schema()); }     \
    void Class::print(std::ostream& out) const { writeXml(*this, out, WriteFormat{Envelope::None, 2}); }
