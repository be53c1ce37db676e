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
#include "kvsoa/ObjectClone.hpp"
#include "kvsoa/XMLNode.hpp"

namespace Velmora::Schemas::Mes::_2010_09::Workinstructions::detail {

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
    return {name,    nameLength(name), MemberKind::Attribute, typeNameOf<TypeOf<M>>(), &writeAttribute<M>,
            &readAttribute<M>, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
            nullptr, nullptr, &attributeTexts<M>};
}

/// One object, or an array of them, of class Object, read through enter.
template <typename Object>
constexpr Member objectRow(const char* name, MemberKind kind, BaseObject* (*enter)(BaseObject&),
                           void (*reserve)(BaseObject&, std::size_t), std::size_t (*count)(const BaseObject&),
                           const BaseObject& (*entry)(const BaseObject&, std::size_t),
                           void (*dropLast)(BaseObject&))
{
    return {name,
            nameLength(name),
            kind,
            typeNameOf<Object>(),
            nullptr,
            nullptr,
            enter,
            nestedSchemaOf<Object>(),
            reserve,
            count,
            entry,
            writeForeignOf<Object>(),
            foreignNamespaceOf<Object>(),
            tagReaderOf<Object>(),
            childFilterOf<Object>(),
            foreignParseTraceOf<Object>(),
            dropLast};
}

template <auto M>
constexpr Member nestedObject(const char* name, MemberKind kind)
{
    static_assert(HandleTraits<TypeOf<M>>::value, "a child member is an AutoPtr");
    using Object = typename HandleTraits<TypeOf<M>>::Object;
    Member row = objectRow<Object>(name, kind, &enterChild<M>, nullptr, &countChild<M>, &childEntry<M>, nullptr);
    row.makeAbsent = &makeChildAbsent<M>;
    return row;
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
    return objectRow<Object>(name, MemberKind::Children, &enterChildren<M>, &reserveArray<M>, &countChildren<M>,
                             &childrenEntry<M>, &dropLastEntry<M>);
}

/// An array of plain values, written by hand as prefix:name elements holding the text.
template <auto M>
constexpr Member values(const char* name)
{
    static_assert(ArrayTraits<TypeOf<M>>::value && isValue<typename ArrayTraits<TypeOf<M>>::Entry>,
                  "a values member is a std::vector of texts, numbers, flags or DateTimes");
    return {name,    nameLength(name), MemberKind::Values, typeNameOf<typename ArrayTraits<TypeOf<M>>::Entry>(),
            &writeValues<M>, &readValues<M>, nullptr, nullptr, &reserveArray<M>, nullptr, nullptr, nullptr, nullptr,
            nullptr, nullptr, nullptr, nullptr, &valuesTexts<M>};
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
void readObject(BaseObject& object, const ClassSchema& schema, std::string_view text,
                const ::Kavella::Soa::Common::Xml::XMLReadLimits& limits, const char* element = nullptr);
/// The same from a stream, read a piece at a time.
void readObject(BaseObject& object, const ClassSchema& schema, std::istream& text,
                const ::Kavella::Soa::Common::Xml::XMLReadLimits& limits, const char* element = nullptr);
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
