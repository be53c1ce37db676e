// One pass over a request: the envelope reader judges the envelope, the head
// picks the operation as the message element starts, and the message's
// events go straight into that operation's request. A refusal that the head
// decides stops the pass there, or, when a malformed request would rather be
// reported as such, reads the rest for well-formedness only.

#include "RequestPass.hpp"

#include <malloc.h>

#include <chrono>
#include <memory>
#include <stdexcept>

#include "AccessLog.hpp"
#include "CallContextWriter.hpp"
#include "UsernameToken.hpp"
#include "kvsoa/SoapEnvelope.hpp"
#include "workinstructions/LoadWorkInstructionDocInput.hpp"
#include "workinstructions/SaveWorkInstructionDocInput.hpp"

namespace Velmora::Schemas::Mes::_2010_09::Workinstructions::serving {

using ::Kavella::Soa::Common::Xml::appendFaultText;
using ::Kavella::Soa::Common::Xml::DomException;
using ::Kavella::Soa::Common::Xml::SoapEnvelopeError;
using ::Kavella::Soa::Common::Xml::SoapEnvelopeHead;
using ::Kavella::Soa::Common::Xml::SoapEnvelopeProblem;
using ::Kavella::Soa::Common::Xml::SoapEnvelopeReader;
using ::Kavella::Soa::Common::Xml::SoapFault;
using ::Kavella::Soa::Common::Xml::SoapFaultCode;
using ::Kavella::Soa::Common::Xml::SoapFaultParts;
using ::Kavella::Soa::Common::Xml::soapFaultHttpStatus;
using ::Kavella::Soa::Common::Xml::writeSoapFault;
using ::Kavella::Soa::Common::Xml::XMLEventHandler;
using ::Kavella::Soa::Common::Xml::XMLEventReader;
using ::Kavella::Soa::Common::Xml::XMLStartTag;

namespace {

// The library's own namespace for what its faults add in their detail.
constexpr char faultDetailNamespace[] = "urn:kvsoamestypes:service";
// The first few mandatory header blocks make the fault.
constexpr std::size_t notUnderstoodNamed = 20;

// The token profile's refusal: Sender with the wsse subcode in SOAP 1.2, the
// wsse code itself as faultcode in SOAP 1.1, which the writer does for a
// Receiver fault only (both are answered 500 in SOAP 1.1).
SoapFault failedAuthentication(SoapVersion version)
{
    SoapFaultParts parts(version == SoapVersion::Soap12 ? SoapFaultCode::Sender : SoapFaultCode::Receiver,
                         "The security token could not be authenticated or authorized");
    parts.subcodes.push_back(std::string("{") + detail::WsseNamespaceUri + "}FailedAuthentication");
    return SoapFault(std::move(parts));
}

// What was wrong and where: the reason says both, the detail gives the place
// as numbers for a program.
ServiceAnswer readFault(SoapVersion version, const DomException& error)
{
    std::string reason = error.getMessage();
    if (error.line() > 0) {
        reason += " (line " + std::to_string(error.line()) + ", column " + std::to_string(error.column()) + ")";
    }
    SoapFaultParts parts(SoapFaultCode::Sender, std::move(reason));
    if (error.line() > 0) {
        parts.detailXml = std::string("<kv:readError xmlns:kv=\"") + faultDetailNamespace + "\" line=\"" +
                          std::to_string(error.line()) + "\" column=\"" + std::to_string(error.column()) + "\">";
        appendFaultText(parts.detailXml, error.getMessage());
        parts.detailXml += "</kv:readError>";
    }
    return faultAnswer(version, SoapFault(std::move(parts)));
}

const char* versionName(SoapVersion version)
{
    return version == SoapVersion::Soap11 ? "a SOAP 1.1 envelope" : version == SoapVersion::Soap12 ? "a SOAP 1.2 envelope"
                                                                                                  : "a bare message";
}

// The handler of the message's events: it decides at the message's start tag
// (or after the read, when there is none) and reads the message when it may.
class Exchange final : public XMLEventHandler {
public:
    Exchange(Service& service, const ServerOptions& options, const MediaType& media, const char* soapAction,
             std::string_view body, CallContext& context, RequestSecurity security)
        : m_service(service), m_options(options), m_media(media), m_body(body), m_context(context),
          m_security(security),
          m_parser(options.readLimits), m_envelope(m_parser, this)
    {
        const bool soap12 = media.carries() == SoapVersion::Soap12;
        m_hasAction = soap12 ? media.action.has_value() : soapAction != nullptr;
        m_action = soap12 ? media.action.value_or("") : unquoted(soapAction ? soapAction : "");
        m_mediaVersion = soap12 ? SoapVersion::Soap12 : SoapVersion::Soap11;
        if (security.tokens.enabled()) m_envelope.understand(detail::WsseNamespaceUri, "Security");
    }

