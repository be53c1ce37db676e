#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

#include "kvsoa/XMLEventReader.hpp"
#include "kvsoa/XMLNode.hpp"

namespace Kavella::Soa::Common::Xml {

/// Builds a tree of XMLNodes from a reader's events. The builder owns the
/// nodes; clear() drops them and keeps the storage for the next tree. A new
/// document, or a start tag when no element is open, begins a new tree; an end
/// tag or text with no element open throws std::logic_error.
class KVSOA_API XMLTreeBuilder final : public XMLEventHandler {
public:
    /// Node positions come from reader, which must outlive the reading.
    explicit XMLTreeBuilder(XMLEventReader& reader);
    ~XMLTreeBuilder() override;
    XMLTreeBuilder(const XMLTreeBuilder&) = delete;
    XMLTreeBuilder& operator=(const XMLTreeBuilder&) = delete;

    /// Drops the tree of an earlier document.
    void startDocument() override;
    /// Adds a node under the innermost open one.
    void startElement(const XMLStartTag& tag) override;
    /// Closes the innermost open node.
    void endElement() override;
    /// Appends to the innermost open node's text.
    void characters(std::string_view text) override;

    /// The first element read; null before any. Its tree is whole once its end tag was read.
    XMLNode* root() const noexcept;
    /// Number of elements read.
    std::size_t size() const noexcept;
    /// Drops the tree, keeping the storage for the next one.
    void clear() noexcept;

private:
    struct Storage;
    static void reset(XMLNode& node) noexcept;
    std::unique_ptr<Storage> m_storage;
};

/// A parsed XML document: the XMLEventReader's strict reading into XMLNodes
/// that the document owns. Errors raise DomException with line and column.
class KVSOA_API XMLDocument {
public:
    /// Reads xmlText with the default XMLReadLimits.
    explicit XMLDocument(const std::string& xmlText);
    /// Reads xmlText with the given limits.
    XMLDocument(std::string_view xmlText, const XMLReadLimits& limits);
    /// Reads a document from a stream, a piece at a time; a stream that fails
    /// raises std::ios_base::failure.
    explicit XMLDocument(std::istream& xmlText, const XMLReadLimits& limits = {});
    XMLDocument(const XMLDocument&) = delete;
    XMLDocument& operator=(const XMLDocument&) = delete;
    ~XMLDocument();

    /// The document element.
    XMLNode& root() noexcept { return *m_root; }
    /// The document element.
    const XMLNode& root() const noexcept { return *m_root; }
    /// Number of elements.
    std::size_t size() const noexcept { return m_size; }

private:
    template <class Text>
    KVSOA_HIDDEN void read(Text& xmlText, const XMLReadLimits& limits);

    std::unique_ptr<XMLEventReader> m_reader;
    std::unique_ptr<XMLTreeBuilder> m_tree;
    XMLNode* m_root = nullptr;
    std::size_t m_size = 0;
};

} // namespace Kavella::Soa::Common::Xml
