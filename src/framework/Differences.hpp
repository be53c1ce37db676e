#pragma once

// The one walk that compares two objects through their rows (Compare.cpp),
// and what it shows of values and of the runtime's objects (CompareTexts.cpp).

#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "ClassSchema.hpp"
#include "workinstructions/Compare.hpp"

namespace Velmora::Schemas::Mes::_2010_09::Workinstructions::detail {

/// What a line shows for a value one side lacks.
inline constexpr std::string_view noneShown = "(none)";

/// text as a line shows it: plain words as they are, anything a reader could
/// misjudge quoted.
std::string shown(std::string_view text);

/// An entry one side lacks, as its start tag: `<name a="1" ...>`.
std::string entrySummary(const BaseObject& entry, const Member& member);

/// The differences between two objects of one of the runtime's classes,
/// which have no rows: as the trees they write, attributes and children by
/// name, a partial error's code and level as numbers.
void runtimeDifferences(const std::string& path, const BaseObject& before, const BaseObject& after,
                        const Member& member, std::vector<Difference>& found);

} // namespace Velmora::Schemas::Mes::_2010_09::Workinstructions::detail
