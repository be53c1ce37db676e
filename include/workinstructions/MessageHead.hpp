#pragma once

// Which message a text holds, told from its first start tags without reading
// the message: for a program that picks the class to read it as, or the
// operation a request asks for.

#include <iosfwd>
#include <string>
#include <string_view>

#include "kvsoa/XMLEventReader.hpp"
#include "workinstructions/Export.hpp"
#include "workinstructions/XmlIO.hpp"

namespace Velmora::Schemas::Mes::_2010_09::Workinstructions {

using ::Kavella::Soa::Common::Xml::XMLPosition;

/// The element a message stands in, as readXml would take it.
struct MessageHead {
    /// The SOAP envelope around the message; None for a bare message.
    Envelope envelope = Envelope::None;
    /// The message element's local name: the document element, or the first
    /// element in the envelope's Body (which may be its Fault); empty when
    /// the Body holds none or the envelope has no Body.
    std::string name;
    /// The message element's namespace URI; empty when it has none.
    std::string uri;
    /// Where the message element's start tag begins; 0 when there is none.
    XMLPosition at;
};

/// The message head of text, read up to the message's start tag and no
/// further: what follows is neither judged nor paid for, so a text whose head
/// peeks well may still be refused by readXml. Text malformed before the
/// head, or over a limit there, raises DomException with line and column.
/// Nothing of the envelope is judged (header blocks, a second Body element).
WI_API MessageHead peekMessage(std::string_view text, const XMLReadLimits& limits = {});

/// The same from a stream, read a piece at a time; the stream is left
/// somewhere past the message's start tag. A stream that fails raises
/// std::ios_base::failure.
WI_API MessageHead peekMessage(std::istream& text, const XMLReadLimits& limits = {});

} // namespace Velmora::Schemas::Mes::_2010_09::Workinstructions
