#pragma once

// Differences between two messages, both in the canonical form that the
// library writes: what the reader ignores (prefixes, whitespace, order of
// children of different kinds) is gone before the trees meet here.

#include <string>
#include <vector>

#include "kvsoa/XMLNode.hpp"

namespace wixml {

/// One line per difference: "PATH: OLD -> NEW", for example
/// "savedObjects[1].modifiedDCDs[0].objectData.intProps[key=count].value: 42 -> 43".
/// Array entries compare in order; "(none)" stands for an entry or attribute
/// that one side lacks.
std::vector<std::string> treeDifferences(const Kavella::Soa::Common::Xml::XMLNode& before,
                                         const Kavella::Soa::Common::Xml::XMLNode& after);

} // namespace wixml
