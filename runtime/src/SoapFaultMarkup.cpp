// A fault's detail as markup that stands on its own: each element with its
// prefix as written and the declarations written on it, plus those its names
// need that were declared further out.

#include <algorithm>
#include <deque>
#include <string>

#include "NamespaceScope.hpp"
#include "SoapFaultWriter.hpp"

namespace Kavella::Soa::Common::Xml {

namespace {

class MarkupWriter {
public:
    explicit MarkupWriter(std::string& out) : m_out(out) {}

    void content(const XMLNode& node)
    {
        const std::string_view text = node.text;
        std::size_t done = 0;
        for (const XMLNode* child : node.children) {
            const std::size_t at = std::min(std::max(child->textOffset(), done), text.size());
            appendFaultText(m_out, text.substr(done, at - done));
            done = at;
            element(*child);
        }
        appendFaultText(m_out, text.substr(done));
    }

    void element(const XMLNode& node)
    {
        const std::size_t mark = m_scope.mark();
        // A prefix with no namespace cannot be written; such a node (built by
        // hand) is written unprefixed.
        const std::string_view prefix = node.uri.empty() ? std::string_view() : node.prefix.view();
        m_out += '<';
        qualifiedName(prefix, node.name);
        for (const XMLAttribute& declaration : node.namespaces()) declare(declaration.name, declaration.value);
        if (m_scope.uriOf(prefix) != node.uri) declare(prefix, node.uri);
        // Attributes' prefixes are not kept: one in scope for the namespace
        // serves, else one is made up, declared before any attribute.
        m_attributePrefixes.clear();
        int made = 0;
        for (const XMLAttribute& attribute : node.attributes()) {
            std::string_view attributePrefix;
            if (attribute.uri == xmlNamespaceUri) {
                attributePrefix = "xml";
            } else if (!attribute.uri.empty()) {
                attributePrefix = m_scope.prefixOf(attribute.uri);
                if (attributePrefix.empty()) {
                    std::string candidate;
                    do {
                        candidate = "a" + std::to_string(++made);
                    } while (m_scope.uriOf(candidate));
                    attributePrefix = m_madePrefixes.emplace_back(std::move(candidate));
                    declare(attributePrefix, attribute.uri);
                }
            }
            m_attributePrefixes.push_back(attributePrefix);
        }
        std::size_t index = 0;
        for (const XMLAttribute& attribute : node.attributes()) {
            m_out += ' ';
            qualifiedName(m_attributePrefixes[index++], attribute.name);
            m_out.append("=\"");
            appendFaultText(m_out, attribute.value);
            m_out += '"';
        }
        if (node.children.empty() && node.text.empty()) {
            m_out.append("/>");
        } else {
            m_out += '>';
            content(node);
            m_out.append("</");
            qualifiedName(prefix, node.name);
            m_out += '>';
        }
        m_scope.restore(mark);
    }

private:
    void qualifiedName(std::string_view prefix, std::string_view name)
    {
        if (!prefix.empty()) {
            appendFaultText(m_out, prefix);
            m_out += ':';
        }
        appendFaultText(m_out, name);
    }

    void declare(std::string_view prefix, std::string_view uri)
    {
        m_out.append(prefix.empty() ? " xmlns" : " xmlns:");
        appendFaultText(m_out, prefix);
        m_out.append("=\"");
        appendFaultText(m_out, uri);
        m_out += '"';
        m_scope.declare(prefix, uri);
    }

    std::string& m_out;
    NamespaceScope m_scope;
    std::deque<std::string> m_madePrefixes; // what the scope views for made-up prefixes
    std::vector<std::string_view> m_attributePrefixes;
};

} // namespace

std::string contentMarkup(const XMLNode& node)
{
    std::string out;
    MarkupWriter(out).content(node);
    return out;
}

std::string elementMarkup(const XMLNode& node)
{
    std::string out;
    MarkupWriter(out).element(node);
    return out;
}

} // namespace Kavella::Soa::Common::Xml
