#pragma once

// When two values of a member are the same: by their bits (operator==), by
// what their XML Schema types make equal, or by the texts the writer writes.

#include <cmath>
#include <cstring>
#include <string>
#include <type_traits>

#include "MemberOperations.hpp"

namespace Velmora::Schemas::Mes::_2010_09::Workinstructions::detail {

/// One instant: both with a time zone and the same point in time, or both
/// local with the same fields (a local time is no instant).
bool sameInstant(const DateTime& a, const DateTime& b) noexcept;

template <typename T>
bool sameValue(const T& a, const T& b, Sameness sameness)
{
    if constexpr (std::is_floating_point_v<T>) {
        switch (sameness) {
        case Sameness::Bits: return std::memcmp(&a, &b, sizeof(T)) == 0; // NaN is itself, -0 is not 0
        case Sameness::Values: return a == b || (std::isnan(a) && std::isnan(b));
        case Sameness::Texts: return valueText(a) == valueText(b);
        }
        return false;
    } else if constexpr (std::is_same_v<T, DateTime>) {
        switch (sameness) {
        case Sameness::Bits: return a == b;
        case Sameness::Values: return sameInstant(a, b);
        case Sameness::Texts: return valueText(a) == valueText(b);
        }
        return false;
    } else {
        return a == b; // texts, numbers and flags have one text per value
    }
}

template <auto M>
std::size_t countOne(const BaseObject&)
{
    return 1;
}
template <auto M>
std::string attributeText(const BaseObject& object, std::size_t)
{
    return valueText(memberOf<M>(object));
}
template <auto M>
bool sameAttribute(const BaseObject& a, std::size_t, const BaseObject& b, std::size_t, Sameness sameness)
{
    return sameValue(memberOf<M>(a), memberOf<M>(b), sameness);
}

template <auto M>
std::size_t countValues(const BaseObject& object)
{
    return memberOf<M>(object).size();
}
template <auto M>
std::string valuesText(const BaseObject& object, std::size_t index)
{
    using Entry = typename ArrayTraits<TypeOf<M>>::Entry;
    return valueText<Entry>(memberOf<M>(object)[index]); // a vector<bool> yields a bool here
}
template <auto M>
bool sameValues(const BaseObject& a, std::size_t i, const BaseObject& b, std::size_t j, Sameness sameness)
{
    using Entry = typename ArrayTraits<TypeOf<M>>::Entry;
    return sameValue<Entry>(memberOf<M>(a)[i], memberOf<M>(b)[j], sameness);
}

} // namespace Velmora::Schemas::Mes::_2010_09::Workinstructions::detail
