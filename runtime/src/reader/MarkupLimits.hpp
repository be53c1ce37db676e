#pragma once

// A linear pass over the markup that finds the first place where a document
// exceeds the reader's limits on attributes, namespaces and name lengths,
// before the parser spends more than linear time on it.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "kvsoa/XMLEventReader.hpp"

namespace Kavella::Soa::Common::Xml::detail {

/// A refusal found before parsing: where (an offset in the text) and why.
struct Refusal {
    std::size_t offset = 0;
    std::string reason;
};

/// The first start tag (or processing instruction) of text that exceeds
/// limits, at its '<'; none when there is none. Markup the pass cannot follow
/// is malformed, which the parser reports at or before that place: from there
/// on the pass gives up and finds nothing. The text must be followed by a NUL
/// byte, as a std::string's is, and hold none itself.
std::optional<Refusal> findLimitExcess(std::string_view text, const XMLReadLimits& limits);

/// The refusal texts, shared with the checks made while parsing.
std::string tooManyDistinctNames(std::size_t limit);

} // namespace Kavella::Soa::Common::Xml::detail
