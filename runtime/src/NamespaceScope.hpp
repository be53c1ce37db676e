#pragma once

// The namespace declarations in scope while a fault's tree is walked: to
// resolve the prefixes of its codes, and to know which declarations markup
// written from it still needs.

#include <cstddef>
#include <optional>
#include <string_view>
#include <vector>

#include "kvsoa/XMLNode.hpp"

namespace Kavella::Soa::Common::Xml {

/// What the prefix xml stands for, declared or not.
inline constexpr std::string_view xmlNamespaceUri = "http://www.w3.org/XML/1998/namespace";

class NamespaceScope {
public:
    /// Where to return to with restore().
    std::size_t mark() const noexcept { return m_declared.size(); }
    void restore(std::size_t mark) { m_declared.resize(mark); }

    /// Declarations as XMLNode::namespaces gives them: prefix as name, URI as value.
    void declare(const XMLAttributes& declarations)
    {
        for (const XMLAttribute& declaration : declarations) declare(declaration.name, declaration.value);
    }
    void declare(std::string_view prefix, std::string_view uri) { m_declared.push_back({prefix, uri}); }

    /// The URI the prefix stands for (empty prefix: the default namespace, or
    /// none); nothing for a prefix not declared.
    std::optional<std::string_view> uriOf(std::string_view prefix) const noexcept
    {
        if (prefix == "xml") return xmlNamespaceUri;
        for (auto it = m_declared.rbegin(); it != m_declared.rend(); ++it) {
            if (it->prefix == prefix) return it->uri;
        }
        if (prefix.empty()) return std::string_view();
        return std::nullopt;
    }

    /// A prefix, not the default, that stands for uri here; empty for none.
    std::string_view prefixOf(std::string_view uri) const noexcept
    {
        for (auto it = m_declared.rbegin(); it != m_declared.rend(); ++it) {
            if (it->uri == uri && !it->prefix.empty() && uriOf(it->prefix) == uri) return it->prefix;
        }
        return {};
    }

private:
    struct Declared {
        std::string_view prefix;
        std::string_view uri;
    };
    std::vector<Declared> m_declared;
};

/// throwSoapFault for a Fault whose ancestors declared what outside holds.
[[noreturn]] void throwSoapFault(const XMLNode& fault, NamespaceScope outside);

} // namespace Kavella::Soa::Common::Xml
