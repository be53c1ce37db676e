#pragma once

// Seeded random trees of the schema classes, built through the public setters
// and adders only. Values lean on the edges: markup characters, whitespace
// that XML would normalise, non-ASCII, number extremes and specials, dates far
// from today, empty arrays and nested compound inputs.

#include <cstddef>
#include <cstdint>
#include <random>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "workinstructions/WorkInstructions.hpp"

namespace roundtrip {

namespace wi = ::Velmora::Schemas::Mes::_2010_09::Workinstructions;
using ::Kavella::Soa::Common::AutoPtr;
using ::Kavella::Soa::Common::DateTime;
using wi::ModelObject;
using wi::ServiceData;

class RandomTree {
public:
    explicit RandomTree(std::uint64_t seed) : m_random(seed) {}

    template <typename T>
    AutoPtr<T> make()
    {
        AutoPtr<T> object(new T);
        ++m_objects;
        fill(*object);
        return object;
    }

    std::string text();
    int integer();
    float singleFloat();
    double doubleFloat();
    bool flag() { return chance(2); }
    DateTime dateTime();

private:
    // True once in n.
    bool chance(unsigned n) { return std::uniform_int_distribution<unsigned>(1, n)(m_random) == 1; }
    int between(int low, int high) { return std::uniform_int_distribution<int>(low, high)(m_random); }
    template <typename T, std::size_t N>
    const T& pick(const T (&items)[N]) { return items[between(0, static_cast<int>(N) - 1)]; }
    // Mostly short, often empty; nothing more once the tree is large.
    std::size_t length();

    template <typename V>
    V value()
    {
        if constexpr (std::is_same_v<V, std::string>) return text();
        else if constexpr (std::is_same_v<V, int>) return integer();
        else if constexpr (std::is_same_v<V, float>) return singleFloat();
        else if constexpr (std::is_same_v<V, double>) return doubleFloat();
        else if constexpr (std::is_same_v<V, bool>) return flag();
        else if constexpr (std::is_same_v<V, DateTime>) return dateTime();
        else return make<ModelObject>();
    }

    template <typename E, typename = void>
    struct HoldsArray : std::false_type {};
    template <typename E>
    struct HoldsArray<E, std::void_t<decltype(&E::getValueArray)>> : std::true_type {};

    // The fourteen property entries: a key and one value or an array of them.
    template <typename Entry>
    void fill(Entry& entry)
    {
        entry.setKey(text());
        if constexpr (HoldsArray<Entry>::value) {
            using Value = typename std::decay_t<decltype(entry.getValueArray())>::value_type;
            // Both ways of filling an array: a whole vector, and one entry at a time.
            std::vector<Value> values;
            for (std::size_t i = length(); i > 0; --i) values.push_back(value<Value>());
            if (chance(2)) {
                entry.setValueArray(values);
            } else {
                for (const Value& each : values) entry.addValue(each);
            }
        } else {
            entry.setValue(value<std::decay_t<decltype(std::as_const(entry).getValue())>>());
        }
    }
    void fill(ModelObject& object) { object.setUid(text()); }
    void fill(ServiceData& data);
    void fill(wi::CreateInput& input);
    void fill(wi::CreateInputMap& map);
    void fill(wi::ObjectsReferenced& reference);
    void fill(wi::LoadWorkInstructionDocInput& request);
    void fill(wi::LoadedSTXInfo& info);
    void fill(wi::LoadedSubSTXInfo& info);
    void fill(wi::LoadedObjectInfo& info);
    void fill(wi::LoadedObjectsResponse& reply);
    void fill(wi::SavedSTXInfo& info);
    void fill(wi::SavedSubSTXInfo& info);
    void fill(wi::SavedObjectInfo& info);
    void fill(wi::SaveWorkInstructionDocInput& request);
    void fill(wi::SavedObjectsResponse& reply);

    // Calls add(make<T>()) length() times.
    template <typename T, typename Add>
    void addSome(Add add)
    {
        for (std::size_t i = length(); i > 0; --i) add(make<T>());
    }

    std::mt19937_64 m_random;
    std::size_t m_objects = 0;
    int m_compoundDepth = 0;
};

} // namespace roundtrip
