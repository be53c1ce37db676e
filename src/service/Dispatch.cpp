#include "Dispatch.hpp"

#include <algorithm>
#include <cctype>
#include <malloc.h>
#include <stdexcept>

#include "SchemaCheck.hpp"
#include "kvsoa/XMLDocument.hpp"

namespace Velmora::Schemas::Mes::_2010_09::Workinstructions::serving {

using ::Kavella::Soa::Common::Xml::appendFaultText;
using ::Kavella::Soa::Common::Xml::DomException;
using ::Kavella::Soa::Common::Xml::messageNode;
using ::Kavella::Soa::Common::Xml::SoapFault;
using ::Kavella::Soa::Common::Xml::SoapFaultCode;
using ::Kavella::Soa::Common::Xml::SoapFaultParts;
using ::Kavella::Soa::Common::Xml::soapFaultHttpStatus;
using ::Kavella::Soa::Common::Xml::writeSoapFault;
using ::Kavella::Soa::Common::Xml::XMLDocument;

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

// Places in the request, as the detail of a fault.
struct FaultPlace {
    int line = 0;
    int column = 0;
    std::string message;
};

// The detail stays under this many bytes whatever the request, so that a
// fault answer stays under 64 KiB: entries that do not fit are counted.
constexpr std::size_t maxDetailBytes = 48 << 10;
constexpr std::size_t placesShown = 20;
constexpr std::size_t largeMessageBytes = 1 << 20;

// <wixml:error line column>message</wixml:error> per place, then
// <wixml:more count="N"/> for those not shown.
std::string placesMarkup(const std::vector<FaultPlace>& places, std::size_t total)
{
    std::string markup;
    std::size_t shown = 0;
    std::string entry;
    for (const FaultPlace& place : places) {
        if (shown == placesShown) break;
        entry = "<wixml:error xmlns:wixml=\"urn:wixml:serve\" line=\"" + std::to_string(place.line) + "\" column=\"" +
                std::to_string(place.column) + "\">";
        appendFaultText(entry, place.message);
        entry += "</wixml:error>";
        if (markup.size() + entry.size() > maxDetailBytes) break;
        markup += entry;
        ++shown;
    }
    if (total > shown) {
        markup += "<wixml:more xmlns:wixml=\"urn:wixml:serve\" count=\"" + std::to_string(total - shown) + "\"/>";
    }
    return markup;
}

ServiceAnswer faultAnswer(SoapVersion version, SoapFaultParts parts, const std::vector<FaultPlace>& places = {},
                          std::size_t total = 0)
{
    if (!places.empty()) parts.detailXml = placesMarkup(places, std::max(total, places.size()));
    ServiceAnswer answer;
    answer.status = soapFaultHttpStatus(parts.code, version);
    answer.contentType = contentTypeOf(version);
    answer.text = writeSoapFault(SoapFault(std::move(parts)), version);
    return answer;
}

// The request is at fault: SOAP 1.1's Client, SOAP 1.2's Sender.
ServiceAnswer senderFault(SoapVersion version, std::string reason)
{
    return faultAnswer(version, {SoapFaultCode::Sender, std::move(reason)});
}

ServiceAnswer mediaFault(SoapVersion version, std::string reason)
{
    ServiceAnswer answer = senderFault(version, std::move(reason));
    answer.status = 415;
    return answer;
}

ServiceAnswer readFault(SoapVersion version, const DomException& error)
{
    return faultAnswer(version, {SoapFaultCode::Sender, error.getMessage()},
                       {{error.line(), error.column(), error.getMessage()}});
}

ServiceAnswer plainAnswer(int status, std::string text)
{
    ServiceAnswer answer;
    answer.status = status;
    answer.contentType = "text/plain; charset=utf-8";
    answer.text = std::move(text) + "\n";
    return answer;
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

Service::Service(const ServiceSetup& setup)
    : m_limits(setup.limits), m_answers(prepareAnswers(setup.repliesDirectory, findBundledReplies())), m_documents(setup.schemaDirectory)
{
    if (setup.strict) m_validator = std::make_unique<SchemaValidator>(setup.schemaDirectory);
}

Service::~Service() = default;

void Service::setAddress(const std::string& host, unsigned port)
{
    m_port = port;
    m_base.clear();
    m_wsdl.clear();
    if (host == "0.0.0.0" || host == "::" || host == "[::]") return;
    const bool literal6 = host.find(':') != std::string::npos && host.front() != '[';
    m_base = "http://" + (literal6 ? "[" + host + "]" : host) + ":" + std::to_string(port) + "/";
    m_wsdl = m_documents.document("wsdl", m_base);
}

ServiceAnswer Service::answer(const ServiceRequest& request) const
{
    if (request.method == "POST") return post(request);
    if (request.method == "GET" || request.method == "HEAD") return get(request);
    ServiceAnswer answer = plainAnswer(405, "wixml serve takes POST for requests and GET for ?wsdl");
    answer.allowHeader = true;
    return answer;
}

ServiceAnswer Service::get(const ServiceRequest& request) const
{
    const std::string name = ServiceDocuments::requested(request.query);
    if (name.empty()) return plainAnswer(404, "nothing here: POST requests, or GET ?wsdl for the service description");
    std::string base = m_base;
    if (base.empty()) {
        base = "http://" + (plausibleHost(request.host) ? request.host : "localhost:" + std::to_string(m_port)) + "/";
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

ServiceAnswer Service::validated(SoapVersion faultVersion, std::string_view body) const
{
    SchemaValidator::Verdict verdict;
    {
        const XMLDocument document(body, m_limits);
        verdict = m_validator->validate(body, document.root(), messageNode(document.root()), placesShown);
    }
    // Both trees of a large message are many small blocks, which the heap
    // keeps once freed: give their pages back now, not never.
    if (body.size() >= largeMessageBytes) malloc_trim(0);
    if (verdict.count == 0) return {};
    // The reason counts and names the first; the detail lists the first few.
    const Violation& first = verdict.first.front();
    std::string reason = "the request breaks the schema in " + std::to_string(verdict.count) +
                         (verdict.count == 1 ? " place" : " places") + ", first at line " + std::to_string(first.line) +
                         ", column " + std::to_string(first.column) + ": " + first.message;
    std::vector<FaultPlace> places;
    for (const Violation& violation : verdict.first) {
        places.push_back({violation.line, violation.column, violation.message});
    }
    return faultAnswer(faultVersion, {SoapFaultCode::Sender, std::move(reason)}, places, verdict.count);
}

ServiceAnswer Service::post(const ServiceRequest& request) const
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
    MessageHead head;
    try {
        head = peekMessage(request.body, m_limits);
    } catch (const DomException& error) {
        return readFault(version, error);
    }
    // Refusals that need no more than the head: a malformed request is
    // reported as such first, wherever the fault lies.
    const auto malformed = [&](SoapVersion faultVersion, ServiceAnswer&& otherwise) {
        try {
            peekMessage(request.body, m_limits, true);
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
        if (head.uri == wi::NamespaceUri && head.name == operationInfo(static_cast<Operation>(i)).requestClass) found = i;
    }
    if (found < 0) {
        return malformed(faultVersion,
                         senderFault(faultVersion, "unknown operation: no operation takes {" + head.uri + "}" + head.name));
    }
    const OperationInfo& operation = operationInfo(static_cast<Operation>(found));
    ServiceAnswer refused;
    refused.operation = operation.name;
    if (hasAction && action != operation.action) {
        std::string named;
        for (int i = 0; i < operationCount; ++i) {
            if (action == operationInfo(static_cast<Operation>(i)).action) named = operationInfo(static_cast<Operation>(i)).name;
        }
        refused = senderFault(faultVersion, named.empty()
                                                ? "unknown operation: no operation has the action '" + action + "'"
                                                : "the action names the " + named + " operation, but the message is " +
                                                      head.name + ", the " + operation.name + " operation's request");
    } else if (!hasAction && head.envelope == SoapVersion::Soap11) {
        refused = senderFault(faultVersion, std::string("no SOAPAction header: the ") + operation.name +
                                                " operation's is \"" + operation.action + "\"");
    } else {
        try {
            findSchemaClass(operation.requestClass)->read(request.body, m_limits);
            if (m_validator) refused = validated(faultVersion, request.body);
        } catch (const DomException& error) {
            refused = readFault(faultVersion, error);
        }
    }
    if (!refused.text.empty()) {
        refused.operation = operation.name;
        return refused;
    }
    const PreparedAnswer& prepared = m_answers[static_cast<std::size_t>(found)];
    ServiceAnswer answer;
    answer.operation = operation.name;
    answer.status = prepared.status[static_cast<int>(head.envelope)];
    answer.contentType = contentTypeOf(head.envelope);
    answer.prepared = &prepared.text[static_cast<int>(head.envelope)];
    return answer;
}

std::string internalErrorFault(const std::string& reason)
{
    return writeSoapFault(SoapFault(SoapFaultParts(SoapFaultCode::Receiver, reason)), SoapVersion::Soap11);
}

} // namespace Velmora::Schemas::Mes::_2010_09::Workinstructions::serving
