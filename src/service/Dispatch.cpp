#include "Dispatch.hpp"

#include <malloc.h>

#include <cctype>
#include <stdexcept>

#include "AccessLog.hpp"
#include "workinstructions/LoadWorkInstructionDocInput.hpp"
#include "workinstructions/SaveWorkInstructionDocInput.hpp"

namespace Velmora::Schemas::Mes::_2010_09::Workinstructions::serving {

using ::Kavella::Soa::Common::Xml::appendFaultText;
using ::Kavella::Soa::Common::Xml::DomException;
using ::Kavella::Soa::Common::Xml::SoapFault;
using ::Kavella::Soa::Common::Xml::SoapFaultCode;
using ::Kavella::Soa::Common::Xml::SoapFaultParts;
using ::Kavella::Soa::Common::Xml::soapFaultHttpStatus;
using ::Kavella::Soa::Common::Xml::writeSoapFault;

namespace {

enum class Transport { Text, Soap12, Plain, Other };

struct MediaType {
    Transport transport = Transport::Other;
    std::string name;
    bool hasAction = false;
    std::string action;
};

std::string trimmed(std::string_view text)
{
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) return {};
    const auto last = text.find_last_not_of(" \t");
    return std::string(text.substr(first, last - first + 1));
}

std::string unquoted(std::string text)
{
    text = trimmed(text);
    if (text.size() >= 2 && text.front() == '"' && text.back() == '"') text = text.substr(1, text.size() - 2);
    return text;
}

std::string lowered(std::string text)
{
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// type/subtype; name=value; name="value" -- only action matters here.
MediaType parseMediaType(std::string_view header)
{
    MediaType media;
    std::size_t end = header.find(';');
    media.name = lowered(trimmed(header.substr(0, end)));
    while (end != std::string_view::npos) {
        const std::size_t start = end + 1;
        end = header.find(';', start);
        const std::string parameter = trimmed(header.substr(start, end == std::string_view::npos ? end : end - start));
        const auto equals = parameter.find('=');
        if (equals != std::string::npos && lowered(trimmed(parameter.substr(0, equals))) == "action") {
            media.hasAction = true;
            media.action = unquoted(parameter.substr(equals + 1));
        }
    }
    if (media.name == "text/xml") media.transport = Transport::Text;
    if (media.name == "application/soap+xml") media.transport = Transport::Soap12;
    if (media.name == "application/xml") media.transport = Transport::Plain;
    return media;
}

// Where the request could not be read, as the detail of a fault.
std::string placeMarkup(const DomException& error)
{
    std::string markup = "<wixml:error xmlns:wixml=\"urn:wixml:serve\" line=\"" + std::to_string(error.line()) +
                         "\" column=\"" + std::to_string(error.column()) + "\">";
    appendFaultText(markup, error.getMessage());
    return markup + "</wixml:error>";
}

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

ServiceAnswer faultAnswer(SoapVersion version, SoapFaultParts parts)
{
    return faultAnswer(version, SoapFault(std::move(parts)));
}

// The request is at fault: SOAP 1.1's Client, SOAP 1.2's Sender.
ServiceAnswer senderFault(SoapVersion version, std::string reason)
{
    return faultAnswer(version, SoapFaultParts(SoapFaultCode::Sender, std::move(reason)));
}

ServiceAnswer mediaFault(SoapVersion version, std::string reason)
{
    ServiceAnswer answer = senderFault(version, std::move(reason));
    answer.status = 415;
    return answer;
}

ServiceAnswer readFault(SoapVersion version, const DomException& error)
{
    SoapFaultParts parts(SoapFaultCode::Sender, error.getMessage());
    parts.detailXml = placeMarkup(error);
    return faultAnswer(version, std::move(parts));
}

const char* versionName(SoapVersion version)
{
    return version == SoapVersion::Soap11 ? "a SOAP 1.1 envelope" : version == SoapVersion::Soap12 ? "a SOAP 1.2 envelope"
                                                                                                  : "a bare message";
}

// Host headers go into the WSDL: only what a host and port are made of.
bool plausibleHost(const std::string& host)
{
    if (host.empty() || host.size() > 255) return false;
    for (const char c : host) {
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '.' && c != '-' && c != ':' && c != '[' && c != ']') {
            return false;
        }
    }
    return true;
}

} // namespace

ServiceAnswer plainAnswer(int status, std::string text)
{
    ServiceAnswer answer;
    answer.status = status;
    answer.contentType = "text/plain; charset=utf-8";
    answer.text = std::move(text) + "\n";
    return answer;
}

Dispatcher::Dispatcher(Service& service, const ServerOptions& options)
    : m_service(service), m_options(options)
{
}

