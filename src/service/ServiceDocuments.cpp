#include "ServiceDocuments.hpp"

#include <string_view>
#include <stdexcept>

namespace Velmora::Schemas::Mes::_2010_09::Workinstructions::serving {

namespace {

const char* const wsdlFile = "WorkInstructionsService.wsdl";
const char* const schemaFiles[] = {"WorkInstructions.xsd", "Base.xsd"};

// Where the address goes: each port's location attribute, and each import's
// schemaLocation, which names a file beside the importer and becomes a query
// on the service. Returns the text with a NUL, which no XML holds, where the
// address goes.
std::string markAddresses(std::string text)
{
    // No std::regex: its instantiations would be exported from the library.
    for (const std::string_view start : {"<soap:address", "<soap12:address"}) {
        for (std::size_t at = text.find(start); at != std::string::npos; at = text.find(start, at + 1)) {
            std::size_t value = text.find_first_not_of(" \t\r\n", at + start.size());
            if (value == at + start.size() || text.compare(value, 10, "location=\"") != 0) continue;
            value += 10;
            const std::size_t end = text.find('"', value);
            if (end == std::string::npos) break;
            text.replace(value, end - value, 1, '\0');
        }
    }
    for (const char* file : schemaFiles) {
        const std::string from = std::string("schemaLocation=\"") + file + "\"";
        const std::string to = std::string("schemaLocation=\"") + '\0' + "?xsd=" + file + "\"";
        for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
            text.replace(at, from.size(), to);
        }
    }
    return text;
}

} // namespace

ServiceDocuments::ServiceDocuments()
{
    std::map<std::string, std::string> originals{{"wsdl", embeddedDocument(wsdlFile)}};
    for (const char* file : schemaFiles) originals[file] = embeddedDocument(file);
    for (const auto& [name, original] : originals) {
        const std::string marked = markAddresses(original);
        Template& cut = m_templates[name];
        for (std::size_t start = 0;;) {
            const std::size_t mark = marked.find('\0', start);
            cut.pieces.push_back(marked.substr(start, mark - start));
            cut.length += cut.pieces.back().size();
            if (mark == std::string::npos) break;
            start = mark + 1;
        }
    }
}

std::string ServiceDocuments::document(const std::string& name, const std::string& base) const
{
    const auto found = m_templates.find(name);
    if (found == m_templates.end()) return {};
    const Template& cut = found->second;
    std::string text;
    text.reserve(cut.length + (cut.pieces.size() - 1) * base.size());
    for (std::size_t i = 0; i < cut.pieces.size(); ++i) {
        if (i != 0) text += base;
        text += cut.pieces[i];
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

} // namespace Velmora::Schemas::Mes::_2010_09::Workinstructions::serving
