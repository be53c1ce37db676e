#pragma once

// The element of a reply's message, found from the start of the text: the
// document element, or the Body's first element in a SOAP envelope. The reader
// proper judges the envelope; this only tells which message came, so that a
// reply of another operation is refused by name before it is read.

#include <istream>
#include <string>

#include "kvsoa/XMLEventReader.hpp"

namespace Velmora::Schemas::Mes::_2010_09::Workinstructions::detail {

struct MessageHead {
    bool found = false;
    bool fault = false; // a SOAP Fault in place of a message
    std::string name;
    std::string uri;
    ::Kavella::Soa::Common::Xml::XMLPosition at;
};

/// Reads text until the message element starts, and no further. Throws
/// DomException for malformed text before it.
MessageHead peekMessageHead(std::istream& text, const ::Kavella::Soa::Common::Xml::XMLReadLimits& limits);

} // namespace Velmora::Schemas::Mes::_2010_09::Workinstructions::detail
