#include "Dispatch.hpp"

#include <cctype>
#include <stdexcept>

#include "AccessLog.hpp"
#include "RequestPass.hpp"

namespace Velmora::Schemas::Mes::_2010_09::Workinstructions::serving {

using ::Kavella::Soa::Common::Xml::SoapFault;
using ::Kavella::Soa::Common::Xml::SoapFaultCode;
using ::Kavella::Soa::Common::Xml::SoapFaultParts;
using ::Kavella::Soa::Common::Xml::writeSoapFault;

namespace {

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
    : m_service(service), m_options(options), m_tokens(std::make_unique<TokenJudge>(options.usernameTokens))
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
    if (!media.carries()) {
        return mediaFault(SoapVersion::Soap11, "Content-Type '" + media.name +
                                                   "': SOAP 1.1 comes as text/xml, SOAP 1.2 as application/soap+xml");
    }
    return answerRequest(m_service, m_options, media, request.soapAction, request.body, request.context,
                         RequestSecurity{*m_tokens, !m_options.tlsCertificate.empty()});
}

std::string internalErrorFault(const std::string& reason)
{
    return writeSoapFault(SoapFault(SoapFaultParts(SoapFaultCode::Receiver, reason)), SoapVersion::Soap11);
}

} // namespace Velmora::Schemas::Mes::_2010_09::Workinstructions::serving
