#pragma once

// Rewrites the writer's compact output into another text of the same
// document, as another writer or a person might send it.

#include <cstdint>
#include <string>

namespace roundtrip {

struct Variation {
    const char* name;
    bool comments = false;   // declaration, comments and processing instructions between markup
    bool whitespace = false; // between elements that hold elements, and inside tags
    bool texts = false;      // CDATA sections and character references
    const char* schemaPrefix = "ns1"; // "" declares the schema namespace as the default
    const char* basePrefix = "ns2";
};

/// canonical: what outputXML wrote, with ns1 for the schema namespace and ns2
/// for the platform's base namespace.
std::string rewrite(const std::string& canonical, const Variation& variation, std::uint64_t seed);

} // namespace roundtrip
