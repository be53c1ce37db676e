#pragma once

// Compares two trees member by member through the public getters: texts byte
// for byte, floats and doubles bit for bit (so -0.0 and NaN count), dates
// field by field, arrays element by element. Each tree is listed one member
// per line; the first line that differs is the difference.

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <type_traits>
#include <vector>

#include "workinstructions/WorkInstructions.hpp"

namespace roundtrip {

namespace wi = ::Velmora::Schemas::Mes::_2010_09::Workinstructions;
using ::Kavella::Schemas::Soa::_2006_03::Base::PartialError;

class TreeListing {
public:
    template <typename T>
    static std::string of(const T& root)
    {
        TreeListing listing;
        listing.members(root);
        return listing.m_text;
    }

private:
    template <typename T>
    void members(const T& entry)
    {
        // The fourteen property entries share one shape.
        member(".key", entry.getKey());
        if constexpr (holdsArray<T>(0)) {
            member(".value", entry.getValueArray());
        } else {
            member(".value", entry.getValue());
        }
    }
    void members(const wi::ModelObject& object) { member(".uid", object.getUid()); }
    void members(const wi::ServiceData& data)
    {
        member(".created", data.getCreatedArray());
        member(".updated", data.getUpdatedArray());
        member(".deleted", data.getDeletedArray());
        member(".partialErrors", data.getPartialErrorArray());
    }
    void members(const wi::CreateInput& input)
    {
        member(".type", input.getType());
        member(".stringProps", input.getStringPropArray());
        member(".stringArrayProps", input.getStringArrayPropArray());
        member(".doubleProps", input.getDoublePropArray());
        member(".doubleArrayProps", input.getDoubleArrayPropArray());
        member(".floatProps", input.getFloatPropArray());
        member(".floatArrayProps", input.getFloatArrayPropArray());
        member(".intProps", input.getIntPropArray());
        member(".intArrayProps", input.getIntArrayPropArray());
        member(".boolProps", input.getBoolPropArray());
        member(".boolArrayProps", input.getBoolArrayPropArray());
        member(".dateProps", input.getDatePropArray());
        member(".dateArrayProps", input.getDateArrayPropArray());
        member(".tagProps", input.getTagPropArray());
        member(".tagArrayProps", input.getTagArrayPropArray());
        member(".compoundCreateInput", input.getCompoundCreateInputArray());
    }
    void members(const wi::CreateInputMap& map)
    {
        member(".key", map.getKey());
        member(".value", map.getValueArray());
    }
    void members(const wi::ObjectsReferenced& reference)
    {
        member(".targetContext", reference.getTargetContext());
        member(".targetObject", reference.getTargetObject());
    }
    void members(const wi::LoadWorkInstructionDocInput& request) { member(".loadedInfo", request.getLoadedInfoArray()); }
    void members(const wi::LoadedSTXInfo& info)
    {
        member(".transientId", info.getTransientId());
        member(".workInstructionFile", info.getWorkInstructionFile());
        member(".stxObjectData", info.getStxObjectData());
        member(".symbols", info.getSymbolArray());
    }
    void members(const wi::LoadedSubSTXInfo& info)
    {
        member(".transientId", info.getTransientId());
        member(".objectType", info.getObjectType());
        member(".persistentId", info.getPersistentId());
        member(".owningObjectTransientId", info.getOwningObjectTransientId());
        member(".objectData", info.getObjectData());
    }
    void members(const wi::LoadedObjectInfo& info)
    {
        member(".workInstructionFile", info.getWorkInstructionFile());
        member(".topObjectDisplayName", info.getTopObjectDisplayName());
        member(".targetObjectTransientId", info.getTargetObjectTransientId());
        member(".targetContext", info.getTargetContext());
        member(".targetObject", info.getTargetObject());
        member(".loadedDCDs", info.getLoadedDCDArray());
        member(".loadedPFs", info.getLoadedPFArray());
        member(".symbols", info.getSymbolArray());
        member(".loadedSTXs", info.getLoadedSTXArray());
    }
    void members(const wi::LoadedObjectsResponse& reply)
    {
        member(".loadedObjects", reply.getLoadedObjectArray());
        member(".ServiceData", reply.getServiceData());
    }
    void members(const wi::SavedSTXInfo& info)
    {
        member(".transientId", info.getTransientId());
        member(".stxObjectData", info.getStxObjectData());
    }
    void members(const wi::SavedSubSTXInfo& info)
    {
        member(".transientId", info.getTransientId());
        member(".persistentId", info.getPersistentId());
        member(".owningObjectTransientId", info.getOwningObjectTransientId());
        member(".objectData", info.getObjectData());
    }
    void members(const wi::SavedObjectInfo& info)
    {
        member(".workInstructionFile", info.getWorkInstructionFile());
        member(".targetObject", info.getTargetObject());
        member(".modifiedDCDs", info.getModifiedDCDArray());
        member(".modifiedPFs", info.getModifiedPFArray());
        member(".symbols", info.getSymbolArray());
        member(".modifiedSTXs", info.getModifiedSTXArray());
    }
    void members(const wi::SaveWorkInstructionDocInput& request) { member(".savedObjects", request.getSavedObjectArray()); }
    void members(const wi::SavedObjectsResponse& reply) { member(".ServiceData", reply.getServiceData()); }
    void members(const PartialError& error)
    {
        member(".uid", error.uid);
        member(".message", error.message);
        member(".code", error.code);
        member(".level", error.level);
    }

