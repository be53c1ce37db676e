#pragma once

// Documents built to make a reader's cost outgrow their size:
// many attributes or namespace declarations on one element, many names the
// parser must remember, long names and URIs, trees kept for a SOAP envelope or
// a ModelObject element. Each shape makes a document of n units (attributes,
// elements, declarations...) whose size grows in proportion to n, and names
// the reader that a service would use on it. Some are malformed early, with
// the costly part after the first error, where nothing is worth reading.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace hostile {

/// What reads a shape: the tree reader, or the direct reader of one message class.
enum class ShapeReader {
    Document,                    ///< XMLDocument
    CreateInput,                 ///< readXml<CreateInput>
    LoadWorkInstructionDocInput, ///< readXml<LoadWorkInstructionDocInput>
    LoadedObjectsResponse,       ///< readXml<LoadedObjectsResponse>
    SaveWorkInstructionDocInput, ///< readXml<SaveWorkInstructionDocInput>
    SavedObjectsResponse,        ///< readXml<SavedObjectsResponse>
};

/// How a small document of the shape ends: read whole, refused with a
/// DomException by what the reader knows of messages (an unknown element, a
/// SOAP fault, the depth limit), or malformed (or unreadable) to any reader.
enum class SmallOutcome { Read, Refused, Malformed };

struct HostileShape {
    /// Also the stem of the file the shape is written to.
    const char* name;
    ShapeReader reader;
    /// The document of n units.
    std::string (*make)(std::size_t n);
    SmallOutcome small;
};

/// Every shape, each name once.
const std::vector<HostileShape>& hostileShapes();

/// "XMLDocument", or the class name: also the fuzz corpus directory.
const char* readerName(ShapeReader reader);

/// Reads text as the shape's reader does, with the default limits; throws
/// what the reader throws.
void readShape(ShapeReader reader, std::string_view text);

/// The n whose document comes closest to bytes (at least 1).
std::size_t unitsForSize(const HostileShape& shape, std::size_t bytes);

} // namespace hostile