void Dispatcher::setAddress(const std::string& host, unsigned port)
{
    m_port = port;
    m_base.clear();
    m_wsdl.clear();
    if (host == "0.0.0.0" || host == "::" || host == "[::]") return;
    const bool literal6 = host.find(':') != std::string::npos && host.front() != '[';
    m_base = scheme() + (literal6 ? "[" + host + "]" : host) + ":" + std::to_string(port) + "/";
    m_wsdl = m_documents.document("wsdl", m_base);
}

std::string Dispatcher::scheme() const
{
    return m_options.tlsCertificate.empty() ? "http://" : "https://";
}

ServiceAnswer Dispatcher::answer(const ServiceRequest& request, bool draining) const
{
    if (request.method == "POST") return post(request);
    if (request.method == "GET" || request.method == "HEAD") return get(request, draining);
    ServiceAnswer answer = plainAnswer(405, "the service takes POST for requests and GET for ?wsdl");
    answer.allowHeader = true;
    return answer;
}

ServiceAnswer Dispatcher::get(const ServiceRequest& request, bool draining) const
{
    // For load balancers: a server that stops takes no more work.
    if (request.path == "/health" && request.query.empty()) {
        ServiceAnswer answer = draining ? plainAnswer(503, "stopping") : plainAnswer(200, "serving");
        answer.operation = "health";
        return answer;
    }
    const std::string name = ServiceDocuments::requested(request.query);
    if (name.empty()) return plainAnswer(404, "nothing here: POST requests, or GET ?wsdl for the service description");
    std::string base = m_base;
    if (base.empty()) {
        base = scheme() + (plausibleHost(request.host) ? request.host : "localhost:" + std::to_string(m_port)) + "/";
    }
    ServiceAnswer answer;
    answer.operation = name == "wsdl" ? "wsdl" : "xsd";
    if (name == "wsdl" && base == m_base) {
        answer.prepared = &m_wsdl;
    } else {
        answer.text = m_documents.document(name, base);
        if (answer.text.empty()) return plainAnswer(404, "no document is called '" + name + "'");
    }
    return answer;
}

ServiceAnswer Dispatcher::post(const ServiceRequest& request) const
{
    if (!request.contentType) {
        return mediaFault(SoapVersion::Soap11, "no Content-Type: SOAP 1.1 comes as text/xml, SOAP 1.2 as "
                                               "application/soap+xml");
    }
    const MediaType media = parseMediaType(request.contentType);
    if (media.transport == Transport::Other) {
        return mediaFault(SoapVersion::Soap11, "Content-Type '" + media.name +
                                                   "': SOAP 1.1 comes as text/xml, SOAP 1.2 as application/soap+xml");
    }
    bool hasAction = media.transport == Transport::Soap12 ? media.hasAction : request.soapAction != nullptr;
    const std::string action =
        media.transport == Transport::Soap12 ? media.action : unquoted(request.soapAction ? request.soapAction : "");

    SoapVersion version = media.transport == Transport::Soap12 ? SoapVersion::Soap12 : SoapVersion::Soap11;
    RequestHead head;
    try {
        head = peekRequest(request.body, m_options.readLimits);
    } catch (const DomException& error) {
        return readFault(version, error);
    }
    // Refusals that need no more than the head: a malformed request is
    // reported as such first, wherever the fault lies.
    const auto malformed = [&](SoapVersion faultVersion, ServiceAnswer&& otherwise) {
        try {
            peekRequest(request.body, m_options.readLimits, true);
        } catch (const DomException& error) {
            return readFault(faultVersion, error);
        }
        return std::move(otherwise);
    };
    // An envelope of no version we know: answered in the version the media type names.
    if (head.unknownEnvelope) {
        return malformed(version, faultAnswer(version, {SoapFaultCode::VersionMismatch, head.unknownEnvelopeReason}));
    }
    // Faults go back in the request's version; a bare request gets SOAP 1.1's.
    const SoapVersion faultVersion = head.envelope == SoapVersion::None ? SoapVersion::Soap11 : head.envelope;
    const bool fits = head.envelope == SoapVersion::Soap11   ? media.transport == Transport::Text
                      : head.envelope == SoapVersion::Soap12 ? media.transport == Transport::Soap12
                                                             : media.transport != Transport::Soap12;
    if (!fits) {
        return mediaFault(faultVersion, std::string(versionName(head.envelope)) + " does not come as " + media.name +
                                            (head.envelope == SoapVersion::Soap12
                                                 ? "; SOAP 1.2 comes as application/soap+xml"
                                                 : "; it comes as text/xml"));
    }
    if (!head.notUnderstood.empty()) {
        SoapFaultParts parts(SoapFaultCode::MustUnderstand, head.notUnderstoodReason);
        parts.notUnderstood = head.notUnderstood;
        return malformed(faultVersion, faultAnswer(faultVersion, std::move(parts)));
    }

    int found = -1;
    for (int i = 0; i < operationCount; ++i) {
        if (head.uri == NamespaceUri && head.name == operationInfo(static_cast<Operation>(i)).requestClass) found = i;
    }
    if (found < 0) {
        return malformed(faultVersion,
                         senderFault(faultVersion, "unknown operation: no operation takes {" + head.uri + "}" + head.name));
    }
    const OperationInfo& operation = operationInfo(static_cast<Operation>(found));
    ServiceAnswer answer;
    if (hasAction && action != operation.action) {
        std::string named;
        for (int i = 0; i < operationCount; ++i) {
            if (action == operationInfo(static_cast<Operation>(i)).action) named = operationInfo(static_cast<Operation>(i)).name;
        }
        answer = senderFault(faultVersion, named.empty()
                                                ? "unknown operation: no operation has the action '" + action + "'"
                                                : "the action names the " + named + " operation, but the message is " +
                                                      head.name + ", the " + operation.name + " operation's request");
    } else if (!hasAction && head.envelope == SoapVersion::Soap11) {
        answer = senderFault(faultVersion, std::string("no SOAPAction header: the ") + operation.name +
                                                " operation's is \"" + operation.action + "\"");
    } else {
        answer = call(found, head.envelope, request.body, request.context);
    }
    answer.operation = operation.name;
    return answer;
}