    template <typename T>
    static constexpr auto holdsArray(int) -> decltype(std::declval<const T&>().getValueArray(), true)
    {
        return true;
    }
    template <typename T>
    static constexpr bool holdsArray(long)
    {
        return false;
    }

    template <typename V>
    void member(const char* name, const V& value)
    {
        const std::size_t parent = m_path.size();
        m_path += name;
        show(value);
        m_path.resize(parent);
    }
    void line(const std::string& value) { m_text += m_path + " = " + value + "\n"; }

    void show(const std::string& text)
    {
        std::string shown = "\"";
        for (const char c : text) {
            const auto byte = static_cast<unsigned char>(c);
            if (byte >= 0x20 && byte < 0x7F) {
                shown += c;
            } else {
                static constexpr char hex[] = "0123456789ABCDEF";
                shown += {'\\', 'x', hex[byte >> 4], hex[byte & 0xF]};
            }
        }
        line(shown + "\"");
    }
    void show(int value) { line(std::to_string(value)); }
    void show(bool value) { line(value ? "true" : "false"); }
    template <typename F, typename = std::enable_if_t<std::is_floating_point_v<F>>>
    void show(F value)
    {
        std::conditional_t<sizeof(F) == 4, std::uint32_t, std::uint64_t> bits;
        std::memcpy(&bits, &value, sizeof bits);
        char text[64];
        std::snprintf(text, sizeof text, "%.17g (bits %llx)", static_cast<double>(value),
                      static_cast<unsigned long long>(bits));
        line(text);
    }
    void show(const wi::DateTime& time)
    {
        char text[96];
        std::snprintf(text, sizeof text, "%d-%d-%d %d:%d:%d.%09d", time.year(), time.month(), time.day(), time.hour(),
                      time.minute(), time.second(), time.nanosecond());
        line(time.hasTimeZone() ? text + std::string(" offset ") + std::to_string(time.timeZoneOffsetMinutes()) : text);
    }
    template <typename T>
    void show(const wi::AutoPtr<T>& handle)
    {
        if (handle.isNull()) return line("null");
        members(*handle);
    }
    void show(const PartialError& error) { members(error); }
    template <typename T, typename A>
    void show(const std::vector<T, A>& array)
    {
        line(std::to_string(array.size()) + " entries");
        for (std::size_t i = 0; i < array.size(); ++i) {
            member(("[" + std::to_string(i) + "]").c_str(), static_cast<T>(array[i]));
        }
    }

    std::string m_path = "root";
    std::string m_text;
};

/// The first member in which two trees differ, or an empty text when they are equal.
template <typename T>
std::string firstDifference(const T& a, const T& b)
{
    const std::string first = TreeListing::of(a);
    const std::string second = TreeListing::of(b);
    if (first == second) return {};
    // Equal up to start, so both texts have their next line there.
    std::size_t start = 0;
    for (std::size_t end = first.find('\n'); end == second.find('\n', start) && first.compare(start, end - start, second, start, end - start) == 0;
         end = first.find('\n', start)) {
        start = end + 1;
    }
    const auto lineAt = [start](const std::string& text) { return text.substr(start, text.find('\n', start) - start); };
    return lineAt(first) + "\n  but read back: " + lineAt(second);
}

} // namespace roundtrip