    ServiceAnswer run();

    void startElement(const XMLStartTag& tag) override
    {
        if (m_next == Next::Undecided) decide();
        if (m_message) m_message->startElement(tag);
    }
    void endElement() override
    {
        if (m_message) m_message->endElement();
    }
    void characters(std::string_view text) override
    {
        if (m_message) m_message->characters(text);
    }

private:
    enum class Next { Undecided, Read, Answer, AnswerIfWellFormed };

    void decide();
    bool admitted();
    void settle(Next next, ServiceAnswer answer)
    {
        m_next = next;
        m_answer = std::move(answer);
        if (next == Next::Answer) m_parser.stop();
    }
    // Faults go back in the request's version; a bare request gets SOAP 1.1's.
    SoapVersion faultVersion() const
    {
        const SoapVersion version = m_envelope.head().version;
        return version == SoapVersion::None ? SoapVersion::Soap11 : version;
    }
    ServiceAnswer handled();
    template <class Request, class Reply>
    ServiceAnswer reply(const Request& request, AutoPtr<Reply> (Service::*handler)(const Request&, CallContext&));

    Service& m_service;
    const ServerOptions& m_options;
    const MediaType& m_media;
    std::string_view m_body;
    CallContext& m_context;
    RequestSecurity m_security;
    std::optional<Identity> m_caller;
    bool m_refusedCaller = false;
    bool m_hasAction = false;
    std::string m_action;
    SoapVersion m_mediaVersion = SoapVersion::Soap11;
    XMLEventReader m_parser;
    SoapEnvelopeReader m_envelope;
    Next m_next = Next::Undecided;
    ServiceAnswer m_answer;
    const OperationInfo* m_operation = nullptr;
    AutoPtr<LoadWorkInstructionDocInput> m_load;
    AutoPtr<SaveWorkInstructionDocInput> m_save;
    std::unique_ptr<XMLEventHandler> m_message;
};

void Exchange::decide()
{
    const SoapEnvelopeHead& head = m_envelope.head();
    const SoapEnvelopeProblem* problem = m_envelope.problem();
    // An envelope of no version we know: answered in the version the media type names.
    if (problem && problem->error == SoapEnvelopeError::UnknownNamespace) {
        return settle(Next::AnswerIfWellFormed,
                      faultAnswer(m_mediaVersion, SoapFault(SoapFaultParts(SoapFaultCode::VersionMismatch, problem->message()))));
    }
    const std::optional<SoapVersion> carried = m_media.carries();
    const bool fits = head.version == SoapVersion::None ? carried != SoapVersion::Soap12 : carried == head.version;
    if (!fits) {
        return settle(Next::Answer, mediaFault(faultVersion(), std::string(versionName(head.version)) +
                                                                   " does not come as " + m_media.name +
                                                                   (head.version == SoapVersion::Soap12
                                                                        ? "; SOAP 1.2 comes as application/soap+xml"
                                                                        : "; it comes as text/xml")));
    }
    if (!admitted()) return;
    SoapFaultParts notUnderstood(SoapFaultCode::MustUnderstand, {});
    for (const auto& block : head.headerBlocks) {
        if (!block.mandatory || notUnderstood.notUnderstood.size() == notUnderstoodNamed) continue;
        if (m_envelope.understands(block)) continue;
        if (notUnderstood.notUnderstood.empty()) {
            notUnderstood.reason =
                SoapEnvelopeProblem{SoapEnvelopeError::MustUnderstand, block.at, block.uri, block.name, {}}.message();
        }
        notUnderstood.notUnderstood.push_back("{" + block.uri + "}" + block.name);
    }
    if (!notUnderstood.notUnderstood.empty()) {
        return settle(Next::AnswerIfWellFormed, faultAnswer(faultVersion(), SoapFault(std::move(notUnderstood))));
    }
    m_operation = operationOfRequest(head.uri, head.name);
    if (!m_operation) {
        return settle(Next::AnswerIfWellFormed, senderFault(faultVersion(), "unknown operation: no operation takes {" +
                                                                                head.uri + "}" + head.name));
    }
    if (m_hasAction && m_action != m_operation->action) {
        const OperationInfo* named = operationOfAction(m_action);
        return settle(Next::Answer,
                      senderFault(faultVersion(), named ? std::string("the action names the ") + named->name +
                                                              " operation, but the message is " + head.name + ", the " +
                                                              m_operation->name + " operation's request"
                                                        : "unknown operation: no operation has the action '" +
                                                              m_action + "'"));
    }
    if (!m_hasAction && head.version == SoapVersion::Soap11) {
        return settle(Next::Answer, senderFault(faultVersion(), std::string("no SOAPAction header: the ") +
                                                                    m_operation->name + " operation's is \"" +
                                                                    m_operation->action + "\""));
    }
    m_next = Next::Read;
    if (m_operation->operation == Operation::Load) {
        m_load = new LoadWorkInstructionDocInput;
        m_message = messageReader(*m_load, m_parser, m_envelope);
    } else {
        m_save = new SaveWorkInstructionDocInput;
        m_message = messageReader(*m_save, m_parser, m_envelope);
    }
}

// A caller refused by its token learns nothing else of the request: the
// same fault whatever was wrong, the cause in the log.
bool Exchange::admitted()
{
    if (!m_security.tokens.enabled()) return true;
    TokenVerdict verdict = m_security.tokens.judge(m_envelope.head().headerBlocks, m_security.overTls,
                                                   std::chrono::system_clock::now());
    if (!verdict.identity.name.empty()) m_caller = verdict.identity;
    if (verdict.accepted) {
        if (m_caller) detail::CallContextWriter::setIdentity(m_context, verdict.identity);
        return true;
    }
    logLine(m_options.logPrefix,
            "refused " + (verdict.identity.name.empty() ? std::string("a UsernameToken")
                                                        : "the UsernameToken of user '" + verdict.identity.name + "'") +
                " from " + m_context.peerAddress() + ":" + std::to_string(m_context.peerPort()) + ": " + verdict.cause);
    m_refusedCaller = true;
    ServiceAnswer refusal = faultAnswer(faultVersion(), failedAuthentication(faultVersion()));
    refusal.fault = SoapFaultCode::Sender; // counted as the caller's fault in either version
    settle(Next::Answer, std::move(refusal));
    return false;
}

ServiceAnswer Exchange::run()
{
    try {
        m_parser.read(m_body, m_envelope);
    } catch (const DomException& error) {
        // Before the head, the media type's version is all there is.
        const bool known = m_envelope.headComplete() && m_envelope.head().version != SoapVersion::None;
        const bool bare = m_envelope.headComplete() && !m_envelope.problem() && !known;
        ServiceAnswer answer = readFault(known || bare ? faultVersion() : m_mediaVersion, error);
        if (m_operation) answer.operation = m_operation->name;
        answer.caller = m_caller;
        return answer;
    }
    if (m_next == Next::Undecided) decide();
    ServiceAnswer answer = m_next == Next::Read ? handled() : std::move(m_answer);
    if (m_operation) answer.operation = m_operation->name;
    answer.caller = m_caller;
    answer.refusedCaller = m_refusedCaller;
    return answer;
}

// The reply's text; a request that cannot be read is the client's fault, so
// DomException from here on is the handler's own.
template <class Request, class Reply>
ServiceAnswer Exchange::reply(const Request& request, AutoPtr<Reply> (Service::*handler)(const Request&, CallContext&))
{
    const AutoPtr<Reply> reply = (m_service.*handler)(request, m_context);
    if (!reply) throw std::logic_error("the handler returned no reply");
    ServiceAnswer answer;
    answer.contentType = contentTypeOf(m_envelope.head().version);
    answer.version = m_envelope.head().version;
    answer.text = writeXml(*reply, m_envelope.head().version);
    return answer;
}

ServiceAnswer Exchange::handled()
{
    try {
        m_envelope.raise();
    } catch (const SoapFault& fault) {
        return faultAnswer(faultVersion(), fault);
    } catch (const DomException& error) {
        return readFault(faultVersion(), error);
    }
    const char* const name = m_operation->name;
    detail::CallContextWriter::setEnvelope(m_context, m_envelope.head().version, m_envelope.head().headerBlocks);
    try {
        // The check is the service's own code: what it throws, but a fault, is
        // the service failing, whose text goes to the log, not to the client.
        if (m_options.checkRequest) m_options.checkRequest(m_body, m_envelope.head().version);
        return m_load ? reply(*m_load, &Service::load) : reply(*m_save, &Service::save);
    } catch (const SoapFault& fault) {
        return faultAnswer(faultVersion(), fault);
    } catch (const std::bad_alloc&) {
        throw; // the server answers 503 for memory
    } catch (const std::exception& error) {
        // The text may tell a client what it should not know: it goes to the log only.
        logLine(m_options.logPrefix, std::string(name) + " handler failed: " + error.what());
    } catch (...) {
        logLine(m_options.logPrefix, std::string(name) + " handler failed with an exception that is no std::exception");
    }
    return faultAnswer(faultVersion(), SoapFault(SoapFaultParts(SoapFaultCode::Receiver, "the service failed to answer")));
}

} // namespace

ServiceAnswer faultAnswer(SoapVersion version, const SoapFault& fault)
{
    ServiceAnswer answer;
    answer.status = soapFaultHttpStatus(fault.faultCode(), version);
    answer.contentType = contentTypeOf(version);
    answer.version = version;
    answer.fault = fault.faultCode();
    answer.text = writeSoapFault(fault, version);
    return answer;
}

ServiceAnswer senderFault(SoapVersion version, std::string reason)
{
    return faultAnswer(version, SoapFault(SoapFaultParts(SoapFaultCode::Sender, std::move(reason))));
}

ServiceAnswer mediaFault(SoapVersion version, std::string reason)
{
    ServiceAnswer answer = senderFault(version, std::move(reason));
    answer.status = unsupportedMediaStatus;
    return answer;
}

ServiceAnswer answerRequest(Service& service, const ServerOptions& options, const MediaType& media,
                            const char* soapAction, std::string_view body, CallContext* context,
                            RequestSecurity security)
{
    // The objects of a large request are many small blocks, which the heap
    // keeps once freed: their pages go back when the call is over, not never.
    struct TrimAfterLarge {
        std::size_t size;
        ~TrimAfterLarge()
        {
            if (size >= (1u << 20)) malloc_trim(0);
        }
    } trim{body.size()};
    CallContext unknown({}, 0, {}, {}, {});
    Exchange exchange(service, options, media, soapAction, body, context ? *context : unknown, security);
    return exchange.run();
}

} // namespace Velmora::Schemas::Mes::_2010_09::Workinstructions::serving
