#pragma once

#include <cstddef>
#include <memory>
#include <vector>
#include <set>
#include <string>
#include <string_view>

#include "kvsoa/XMLNode.hpp"

namespace Kavella::Soa::Common::Xml {

/// Limits that keep a hostile document from exhausting the stack or memory.
struct XMLReadLimits {
    /// Deepest element nesting accepted; the root is depth 1.
    std::size_t maxDepth = 256;
};

/// A parsed XML document: a strict, namespace-aware reading (expat) into
/// XMLNodes that the document owns. UTF-8 and UTF-16 (with byte order mark)
/// are read; DOCTYPE declarations are refused, so nothing beyond the text
/// itself is ever read. Errors raise DomException with line and column.
class KVSOA_API XMLDocument {
public:
    explicit XMLDocument(const std::string& xmlText);
    XMLDocument(std::string_view xmlText, const XMLReadLimits& limits);
    XMLDocument(const XMLDocument&) = delete;
    XMLDocument& operator=(const XMLDocument&) = delete;
    ~XMLDocument();

    XMLNode& root() noexcept { return *m_root; }
    const XMLNode& root() const noexcept { return *m_root; }
    /// Number of elements.
    std::size_t size() const noexcept { return m_size; }

private:
    KVSOA_HIDDEN void read(std::string_view xmlText, const XMLReadLimits& limits);
    friend class XMLDocumentReader;

    // Nodes, attributes and attribute texts come in blocks: a document of a
    // million elements makes a few thousand allocations, not millions.
    std::vector<std::unique_ptr<XMLNode[]>> m_nodeBlocks;
    std::vector<std::unique_ptr<XMLAttribute[]>> m_attributeBlocks;
    std::vector<std::unique_ptr<char[]>> m_texts;
    std::size_t m_size = 0;
    std::set<std::string, std::less<>> m_uris; // what the nodes' uri fields point to
    XMLNode* m_root = nullptr;
};

} // namespace Kavella::Soa::Common::Xml
