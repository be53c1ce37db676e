#pragma once

// What the server answers to one request, apart from HTTP itself: which
// operation it asks for, whether it can be read, the handler's reply or fault,
// the service description, the health check.

#include <atomic>
#include <optional>
#include <string>
#include <string_view>

#include "SoapBinding.hpp"
#include "ServiceDocuments.hpp"
#include "TokenJudge.hpp"
#include "workinstructions/Server.hpp"

namespace Velmora::Schemas::Mes::_2010_09::Workinstructions::serving {

struct ServiceRequest {
    std::string method;
    std::string path;
    std::string query;       // after '?', without it
    std::string host;        // the Host header, for a wildcard listening address
    const char* contentType = nullptr; // null when absent, as the headers below
    const char* soapAction = nullptr;
    std::string_view body;
    CallContext* context = nullptr; // for the handler
};

struct ServiceAnswer {
    int status = 200;
    const char* contentType = "text/xml; charset=utf-8";
    const std::string* prepared = nullptr; // lives as long as the dispatcher
    std::string text;                      // when nothing prepared fits
    std::string operation = "-";           // for the access log
    std::optional<SoapVersion> version;    // of a SOAP answer, for the log and metrics
    std::optional<::Kavella::Soa::Common::Xml::SoapFaultCode> fault;
    bool allowHeader = false;              // 405: name the methods there are
    const char* challenge = nullptr;       // 401: WWW-Authenticate
    std::optional<Identity> caller;        // proven, or claimed when refused, by a UsernameToken
    bool refusedCaller = false;            // a UsernameToken refused, for the metrics

    const std::string& body() const { return prepared ? *prepared : text; }
};

/// A short text answer: a refusal of the HTTP layer, or the health check's.
ServiceAnswer plainAnswer(int status, std::string text);

class Dispatcher {
public:
    Dispatcher(Service& service, const ServerOptions& options);

    /// Where clients reach the service, "http://HOST:PORT/" (https with TLS); a wildcard host
    /// leaves the address of each WSDL to the request's Host header.
    void setAddress(const std::string& host, unsigned port);

    /// Safe to call from several threads at once. draining: the server stops.
    ServiceAnswer answer(const ServiceRequest& request, bool draining) const;

private:
    ServiceAnswer post(const ServiceRequest& request) const;
    ServiceAnswer get(const ServiceRequest& request, bool draining) const;
    std::string scheme() const; // of the addresses in the WSDL

    Service& m_service;
    const ServerOptions& m_options;
    ServiceDocuments m_documents;
    std::unique_ptr<TokenJudge> m_tokens; // its nonces are the server's, shared by its threads
    std::string m_base;     // empty for a wildcard host
    unsigned m_port = 0;
    std::string m_wsdl;     // prepared for m_base
};

/// The fault for an error inside the server itself (Server in SOAP 1.1's words).
std::string internalErrorFault(const std::string& reason);

} // namespace Velmora::Schemas::Mes::_2010_09::Workinstructions::serving
