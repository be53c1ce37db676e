#include "kvsoa/XMLNode.hpp"

#include "kvsoa/DomException.hpp"

namespace Kavella::Soa::Common::Xml {

const std::string* XMLNode::find(const std::string& attributeName) const
{
    for (const auto& attribute : m_attributes) {
        if (attribute.first == attributeName) return &attribute.second;
    }
    return nullptr;
}

std::string XMLNode::getAttr(const std::string& attributeName) const
{
    const std::string* value = find(attributeName);
    return value ? *value : std::string();
}

bool XMLNode::hasAttr(const std::string& attributeName) const
{
    return find(attributeName) != nullptr;
}

void XMLNode::setAttr(const std::string& attributeName, const std::string& value)
{
    if (const std::string* existing = find(attributeName)) {
        *const_cast<std::string*>(existing) = value;
    } else {
        m_attributes.emplace_back(attributeName, value);
    }
}

void throwUnexpectedNode(const XMLNode& child)
{
    throw DomException("Unexpected node name: " + child.name, child.line, child.column);
}

} // namespace Kavella::Soa::Common::Xml
