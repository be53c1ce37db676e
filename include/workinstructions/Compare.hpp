#pragma once

// Messages as values: the differences between two objects of one class, by
// path, as their rows walk them. operator== on every class is the same walk
// stopped at the first difference, with numbers compared bit for bit.

#include <iosfwd>
#include <set>
#include <string>
#include <vector>

#include "workinstructions/ClassView.hpp"
#include "workinstructions/Export.hpp"

namespace Velmora::Schemas::Mes::_2010_09::Workinstructions {

/// When two values of one member are the same.
enum class Comparison {
    /// As their XML Schema types make them equal: -0 and 0, any NaN and any
    /// NaN, one instant written in two time zones.
    Values,
    /// As the texts the writer writes, character by character.
    Texts,
    /// As operator== judges: numbers bit for bit (a NaN equals the same NaN,
    /// -0 differs from 0), dates field by field, time zone included.
    Bits,
};

/// What differences() compares by, and what each side's message lacked.
struct CompareOptions {
    /// Options comparing by comparison, no member absent.
    CompareOptions(Comparison comparison = Comparison::Values) : comparison(comparison) {}
    /// When two values are the same.
    Comparison comparison = Comparison::Values;
    /// Members the message of before lacked, by AbsentMember::path and the
    /// member's name ("savedObjects[0].targetObject"): shown as "(none)"
    /// rather than as the empty value the reader took.
    std::set<std::string> absentBefore;
    /// The same for after.
    std::set<std::string> absentAfter;
};

/// One difference: where, and what each side holds there.
struct Difference {
    /// From the compared object down, as
    /// "savedObjects[1].modifiedDCDs[0].objectData.intProps[key=count].value":
    /// array entries by index, or by key where each side holds that key once;
    /// empty for the compared object itself.
    std::string path;
    /// The value as written (quoted where a reader could misjudge it), an
    /// entry as its start tag, or "(none)" where this side lacks it.
    std::string before;
    /// The same for after.
    std::string after;
};

/// "PATH: BEFORE -> AFTER", "(message)" standing for an empty path.
WI_API std::ostream& operator<<(std::ostream& out, const Difference& difference);

/// How before and after, both objects of view's class, differ: members in
/// their class's order; an array of entries keyed by a "key" attribute
/// matched by key when each side holds every key once (entries one side lacks
/// show as "(none)" on the other), any other array by position.
WI_API std::vector<Difference> differences(const BaseObject& before, const BaseObject& after, ClassView view,
                                           const CompareOptions& options = {});

/// The same for two objects of the schema class T.
template <class T>
std::vector<Difference> differences(const T& before, const T& after, const CompareOptions& options = {})
{
    return differences(before, after, classView<T>(), options);
}

} // namespace Velmora::Schemas::Mes::_2010_09::Workinstructions
