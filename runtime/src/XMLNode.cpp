#include "kvsoa/XMLNode.hpp"

#include <cstring>
#include <deque>
#include <forward_list>
#include <string>
#include <utility>
#include <vector>

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

struct XMLNode::Owned {
    std::vector<XMLAttribute> attributes;   // m_attributes views these
    std::vector<XMLAttribute> namespaces;   // m_namespaces these
    std::forward_list<std::string> texts;   // and they these
    std::string uri;                        // a copy's uri views this
    std::deque<XMLNode> children;           // a copy's children point here

    std::string_view keep(std::string_view text) { return text.empty() ? std::string_view() : texts.emplace_front(text); }
};

XMLNode::XMLNode(const XMLNode& other)
    : name(other.name), prefix(other.prefix), children(), text(other.text), traceSuppression(other.traceSuppression), line(other.line),
      column(other.column), m_textOffset(other.m_textOffset)
{
    if (!other.uri.empty()) uri = owned().uri.assign(other.uri);
    if (!other.m_attributes.empty()) {
        Owned& own = owned();
        own.attributes.reserve(other.m_attributes.size());
        for (const XMLAttribute& attribute : other.m_attributes) {
            own.attributes.push_back({own.keep(attribute.name), own.keep(attribute.value), own.keep(attribute.uri)});
        }
        m_attributes = XMLAttributes(own.attributes.data(), own.attributes.size());
    }
    if (!other.m_namespaces.empty()) {
        Owned& own = owned();
        own.namespaces.reserve(other.m_namespaces.size());
        for (const XMLAttribute& declaration : other.m_namespaces) {
            own.namespaces.push_back({own.keep(declaration.name), own.keep(declaration.value), {}});
        }
        m_namespaces = XMLAttributes(own.namespaces.data(), own.namespaces.size());
    }
    if (!other.children.empty()) {
        Owned& own = owned();
        children.reserve(other.children.size());
        // A deque never moves what it holds, so the pointers stay good.
        for (const XMLNode* child : other.children) children.push_back(&own.children.emplace_back(*child));
    }
}

XMLNode& XMLNode::operator=(const XMLNode& other)
{
    if (this != &other) *this = XMLNode(other);
    return *this;
}

XMLNode::XMLNode(XMLNode&& other) noexcept
    : name(std::move(other.name)), prefix(std::move(other.prefix)), uri(other.uri), children(std::move(other.children)), text(std::move(other.text)),
      traceSuppression(other.traceSuppression), line(other.line), column(other.column),
      m_textOffset(other.m_textOffset), m_attributes(other.m_attributes), m_namespaces(other.m_namespaces),
      m_own(std::move(other.m_own))
{
    // What the owned parts hold lives on the heap, so the views taken over stay good.
    other.clearView();
}

XMLNode& XMLNode::operator=(XMLNode&& other) noexcept
{
    if (this == &other) return *this;
    // Taken out first: other may be one of the copies this node owns, which
    // the assignment below frees.
    XMLNode taken(std::move(other));
    name = std::move(taken.name);
    prefix = std::move(taken.prefix);
    uri = taken.uri;
    children = std::move(taken.children);
    text = std::move(taken.text);
    traceSuppression = taken.traceSuppression;
    line = taken.line;
    column = taken.column;
    m_textOffset = taken.m_textOffset;
    m_attributes = taken.m_attributes;
    m_namespaces = taken.m_namespaces;
    m_own = std::move(taken.m_own);
    taken.clearView();
    return *this;
}

XMLNode::XMLNode() = default;

XMLNode::~XMLNode() = default;

void XMLNode::clearView() noexcept
{
    name.clear();
    prefix.clear();
    uri = {};
    children.clear();
    text.clear();
    traceSuppression = 0;
    line = 0;
    column = 0;
    m_textOffset = unknownOffset;
    m_attributes = XMLAttributes();
    m_namespaces = XMLAttributes();
    m_own.reset();
}

XMLNode::Owned& XMLNode::owned()
{
    if (!m_own) m_own = std::make_unique<Owned>();
    return *m_own;
}

const XMLAttribute* XMLNode::findAttribute(std::string_view attributeName) const noexcept
{
    for (const XMLAttribute& attribute : m_attributes) {
        if (attribute.hasName(attributeName)) return &attribute;
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
    Owned& own = owned();
    if (m_attributes.begin() != own.attributes.data()) {
        // The first change to a read node: from now on it owns its attributes.
        own.attributes.assign(m_attributes.begin(), m_attributes.end());
    }
    const std::string_view ownValue = own.keep(value);
    bool replaced = false;
    for (XMLAttribute& attribute : own.attributes) {
        if (attribute.hasName(attributeName)) {
            attribute.value = ownValue;
            replaced = true;
        }
    }
    if (!replaced) {
        // "{uri}local" is kept as its two parts, as the reader gives them.
        std::string_view local = attributeName;
        std::string_view namespaceUri;
        const std::size_t close = local.find('}');
        if (!local.empty() && local.front() == '{' && close != std::string_view::npos) {
            namespaceUri = local.substr(1, close - 1);
            local.remove_prefix(close + 1);
        }
        own.attributes.push_back({own.keep(local), ownValue, own.keep(namespaceUri)});
    }
    m_attributes = XMLAttributes(own.attributes.data(), own.attributes.size());
}

void XMLNode::declareNamespace(const std::string& declaredPrefix, const std::string& namespaceUri)
{
    Owned& own = owned();
    if (m_namespaces.begin() != own.namespaces.data()) own.namespaces.assign(m_namespaces.begin(), m_namespaces.end());
    own.namespaces.push_back({own.keep(declaredPrefix), own.keep(namespaceUri), {}});
    m_namespaces = XMLAttributes(own.namespaces.data(), own.namespaces.size());
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
