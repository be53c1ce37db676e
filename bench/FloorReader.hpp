#pragma once

#include <string>

#include "Corpus.hpp"

namespace kvsoabench
{

/// The least a read of Message can do under the object contract: libxml2's
/// SAX2 events, as the empty-handler baseline gets them, made into the very
/// objects readXml makes. Throws for a text libxml2 refuses or a value the
/// runtime's conversions refuse; no SOAP envelope.
template <typename Message>
wi::AutoPtr<Message> readAtFloor(const std::string& text);

/// Empty when readAtFloor makes as many objects of each class as readXml, frees
/// them all, and its result writes back the same text; else what differs.
template <typename Message>
std::string floorMismatch(const std::string& text);

} // namespace kvsoabench
