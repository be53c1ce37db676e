#pragma once

// What `wixml serve` answers to one request, apart from HTTP itself: which
// operation it asks for, whether it can be read, and the reply or the fault.

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "ServiceDocuments.hpp"
#include "ServeReplies.hpp"

namespace Velmora::Schemas::Mes::_2010_09::Workinstructions::serving {

class SchemaValidator;

struct ServiceRequest {
    std::string method;
    std::string query;       // after '?', without it
    std::string host;        // the Host header, for a wildcard listening address
    const char* contentType = nullptr; // null when absent, as the headers below
    const char* soapAction = nullptr;
    std::string_view body;
};

struct ServiceAnswer {
    int status = 200;
    const char* contentType = "text/xml; charset=utf-8";
    const std::string* prepared = nullptr; // lives as long as the service
    std::string text;                      // when nothing prepared fits
    std::string operation = "-";           // for the access log
    bool allowHeader = false;              // 405: name the methods there are

    const std::string& body() const { return prepared ? *prepared : text; }
};

struct ServiceSetup {
    std::string repliesDirectory;
    std::string schemaDirectory;
    bool strict = false;
    wi::XMLReadLimits limits;
};

class Service {
public:
    /// Prepares every answer; throws std::runtime_error naming what is missing or wrong.
    explicit Service(const ServiceSetup& setup);
    ~Service();
    Service(const Service&) = delete;
    Service& operator=(const Service&) = delete;

    /// Where clients reach the service, "http://HOST:PORT/"; a wildcard host
    /// leaves the address of each WSDL to the request's Host header.
    void setAddress(const std::string& host, unsigned port);

    /// Safe to call from several threads at once.
    ServiceAnswer answer(const ServiceRequest& request) const;

private:
    ServiceAnswer post(const ServiceRequest& request) const;
    ServiceAnswer get(const ServiceRequest& request) const;
    // Under --strict: the fault for a request that breaks the schema; none (empty text) for one that keeps it.
    ServiceAnswer validated(SoapVersion faultVersion, std::string_view body) const;

    wi::XMLReadLimits m_limits;
    std::vector<PreparedAnswer> m_answers;
    std::unique_ptr<SchemaValidator> m_validator;
    ServiceDocuments m_documents;
    std::string m_base;     // empty for a wildcard host
    unsigned m_port = 0;
    std::string m_wsdl;     // prepared for m_base
};

/// The fault for an error inside the server itself (Server in SOAP 1.1's words).
std::string internalErrorFault(const std::string& reason);

} // namespace Velmora::Schemas::Mes::_2010_09::Workinstructions::serving
