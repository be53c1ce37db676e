#pragma once

// What a member row does with its member, per kind and type: the functions
// the row makers of ClassSchema.hpp put into the rows.

#include <cstddef>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "MemberRow.hpp"
#include "kvsoa/AutoPtr.hpp"
#include "kvsoa/BaseObject.hpp"
#include "kvsoa/Conversions.hpp"
#include "kvsoa/DateTime.hpp"
#include "kvsoa/DomException.hpp"
#include "kvsoa/XmlStream.hpp"

namespace Velmora::Schemas::Mes::_2010_09::Workinstructions::detail {

using ::Kavella::Soa::Common::Xml::DomException;

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

/// A value's text as the writer writes it, before escaping.
template <typename T>
std::string valueText(const T& value)
{
    if constexpr (std::is_same_v<T, std::string>) {
        return value;
    } else {
        XmlStream stream;
        appendValueText(stream, value);
        return stream.str();
    }
}
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
BaseObject* enterChild(BaseObject& object)
{
    return memberOf<M>(object).operator->(); // a null handle raises DomException, as parse through it would
}
template <auto M>
void makeChildAbsent(BaseObject& object)
{
    memberOf<M>(object) = TypeOf<M>();
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
/// What a member, or each entry of an array, holds.
template <typename T>
constexpr ValueKind valueKindOf()
{
    if constexpr (std::is_same_v<T, std::string>) {
        return ValueKind::String;
    } else if constexpr (std::is_same_v<T, int>) {
        return ValueKind::Int;
    } else if constexpr (std::is_same_v<T, float>) {
        return ValueKind::Float;
    } else if constexpr (std::is_same_v<T, double>) {
        return ValueKind::Double;
    } else if constexpr (std::is_same_v<T, bool>) {
        return ValueKind::Bool;
    } else if constexpr (std::is_same_v<T, DateTime>) {
        return ValueKind::DateTime;
    } else if constexpr (std::is_same_v<T, ModelObject>) {
        return ValueKind::ModelObject;
    } else if constexpr (std::is_same_v<T, ServiceData>) {
        return ValueKind::ServiceData;
    } else {
        static_assert(isSchemaClass<T>, "a member holds a value, a runtime class or a schema class");
        return ValueKind::Object;
    }
}
/// A null handle (a member read from xsi:nil, or cleared by its user) is an
/// absent member: written as nothing, so that it reads back as it was.
template <auto M>
std::size_t countChild(const BaseObject& object)
{
    return memberOf<M>(object) ? 1 : 0;
}
template <auto M>
const BaseObject& childEntry(const BaseObject& object, std::size_t)
{
    return *memberOf<M>(object).operator->(); // a null handle raises DomException
}
/// The runtime's classes write, read and compare themselves.
template <typename T>
void writeRuntime(const BaseObject& entry, XmlStream& stream, const std::string& elementName)
{
    static_cast<const T&>(entry).outputXML(stream, elementName);
}
bool sameModelObject(const BaseObject& a, const BaseObject& b);
bool sameServiceData(const BaseObject& a, const BaseObject& b);
/// What a row of T's objects adds for T a runtime class; nothing for a schema class.
template <typename T>
constexpr RuntimeOperations runtimeOperationsOf()
{
    RuntimeOperations operations;
    if constexpr (!isSchemaClass<T>) {
        operations.write = &writeRuntime<T>;
        operations.namespaceUri = ::Kavella::Schemas::Soa::_2006_03::Base::NamespaceUri;
        operations.parseTrace = T::parseTrace;
        if constexpr (T::elementDepthRead == 1) {
            operations.readTag = &readStartTagOf<T>;
        } else {
            static_assert(T::elementDepthRead == 2, "a runtime class reads its start tag or its children's");
            operations.readTag = &readChildTagOf<T>;
            operations.readsChild = &T::readsChild;
        }
        operations.equal = std::is_same_v<T, ModelObject> ? &sameModelObject : &sameServiceData;
    }
    return operations;
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
const BaseObject* heldChild(const BaseObject& object, std::size_t)
{
    return memberOf<M>(object).get();
}
template <auto M>
const BaseObject* heldEntry(const BaseObject& object, std::size_t index)
{
    return memberOf<M>(object)[index].get();
}
template <auto M>
void dropLastEntry(BaseObject& object)
{
    memberOf<M>(object).pop_back();
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

} // namespace Velmora::Schemas::Mes::_2010_09::Workinstructions::detail
