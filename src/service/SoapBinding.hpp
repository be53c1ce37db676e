#pragma once

// SOAP over HTTP as this service binds it, for client and server alike: the
// operations with their elements and actions, the media types and their
// parameters, the HTTP status of a fault, and the few HTTP text rules needed.

#include <optional>
#include <string>
#include <string_view>

#include "kvsoa/Soap.hpp"
#include "workinstructions/SchemaObject.hpp"

namespace Velmora::Schemas::Mes::_2010_09::Workinstructions::serving {

using ::Kavella::Soa::Common::Xml::SoapVersion;

enum class Operation { Load, Save };

struct OperationInfo {
    Operation operation;
    const char* name;           // as the WSDL names it
    const char* requestElement; // in the schema namespace
    const char* replyElement;
    const char* action;         // soapAction in both bindings
};

const OperationInfo& operationInfo(Operation operation);
/// The operation whose request is the element {uri}name; null for none.
const OperationInfo* operationOfRequest(std::string_view uri, std::string_view name);
/// The operation with that action; null for none.
const OperationInfo* operationOfAction(std::string_view action);

/// A Content-Type header, read as RFC 9110 writes it: type/subtype; name=value; name="value".
struct MediaType {
    std::string name; // type/subtype, lower case
    std::optional<std::string> action; // SOAP 1.2's action parameter, unquoted

    /// The envelope this media type carries: Soap11 for text/xml, Soap12 for
    /// application/soap+xml, None for application/xml; nullopt for any other.
    std::optional<SoapVersion> carries() const;
    /// XML of any kind, an error page's included.
    bool isXml() const;
};
MediaType parseMediaType(std::string_view header);

/// The Content-Type of a message in that version (None: a bare message, as text/xml).
const char* contentTypeOf(SoapVersion version);
/// The same for a request of the operation with that action: SOAP 1.2 names it
/// in the media type, SOAP 1.1 in a SOAPAction header of its own.
std::string requestContentType(SoapVersion version, std::string_view action);
/// The status of a request in a media type the service does not take.
constexpr int unsupportedMediaStatus = 415;

/// RFC 9110's token: what a header name or a media type's parts are made of.
bool isToken(std::string_view text);
/// Without the spaces and tabs around it.
std::string_view trimmed(std::string_view text);
/// Without the quotes around a quoted string.
std::string unquoted(std::string_view text);
/// In ASCII lower case, as HTTP compares names.
std::string lowered(std::string_view text);
/// Equal in ASCII, letters in either case.
bool sameIgnoringCase(std::string_view a, std::string_view b);

/// The cores this process may run on (taskset, cgroups' cpusets), not all the machine's.
unsigned usableCores();

} // namespace Velmora::Schemas::Mes::_2010_09::Workinstructions::serving
