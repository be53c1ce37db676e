#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "kvsoa/Export.hpp"

namespace Kavella::Soa::Common::Xml {

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

    /// The value of an unprefixed attribute, or an empty text when there is none.
    /// A namespaced attribute is found under "{uri}local".
    std::string getAttr(const std::string& attributeName) const;
    bool hasAttr(const std::string& attributeName) const;
    /// Sets or replaces an attribute.
    void setAttr(const std::string& attributeName, const std::string& value);
    /// Appends an attribute known not to be present yet (the reader has checked).
    void addAttr(std::string attributeName, std::string value) { m_attributes.emplace_back(std::move(attributeName), std::move(value)); }
    const std::vector<std::pair<std::string, std::string>>& attributes() const noexcept { return m_attributes; }

private:
    KVSOA_HIDDEN const std::string* find(const std::string& attributeName) const;

    std::vector<std::pair<std::string, std::string>> m_attributes;
};

/// Every reader's answer to a child element it does not know:
/// DomException "Unexpected node name: " and the name, at the child's position.
[[noreturn]] KVSOA_API void throwUnexpectedNode(const XMLNode& child);

} // namespace Kavella::Soa::Common::Xml
