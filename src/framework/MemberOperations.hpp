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
template <auto M>
std::vector<std::string> attributeTexts(const BaseObject& object)
{
    return {valueText(memberOf<M>(object))};
}
template <auto M>
std::vector<std::string> valuesTexts(const BaseObject& object)
{
    using Entry = typename ArrayTraits<TypeOf<M>>::Entry;
    std::vector<std::string> texts;
    // A vector<bool> yields proxies, converted to bool here.
    for (auto&& value : memberOf<M>(object)) texts.push_back(valueText<Entry>(value));
    return texts;
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
/// For the runtime's classes: the trace name their parse uses, which the
/// reader sends on their behalf.
template <typename T>
constexpr const char* foreignParseTraceOf()
{
    if constexpr (isSchemaClass<T>) {
        return nullptr;
    } else {
        return T::parseTrace;
    }
}
/// What a class view shows a member holds; null for a schema class, whose
/// table names it.
template <typename T>
constexpr const char* typeNameOf()
{
    if constexpr (std::is_same_v<T, std::string>) {
        return "string";
    } else if constexpr (std::is_same_v<T, int>) {
        return "int";
    } else if constexpr (std::is_same_v<T, float>) {
        return "float";
    } else if constexpr (std::is_same_v<T, double>) {
        return "double";
    } else if constexpr (std::is_same_v<T, bool>) {
        return "bool";
    } else if constexpr (std::is_same_v<T, DateTime>) {
        return "DateTime";
    } else if constexpr (std::is_same_v<T, ModelObject>) {
        return "ModelObject";
    } else if constexpr (std::is_same_v<T, ServiceData>) {
        return "ServiceData";
    } else {
        static_assert(isSchemaClass<T>, "a member holds a value, a runtime class or a schema class");
        return nullptr;
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
