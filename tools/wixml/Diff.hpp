#pragma once

// Differences between two messages, both in the canonical form that the
// library writes: what the reader ignores (prefixes, whitespace, order of
// children of different kinds) is gone before the trees meet here.

#include <string>
#include <string_view>
#include <vector>

#include "MissingMembers.hpp"
#include "kvsoa/XMLNode.hpp"

namespace wixml {

/// How two values of the same member compare.
enum class Comparison {
    Values, ///< as their XML Schema types make them equal: -0 and 0, one instant in two time zones
    Texts,  ///< as the canonical texts, character by character
};

/// One line per difference: "PATH: OLD -> NEW", for example
/// "savedObjects[1].modifiedDCDs[0].objectData.intProps[key=count].value: 42 -> 43".
/// Array entries compare in order; "(none)" stands for an entry or attribute
/// that one side lacks: in the trees, or in the message each was written from
/// (missingBefore, missingAfter: what the reader took as empty). rootClass is
/// the schema class both roots were read as.
std::vector<std::string> treeDifferences(const Kavella::Soa::Common::Xml::XMLNode& before,
                                         const Kavella::Soa::Common::Xml::XMLNode& after,
                                         std::string_view rootClass, Comparison comparison,
                                         const std::vector<MissingMember>& missingBefore = {},
                                         const std::vector<MissingMember>& missingAfter = {});

} // namespace wixml
