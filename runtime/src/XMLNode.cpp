#include "kvsoa/XMLNode.hpp"

#include <cstring>
#include <string>

#include "kvsoa/DomException.hpp"

namespace Kavella::Soa::Common::Xml {

void XMLText::release() noexcept
{
    if (m_size & ownedBit) delete[] m_data;
}

XMLText& XMLText::operator=(XMLText&& other) noexcept
{
    if (this != &other) {
        release();
        m_data = other.m_data;
        m_size = other.m_size;
        other.forget();
    }
    return *this;
}

void XMLText::assign(std::string_view text)
{
    // The copy is made before the old text goes: text may view it.
    char* copy = nullptr;
    if (!text.empty()) {
        copy = new char[text.size()];
        std::memcpy(copy, text.data(), text.size());
    }
    release();
    if (copy) {
        m_data = copy;
        m_size = text.size() | ownedBit;
    } else {
        forget();
    }
}

XMLText& XMLText::append(std::string_view text)
{
    if (!text.empty()) {
        std::string joined;
        joined.reserve(size() + text.size());
        joined.append(view()).append(text);
        assign(joined);
    }
    return *this;
}

XMLNode::XMLNode(const XMLNode& other)
    : name(other.name), uri(other.uri), children(other.children), text(other.text),
      traceSuppression(other.traceSuppression), line(other.line), column(other.column)
{
    if (other.m_attributes.empty()) return;
    OwnAttributes& own = ownAttributes();
    for (const XMLAttribute& attribute : other.m_attributes) {
        own.list.push_back({own.texts.emplace_front(attribute.name), own.texts.emplace_front(attribute.value)});
    }
    m_attributes = XMLAttributes(own.list.data(), own.list.size());
}

XMLNode& XMLNode::operator=(const XMLNode& other)
{
    if (this != &other) *this = XMLNode(other);
    return *this;
}

XMLNode::OwnAttributes& XMLNode::ownAttributes()
{
    if (!m_own) m_own = std::make_unique<OwnAttributes>();
    return *m_own;
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
    OwnAttributes& own = ownAttributes();
    if (m_attributes.begin() != own.list.data()) {
        // The first change to a read node: from now on it owns its attributes.
        own.list.assign(m_attributes.begin(), m_attributes.end());
    }
    const std::string_view ownValue = own.texts.emplace_front(value);
    bool replaced = false;
    for (XMLAttribute& attribute : own.list) {
        if (attribute.name == attributeName) {
            attribute.value = ownValue;
            replaced = true;
        }
    }
    if (!replaced) own.list.push_back({own.texts.emplace_front(attributeName), ownValue});
    m_attributes = XMLAttributes(own.list.data(), own.list.size());
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
