#pragma once

// The answers of `wixml serve`, written once at start-up in each SOAP version,
// and the faults it writes for requests it refuses.

#include <string>
#include <vector>

#include "ClassRegistry.hpp"
#include "kvsoa/Soap.hpp"

namespace wixml {

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

/// A fault's place in the request, carried in its detail when known.
struct FaultPlace {
    int line = 0;
    int column = 0;
    std::string message;
};

/// "Client" or "Server" as SOAP 1.1 says it; SOAP 1.2 says Sender, Receiver.
enum class FaultSide { Client, Server };

/// A whole fault document; a bare request gets the SOAP 1.1 shape.
std::string writeFault(SoapVersion version, FaultSide side, const std::string& reason,
                       const std::vector<FaultPlace>& places = {}, const std::string& detail = {});

/// The media type of an answer in that version.
const char* contentTypeOf(SoapVersion version);

/// What one operation answers, in each version (index: SoapVersion).
struct PreparedAnswer {
    bool fault = false;
    std::string text[3];
};

/// The answers of both operations, from DIR/OP-reply.xml, or DIR/OP-fault.xml
/// when that exists. Throws std::runtime_error naming the file at fault.
std::vector<PreparedAnswer> prepareAnswers(const std::string& directory);

/// The directory of the replies bundled with the tool: installed beside the
/// schema, else the source tree's examples; empty when neither has them.
std::string findBundledReplies();

} // namespace wixml

namespace wixml {

/// The message element of a request and the envelope around it, read from
/// the start of the text only, or from all of it with whole. Throws
/// DomException when what is read is malformed.
struct MessageHead {
    SoapVersion envelope = SoapVersion::None;
    std::string name;
    std::string uri;
};
MessageHead peekMessage(std::string_view text, const wi::XMLReadLimits& limits, bool whole = false);

} // namespace wixml
