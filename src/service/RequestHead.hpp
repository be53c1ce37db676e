#pragma once

// The service's operations, and what a request's first tags tell before it is
// read: its envelope, its message element, and the header blocks it insists on.

#include <string>
#include <string_view>
#include <vector>

#include "kvsoa/Soap.hpp"
#include "workinstructions/XmlIO.hpp"

namespace Velmora::Schemas::Mes::_2010_09::Workinstructions::serving {

using ::Kavella::Soa::Common::Xml::SoapVersion;

enum class Operation { Load, Save };
constexpr int operationCount = 2;

struct OperationInfo {
    const char* name;         // as the WSDL names it
    const char* requestClass; // the message element of the request
    const char* replyClass;
    const char* action;       // soapAction in both bindings
};

const OperationInfo& operationInfo(Operation operation);

/// The media type of an answer in that version.
const char* contentTypeOf(SoapVersion version);

/// The message element of a request and the envelope around it, read from
/// the start of the text only, or from all of it with whole. Throws
/// DomException when what is read is malformed.
struct RequestHead {
    SoapVersion envelope = SoapVersion::None;
    std::string name;
    std::string uri;
    bool unknownEnvelope = false;      // an Envelope in neither SOAP namespace
    std::string unknownEnvelopeReason; // the reader's words for it
    std::vector<std::string> notUnderstood; // mandatory header blocks, "{uri}local", the first few
    std::string notUnderstoodReason;        // the reader's words for the first
};
RequestHead peekRequest(std::string_view text, const XMLReadLimits& limits, bool whole = false);

} // namespace Velmora::Schemas::Mes::_2010_09::Workinstructions::serving
