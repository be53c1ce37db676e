#include "workinstructions/MessageHead.hpp"

#include "kvsoa/SoapEnvelope.hpp"

namespace Velmora::Schemas::Mes::_2010_09::Workinstructions {

namespace {

using ::Kavella::Soa::Common::Xml::SoapEnvelopeReader;
using ::Kavella::Soa::Common::Xml::XMLEventReader;

// The envelope reader, stopped once it knows the message element; what it
// found wrong on the way is readXml's to raise, not a peek's.
template <class Text>
MessageHead peek(Text& text, const XMLReadLimits& limits)
{
    XMLEventReader reader(limits);
    SoapEnvelopeReader envelope(reader);
    envelope.stopAfterHead();
    reader.read(text, envelope);
    const auto& head = envelope.head();
    return {head.version, head.name, head.uri, head.at};
}

} // namespace

MessageHead peekMessage(std::string_view text, const XMLReadLimits& limits)
{
    return peek(text, limits);
}

MessageHead peekMessage(std::istream& text, const XMLReadLimits& limits)
{
    return peek(text, limits);
}

} // namespace Velmora::Schemas::Mes::_2010_09::Workinstructions
