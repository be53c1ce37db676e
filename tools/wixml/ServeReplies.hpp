#pragma once

// The answers of `wixml serve`, written once at start-up in each SOAP version,
// and what a request's head tells before it is read.

#include <cstdint>
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

/// The media type of an answer in that version.
const char* contentTypeOf(SoapVersion version);

/// What one operation answers, in each version (index: SoapVersion).
struct PreparedAnswer {
    int status[3] = {200, 200, 200};
    std::string text[3];
};

/// The largest reply or fault file read.
constexpr std::uintmax_t maxReplyFileBytes = 16u << 20;

/// The answers of both operations, from DIR/OP-reply.xml, or DIR/OP-fault.xml
/// when that exists (a link to nowhere included). Only regular files under
/// maxReplyFileBytes are read. Throws std::runtime_error naming the file at
/// fault and what is wrong with it; bundled names the directory of the
/// bundled replies, offered as a start when a file is missing.
std::vector<PreparedAnswer> prepareAnswers(const std::string& directory, const std::string& bundled = {});

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
    bool unknownEnvelope = false;      // an Envelope in neither SOAP namespace
    std::string unknownEnvelopeReason; // the reader's words for it
    std::vector<std::string> notUnderstood; // mandatory header blocks, "{uri}local", the first few
    std::string notUnderstoodReason;        // the reader's words for the first
};
MessageHead peekMessage(std::string_view text, const wi::XMLReadLimits& limits, bool whole = false);

} // namespace wixml