namespace {

struct Call {
    Service& service;
    const ServerOptions& options;
    SoapVersion version;
    std::string_view body;
    CallContext& context;
};

// The reply's text; a request that cannot be read is the client's fault, so
// DomException from here on is the handler's own.
template <class Request, class Reply>
ServiceAnswer handled(const Call& call, AutoPtr<Reply> (Service::*handler)(const Request&, CallContext&))
{
    const SoapVersion faultVersion = call.version == SoapVersion::None ? SoapVersion::Soap11 : call.version;
    const auto envelope = static_cast<Envelope>(call.version);
    AutoPtr<Request> request;
    try {
        request = readXml<Request>(call.body, call.options.readLimits);
    } catch (const DomException& error) {
        return readFault(faultVersion, error);
    }
    // The check is the service's own code: what it throws, but a fault, is the
    // service failing, whose text goes to the log and not to the client.
    if (call.options.checkRequest) call.options.checkRequest(call.body, envelope);
    const AutoPtr<Reply> reply = (call.service.*handler)(*request, call.context);
    if (!reply) throw std::logic_error("the handler returned no reply");
    ServiceAnswer answer;
    answer.contentType = contentTypeOf(call.version);
    answer.version = call.version;
    answer.text = writeXml(*reply, envelope);
    return answer;
}

} // namespace

ServiceAnswer Dispatcher::call(int operation, SoapVersion version, std::string_view body, CallContext* context) const
{
    // A bare request gets a bare reply, and a SOAP 1.1 fault.
    const SoapVersion faultVersion = version == SoapVersion::None ? SoapVersion::Soap11 : version;
    CallContext unknown({}, 0, {}, {}, {});
    const Call request{m_service, m_options, version, body, context ? *context : unknown};
    // The trees of a large request are many small blocks, which the heap keeps
    // once freed: their pages go back when the call is over, not never.
    struct TrimAfterLarge {
        std::size_t size;
        ~TrimAfterLarge()
        {
            if (size >= (1u << 20)) malloc_trim(0);
        }
    } trim{body.size()};
    try {
        return static_cast<Operation>(operation) == Operation::Load ? handled(request, &Service::load)
                                                                     : handled(request, &Service::save);
    } catch (const SoapFault& fault) {
        return faultAnswer(faultVersion, fault);
    } catch (const std::bad_alloc&) {
        throw; // the server answers 503 for memory
    } catch (const std::exception& error) {
        // The text may tell a client what it should not know: it goes to the log only.
        logLine(m_options.logPrefix,
                std::string(operationInfo(static_cast<Operation>(operation)).name) + " handler failed: " + error.what());
    } catch (...) {
        logLine(m_options.logPrefix, std::string(operationInfo(static_cast<Operation>(operation)).name) +
                                         " handler failed with an exception that is no std::exception");
    }
    return faultAnswer(faultVersion, SoapFaultParts(SoapFaultCode::Receiver, "the service failed to answer"));
}

std::string internalErrorFault(const std::string& reason)
{
    return writeSoapFault(SoapFault(SoapFaultParts(SoapFaultCode::Receiver, reason)), SoapVersion::Soap11);
}

} // namespace Velmora::Schemas::Mes::_2010_09::Workinstructions::serving
