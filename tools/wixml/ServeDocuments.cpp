#include "ServeDocuments.hpp"

#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <stdexcept>

namespace wixml {

namespace {

const char* const wsdlFile = "WorkInstructionsService.wsdl";
const char* const schemaFiles[] = {"WorkInstructions.xsd", "Base.xsd"};

std::string readFile(const std::filesystem::path& file)
{
    std::ifstream in(file, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    if (!in) throw std::runtime_error("cannot read " + file.string());
    return content.str();
}

} // namespace

ServiceDocuments::ServiceDocuments(const std::string& schemaDirectory)
{
    const std::filesystem::path directory(schemaDirectory);
    m_originals["wsdl"] = readFile(directory / wsdlFile);
    for (const char* file : schemaFiles) m_originals[file] = readFile(directory / file);
}

std::string ServiceDocuments::document(const std::string& name, const std::string& base) const
{
    const auto found = m_originals.find(name);
    if (found == m_originals.end()) return {};
    std::string text = found->second;
    // Both ports, SOAP 1.1 and 1.2, are at the one address served.
    const std::regex address(R"((<soap(?:12)?:address\s+location=")[^"]*")");
    text = std::regex_replace(text, address, "$1" + base + "\"");
    // Imports name files beside the importer; here each is a query on the service.
    for (const char* file : schemaFiles) {
        const std::string from = std::string("schemaLocation=\"") + file + "\"";
        const std::string to = "schemaLocation=\"" + base + "?xsd=" + file + "\"";
        for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
            text.replace(at, from.size(), to);
        }
    }
    return text;
}

std::string ServiceDocuments::requested(const std::string& query)
{
    // Toolkits ask "?wsdl", "?WSDL" or "?wsdl=1"; "?xsd=NAME" names a schema.
    std::string lower;
    for (const char c : query) lower += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    if (lower == "wsdl" || lower.rfind("wsdl=", 0) == 0) return "wsdl";
    if (lower.rfind("xsd=", 0) == 0) return query.substr(4);
    return {};
}

} // namespace wixml
