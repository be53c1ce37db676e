#pragma once

// Realistic sample messages, built through the public API only. The files in
// examples/ hold the same messages as a person would write them.

#include <string>
#include <vector>

#include "Classes.hpp"

namespace wixml {

struct Sample {
    const char* name;        // as given to `wixml example`
    const char* className;   // the message class, also the root element name
    const char* description;
    AutoPtr<BaseObject> (*build)();
};

const std::vector<Sample>& samples();
/// Null when no sample has that name.
const Sample* findSample(const std::string& name);

} // namespace wixml
