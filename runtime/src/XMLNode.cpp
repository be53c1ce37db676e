#include "kvsoa/XMLNode.hpp"

#include "kvsoa/DomException.hpp"

namespace Kavella::Soa::Common::Xml {

XMLNode::XMLNode(const XMLNode& other)
    : name(other.name), uri(other.uri), children(other.children), text(other.text),
      traceSuppression(other.traceSuppression), line(other.line), column(other.column)
{
    for (const XMLAttribute& attribute : other.m_attributes) {
        m_ownAttributes.push_back({m_ownTexts.emplace_front(attribute.name), m_ownTexts.emplace_front(attribute.value)});
    }
    m_attributes.m_begin = m_ownAttributes.data();
    m_attributes.m_size = m_ownAttributes.size();
}

XMLNode& XMLNode::operator=(const XMLNode& other)
{
    if (this != &other) *this = XMLNode(other);
    return *this;
}

const XMLAttribute* XMLNode::findAttribute(std::string_view attributeName) const noexcept
{
    for (const XMLAttribute& attribute : m_attributes) {
        if (attribute.name == attributeName) return &attribute;
    }
    return nullptr;
}

std::string XMLNode::getAttr(const std::string& attributeName) const
{
    const XMLAttribute* attribute = findAttribute(attributeName);
    return attribute ? std::string(attribute->value) : std::string();
}

void XMLNode::setAttr(const std::string& attributeName, const std::string& value)
{
    if (m_attributes.m_begin != m_ownAttributes.data()) {
        // The first change to a read node: from now on it owns its attributes.
        m_ownAttributes.assign(m_attributes.begin(), m_attributes.end());
    }
    const std::string_view ownValue = m_ownTexts.emplace_front(value);
    bool replaced = false;
    for (XMLAttribute& attribute : m_ownAttributes) {
        if (attribute.name == attributeName) {
            attribute.value = ownValue;
            replaced = true;
        }
    }
    if (!replaced) m_ownAttributes.push_back({m_ownTexts.emplace_front(attributeName), ownValue});
    m_attributes.m_begin = m_ownAttributes.data();
    m_attributes.m_size = m_ownAttributes.size();
}

void throwUnexpectedNode(const XMLNode& child)
{
    throwUnexpectedNode(child.name, child.line, child.column);
}

void throwUnexpectedNode(std::string_view name, int line, int column)
{
    // Names come from the network: a megabyte-long one is not repeated whole.
    constexpr std::size_t shown = 256;
    std::string message = "Unexpected node name: ";
    message.append(name.substr(0, shown));
    if (name.size() > shown) message.append("...");
    throw DomException(std::move(message), line, column);
}

} // namespace Kavella::Soa::Common::Xml
