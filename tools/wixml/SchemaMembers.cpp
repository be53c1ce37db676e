#include "SchemaMembers.hpp"

#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "kvsoa/XMLDocument.hpp"

namespace wixml {

namespace {

using ::Kavella::Soa::Common::Xml::XMLDocument;
using ::Kavella::Soa::Common::Xml::XMLNode;

constexpr std::string_view xsd = "http://www.w3.org/2001/XMLSchema";

std::string localPart(std::string_view qualified)
{
    const auto colon = qualified.find(':');
    return std::string(colon == std::string_view::npos ? qualified : qualified.substr(colon + 1));
}

std::string attributeOf(const XMLNode& node, const char* name)
{
    const auto* attribute = node.findAttribute(name);
    return attribute ? std::string(attribute->value) : std::string();
}

// Elements and attributes anywhere inside a complexType (its sequence included), in order.
void collectMembers(const XMLNode& node, std::vector<SchemaMember>& members)
{
    for (const XMLNode* child : node.children) {
        if (child->uri != xsd) continue;
        const bool attribute = child->name == "attribute";
        if (attribute || child->name == "element") {
            const std::string maxOccurs = attributeOf(*child, "maxOccurs");
            members.push_back({attributeOf(*child, "name"), attribute ? "" : localPart(attributeOf(*child, "type")),
                               attribute,
                               attribute ? attributeOf(*child, "use") == "required"
                                         : attributeOf(*child, "minOccurs") != "0",
                               attribute || maxOccurs.empty() || maxOccurs == "1"});
        } else {
            collectMembers(*child, members);
        }
    }
}

} // namespace

SchemaMembers::SchemaMembers(const std::string& directory)
{
    for (const char* file : {"WorkInstructions.xsd", "Base.xsd"}) {
        const std::string path = (std::filesystem::path(directory) / file).string();
        std::ifstream in(path, std::ios::binary);
        if (!in) throw std::runtime_error("cannot read the schema " + path);
        const XMLDocument document(in);
        for (const XMLNode* child : document.root().children) {
            if (child->uri != xsd) continue;
            if (child->name == "complexType") {
                collectMembers(*child, m_types[attributeOf(*child, "name")]);
            } else if (child->name == "element") {
                m_messages[attributeOf(*child, "name")] = localPart(attributeOf(*child, "type"));
            }
        }
    }
}

const std::vector<SchemaMember>* SchemaMembers::membersOf(std::string_view type) const
{
    const auto found = m_types.find(type);
    return found == m_types.end() ? nullptr : &found->second;
}

std::string SchemaMembers::typeOfMessage(std::string_view element) const
{
    const auto found = m_messages.find(element);
    return found == m_messages.end() ? std::string() : found->second;
}

} // namespace wixml
