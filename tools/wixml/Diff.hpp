#pragma once

// Differences between two messages, as the objects read from them: what the
// reader ignores (prefixes, whitespace, order of children of different kinds)
// is gone before they meet here.

#include <string>
#include <string_view>
#include <vector>

#include "ClassRegistry.hpp"
#include "MissingMembers.hpp"

namespace wixml {

/// How two values of the same member compare.
enum class Comparison {
    Values, ///< as their XML Schema types make them equal: -0 and 0, one instant in two time zones
    Texts,  ///< as the canonical texts, character by character
};

/// One line per difference: "PATH: OLD -> NEW", for example
/// "savedObjects[1].modifiedDCDs[0].objectData.intProps[key=count].value: 42 -> 43".
/// before and after are objects of view's class, walked through its rows;
/// array entries compare in order, named by their key where both sides hold
/// it there alone. "(none)" stands for an entry or value that one side lacks,
/// or a member its message lacked (missingBefore, missingAfter: what the
/// reader took as empty).
std::vector<std::string> objectDifferences(const Kavella::Soa::Common::Xml::BaseObject& before,
                                           const Kavella::Soa::Common::Xml::BaseObject& after,
                                           wi::ClassView view, Comparison comparison,
                                           const std::vector<MissingMember>& missingBefore = {},
                                           const std::vector<MissingMember>& missingAfter = {});

} // namespace wixml
