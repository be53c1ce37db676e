#pragma once

// The service description as the server hands it out: the WSDL with the
// listening address put in, and the schemas it imports, each pointing at the
// service for the next.

#include <map>
#include <string>
#include <vector>

namespace Velmora::Schemas::Mes::_2010_09::Workinstructions::serving {

/// A document of the schema directory as it was when the library was built,
/// by file name; empty when there is none such.
std::string embeddedDocument(const std::string& name);

class ServiceDocuments {
public:
    /// The WSDL and the schemas, as built into the library.
    ServiceDocuments();

    /// The documents for a service at base ("http://HOST:PORT/"): "wsdl" and
    /// each schema's file name. Empty when there is no such document.
    std::string document(const std::string& name, const std::string& base) const;

    /// The name asked for by a query string ("wsdl", "xsd=Base.xsd"); empty
    /// when it asks for none.
    static std::string requested(const std::string& query);

private:
    // A document cut where the service's address goes, once at start-up, so
    // that a request only joins the pieces: the text between two addresses
    // is pieces[i], and the address follows each piece but the last.
    struct Template {
        std::vector<std::string> pieces;
        std::size_t length = 0; // of all pieces
    };
    std::map<std::string, Template, std::less<>> m_templates; // "wsdl" or file name
};

} // namespace Velmora::Schemas::Mes::_2010_09::Workinstructions::serving
