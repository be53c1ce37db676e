#pragma once

#include <cstddef>
#include <cstdint>
#include <forward_list>
#include <string>
#include <string_view>
#include <vector>

#include "kvsoa/Export.hpp"

namespace Kavella::Soa::Common::Xml {

/// One attribute of an element. The texts live in the node's document (or,
/// for attributes set by hand, in the node itself).
struct XMLAttribute {
    /// Local name of an unprefixed attribute; "{uri}local" for a namespaced one.
    std::string_view name;
    std::string_view value;

    friend bool operator==(const XMLAttribute& a, const XMLAttribute& b) { return a.name == b.name && a.value == b.value; }
    friend bool operator!=(const XMLAttribute& a, const XMLAttribute& b) { return !(a == b); }
};

/// The attributes of one element, in document order.
class XMLAttributes {
public:
    XMLAttributes() = default;
    XMLAttributes(const XMLAttribute* begin, std::size_t size) noexcept : m_begin(begin), m_size(size) {}
    const XMLAttribute* begin() const noexcept { return m_begin; }
    const XMLAttribute* end() const noexcept { return m_begin + m_size; }
    std::size_t size() const noexcept { return m_size; }
    bool empty() const noexcept { return m_size == 0; }
    const XMLAttribute& operator[](std::size_t index) const noexcept { return m_begin[index]; }

    friend bool operator==(const XMLAttributes& a, const XMLAttributes& b) noexcept
    {
        if (a.m_size != b.m_size) return false;
        for (std::size_t i = 0; i < a.m_size; ++i) {
            if (a.m_begin[i] != b.m_begin[i]) return false;
        }
        return true;
    }
    friend bool operator!=(const XMLAttributes& a, const XMLAttributes& b) noexcept { return !(a == b); }

private:
    friend class XMLNode;
    friend class XMLTreeBuilder;

    const XMLAttribute* m_begin = nullptr;
    std::size_t m_size = 0;
};

/// One element of a parsed document: its local name, namespace, attributes,
/// element children in document order and character data.
class KVSOA_API XMLNode {
public:
    /// Local name, without prefix.
    std::string name;
    /// Namespace URI of the element; empty when it has none. Read nodes point
    /// into their document, which keeps one copy of each URI.
    std::string_view uri;
    /// Element children only (no text, comments or processing instructions); not owned.
    std::vector<XMLNode*> children;
    /// Character data directly inside the element, CDATA and references resolved.
    std::string text;
    /// Not zero: parse emits no trace markers for this node.
    std::uint32_t traceSuppression = 0;
    /// Where the element's start tag begins (1-based; 0 when built by hand).
    int line = 0;
    int column = 0;

    XMLNode() = default;
    /// A copy owns its attribute texts, so it may outlive the source's document.
    XMLNode(const XMLNode& other);
    XMLNode& operator=(const XMLNode& other);
    XMLNode(XMLNode&&) noexcept = default;
    XMLNode& operator=(XMLNode&&) noexcept = default;
    ~XMLNode() = default;

    /// The value of an unprefixed attribute, or an empty text when there is none.
    /// A namespaced attribute is found under "{uri}local".
    std::string getAttr(const std::string& attributeName) const;
    bool hasAttr(const std::string& attributeName) const { return findAttribute(attributeName) != nullptr; }
    /// The attribute, or null when the element has none of that name.
    const XMLAttribute* findAttribute(std::string_view attributeName) const noexcept;
    /// Sets or replaces an attribute; the node keeps its own copy of both texts.
    void setAttr(const std::string& attributeName, const std::string& value);
    const XMLAttributes& attributes() const noexcept { return m_attributes; }

private:
    friend class XMLTreeBuilder;

    XMLAttributes m_attributes;               // read nodes: in the document's text blocks
    std::vector<XMLAttribute> m_ownAttributes; // set by hand: m_attributes views these
    std::forward_list<std::string> m_ownTexts; // and their texts
};

/// Every reader's answer to a child element it does not know:
/// DomException "Unexpected node name: " and the name, at the child's position.
[[noreturn]] KVSOA_API void throwUnexpectedNode(const XMLNode& child);
/// The same for a child known by its local name and the position of its start tag.
[[noreturn]] KVSOA_API void throwUnexpectedNode(std::string_view name, int line, int column);

} // namespace Kavella::Soa::Common::Xml
