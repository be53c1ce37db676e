#pragma once

// Writing and reading whole trees the way a user of the library does, and the
// knobs of the round-trip runs.

#include <cstdint>
#include <cstdlib>
#include <string>
#include <typeinfo>

#include <cxxabi.h>
#include <gtest/gtest.h>

#include "workinstructions/WorkInstructions.hpp"

namespace roundtrip {

namespace wi = ::Velmora::Schemas::Mes::_2010_09::Workinstructions;
using ::Kavella::Soa::Common::AutoPtr;
using ::Kavella::Soa::Common::Xml::XMLDocument;
using ::Kavella::Soa::Common::Xml::XmlStream;

/// The root element in the schema namespace, under the prefix the stream declares.
template <typename T>
std::string writeAsRoot(const T& object, int indent = 0)
{
    XmlStream stream;
    stream.setIndent(indent);
    object.outputXML(stream, stream.getNamespacePrefix(wi::NamespaceUri) + ":root");
    return stream.str();
}

template <typename T>
AutoPtr<T> readTree(const std::string& text)
{
    const XMLDocument document(text);
    AutoPtr<T> object(new T);
    object->parse(document.root());
    return object;
}

/// Trees per class: WI_ROUNDTRIP_ITERATIONS when set, for long runs.
inline int iterations(int fallback)
{
    const char* text = std::getenv("WI_ROUNDTRIP_ITERATIONS");
    return text && std::atoi(text) > 0 ? std::atoi(text) : fallback;
}

/// Seed of the first tree: WI_ROUNDTRIP_SEED when set; tree i uses seed + i.
inline std::uint64_t firstSeed()
{
    const char* text = std::getenv("WI_ROUNDTRIP_SEED");
    return text ? std::strtoull(text, nullptr, 10) : 20100901u;
}

inline std::string reproduce(std::uint64_t seed)
{
    return "reproduce with WI_ROUNDTRIP_SEED=" + std::to_string(seed) + " WI_ROUNDTRIP_ITERATIONS=1";
}

using AllClasses = ::testing::Types<
    wi::StringMap, wi::DoubleMap, wi::FloatMap, wi::IntMap, wi::BoolMap, wi::DateMap, wi::TagMap,
    wi::StringVectorMap, wi::DoubleVectorMap, wi::FloatVectorMap, wi::IntVectorMap, wi::BoolVectorMap,
    wi::DateVectorMap, wi::TagVectorMap, wi::CreateInput, wi::CreateInputMap, wi::ObjectsReferenced,
    wi::LoadWorkInstructionDocInput, wi::LoadedSTXInfo, wi::LoadedSubSTXInfo, wi::LoadedObjectInfo,
    wi::LoadedObjectsResponse, wi::SavedSTXInfo, wi::SavedSubSTXInfo, wi::SavedObjectInfo,
    wi::SaveWorkInstructionDocInput, wi::SavedObjectsResponse>;

/// Test names from class names rather than type indices.
struct ClassNames {
    template <typename T>
    static std::string GetName(int)
    {
        int status = 0;
        char* name = abi::__cxa_demangle(typeid(T).name(), nullptr, nullptr, &status);
        std::string text = status == 0 ? name : typeid(T).name();
        std::free(name);
        return text.substr(text.rfind(':') + 1);
    }
};

} // namespace roundtrip
