#include "kvsoa/XMLDocument.hpp"

#include <algorithm>
#include <cstring>
#include <memory>
#include <set>
#include <stdexcept>
#include <unordered_set>
#include <string>
#include <vector>

#include "kvsoa/DomException.hpp"

namespace Kavella::Soa::Common::Xml {

struct XMLTreeBuilder::Storage {
    struct OpenElement {
        XMLNode* node;
        std::size_t firstChild; // where its children start in children
    };

    /// One copy of each name per tree: elements and attributes mostly repeat a few.
    std::string_view internName(std::string_view name)
    {
        auto found = names.find(name);
        if (found != names.end()) return *found;
        return *names.insert(keep(name)).first;
    }

    explicit Storage(XMLEventReader& source) : reader(source) {}

    std::string_view internUri(std::string_view uri)
    {
        if (uri.empty()) return {};
        if (uri == lastUri) return lastUri;
        auto found = uris.find(uri);
        if (found == uris.end()) found = uris.emplace(uri).first;
        lastUri = *found;
        return lastUri;
    }

    XMLNode& newNode()
    {
        if (nodeSpace == 0) {
            const std::size_t blockSize = nodeBlockSize(usedNodeBlocks);
            if (usedNodeBlocks == nodeBlocks.size()) nodeBlocks.push_back(std::make_unique<XMLNode[]>(blockSize));
            nextNode = nodeBlocks[usedNodeBlocks++].get();
            nodeSpace = blockSize;
        }
        --nodeSpace;
        ++size;
        return *nextNode++;
    }

    XMLAttribute* newAttributes(std::size_t count)
    {
        if (count > attributeSpace) {
            const std::size_t blockSize = count > nextAttributeBlock / 4 ? count : nextAttributeBlock;
            nextAttributeBlock = std::min<std::size_t>(nextAttributeBlock * 2, 1024);
            attributeBlocks.push_back(std::make_unique<XMLAttribute[]>(blockSize));
            if (attributeBlocks.size() == 1) firstAttributeBlockSize = blockSize;
            nextAttribute = attributeBlocks.back().get();
            attributeSpace = blockSize;
        }
        XMLAttribute* attributes = nextAttribute;
        nextAttribute += count;
        attributeSpace -= count;
        return attributes;
    }

    /// A copy of text that lives as long as the tree, from big shared blocks.
    std::string_view keep(std::string_view text)
    {
        if (text.empty()) return {};
        if (text.size() > textSpace) {
            const std::size_t bytes = text.size() > nextTextBlock / 4 ? text.size() : nextTextBlock;
            nextTextBlock = std::min<std::size_t>(nextTextBlock * 2, 64 * 1024);
            // Not zeroed: every byte is written before it is read.
            texts.push_back(std::unique_ptr<char[]>(new char[bytes]));
            if (texts.size() == 1) firstTextBlockSize = bytes;
            textCursor = texts.back().get();
            textSpace = bytes;
        }
        char* copy = textCursor;
        std::memcpy(copy, text.data(), text.size());
        textCursor += text.size();
        textSpace -= text.size();
        return {copy, text.size()};
    }

    void clear() noexcept
    {
        // Everything is kept for the next tree (a small tree read again and
        // again then allocates nothing); the nodes are emptied in place.
        for (std::size_t block = 0; block < usedNodeBlocks; ++block) {
            const std::size_t used = nodeBlockSize(block) - (block + 1 == usedNodeBlocks ? nodeSpace : 0);
            for (std::size_t i = 0; i < used; ++i) XMLTreeBuilder::reset(nodeBlocks[block][i]);
        }
        usedNodeBlocks = 0;
        nodeSpace = 0;
        size = 0;
        if (attributeBlocks.size() > 1) attributeBlocks.resize(1);
        nextAttribute = attributeBlocks.empty() ? nullptr : attributeBlocks.front().get();
        attributeSpace = attributeBlocks.empty() ? 0 : firstAttributeBlockSize;
        if (texts.size() > 1) texts.resize(1);
        textCursor = texts.empty() ? nullptr : texts.front().get();
        textSpace = texts.empty() ? 0 : firstTextBlockSize;
        nextTextBlock = std::clamp<std::size_t>(2 * firstTextBlockSize, firstTextBlock, 64 * 1024);
        nextAttributeBlock = std::clamp<std::size_t>(2 * firstAttributeBlockSize, firstAttributeBlock, 1024);
        open.clear();
        children.clear();
        names.clear();
        lastPrefix = {};
        root = nullptr;
    }

    // Blocks start small and double, so that a small tree (the element of a
    // model object, read once per call) costs little to set up.
    static std::size_t nodeBlockSize(std::size_t block) { return block < 4 ? std::size_t{16} << block : 256; }
    static constexpr std::size_t firstTextBlock = 1024;
    static constexpr std::size_t firstAttributeBlock = 32;

    XMLEventReader& reader;
    std::vector<OpenElement> open;
    std::vector<std::string> openTexts; // character data of each open element, gathered
    std::vector<XMLNode*> children;
    std::unordered_set<std::string_view> names;
    std::string_view lastPrefix; // in names
    XMLNode* root = nullptr;
    std::size_t size = 0;
    std::set<std::string, std::less<>> uris; // what the nodes' uri fields point to
    std::string_view lastUri;
    std::vector<std::unique_ptr<XMLNode[]>> nodeBlocks;
    std::size_t usedNodeBlocks = 0;
    XMLNode* nextNode = nullptr;
    std::size_t nodeSpace = 0;
    std::vector<std::unique_ptr<XMLAttribute[]>> attributeBlocks;
    XMLAttribute* nextAttribute = nullptr;
    std::size_t attributeSpace = 0;
    std::size_t firstAttributeBlockSize = 0;
    std::size_t nextAttributeBlock = firstAttributeBlock;
    std::vector<std::unique_ptr<char[]>> texts;
    std::size_t firstTextBlockSize = 0;
    std::size_t nextTextBlock = firstTextBlock;
    char* textCursor = nullptr;
    std::size_t textSpace = 0;
};

XMLTreeBuilder::XMLTreeBuilder(XMLEventReader& reader) : m_storage(std::make_unique<Storage>(reader)) {}

XMLTreeBuilder::~XMLTreeBuilder() = default;

void XMLTreeBuilder::reset(XMLNode& node) noexcept
{
    // The children vector keeps its room for the next tree.
    node.clearView();
}

void XMLTreeBuilder::startDocument()
{
    m_storage->clear();
}

void XMLTreeBuilder::startElement(const XMLStartTag& tag)
{
    Storage& s = *m_storage;
    // A second root begins a new tree, even after a read that failed midway
    // without clear(): trees are never mixed.
    if (s.open.empty() && s.root) s.clear();
    XMLNode& node = s.newNode();
    node.uri = s.internUri(tag.uri);
    node.name.view(s.internName(tag.name));
    const XMLPosition position = s.reader.elementPosition();
    node.line = position.line;
    node.column = position.column;

    if (!tag.prefix.empty()) {
        // Mostly the same prefix, element after element.
        if (tag.prefix != s.lastPrefix) s.lastPrefix = s.internName(tag.prefix);
        node.prefix.view(s.lastPrefix);
    }

    const std::size_t count = tag.attributes.size();
    if (count > 0) {
        XMLAttribute* kept = s.newAttributes(count);
        for (std::size_t i = 0; i < count; ++i) {
            kept[i].name = s.internName(tag.attributes[i].name);
            kept[i].uri = s.internUri(tag.attributes[i].uri);
            kept[i].value = s.keep(tag.attributes[i].value);
        }
        node.m_attributes = XMLAttributes(kept, count);
    }
    // A root takes every declaration in scope, so that a tree read from the
    // middle of a document resolves its prefixes on its own.
    XMLAttributes declared = tag.namespaces;
    if (s.open.empty()) {
        const XMLAttributes inScope = s.reader.namespacesInScope();
        if (inScope.size() > declared.size()) declared = inScope;
    }
    if (!declared.empty()) {
        XMLAttribute* kept = s.newAttributes(declared.size());
        for (std::size_t i = 0; i < declared.size(); ++i) {
            kept[i].name = s.internName(declared[i].name);
            kept[i].value = s.internUri(declared[i].value);
        }
        node.m_namespaces = XMLAttributes(kept, declared.size());
    }

    if (s.open.empty()) {
        s.root = &node;
    } else {
        const std::size_t before = s.openTexts[s.open.size() - 1].size();
        node.m_textOffset = before < XMLNode::unknownOffset ? static_cast<std::uint32_t>(before) : XMLNode::unknownOffset - 1;
    }
    s.children.push_back(&node); // as a child of the element around it
    s.open.push_back({&node, s.children.size()});
    if (s.openTexts.size() < s.open.size()) s.openTexts.emplace_back();
    s.openTexts[s.open.size() - 1].clear();
}

void XMLTreeBuilder::endElement()
{
    Storage& s = *m_storage;
    if (s.open.empty()) throw std::logic_error("XMLTreeBuilder: an end tag with no element open");
    const Storage::OpenElement element = s.open.back();
    element.node->text.view(s.keep(s.openTexts[s.open.size() - 1]));
    s.open.pop_back();
    // Gathered here and copied once: no vector grows child by child.
    element.node->children.assign(s.children.begin() + static_cast<std::ptrdiff_t>(element.firstChild),
                                  s.children.end());
    s.children.resize(element.firstChild);
}

void XMLTreeBuilder::characters(std::string_view text)
{
    Storage& s = *m_storage;
    if (s.open.empty()) throw std::logic_error("XMLTreeBuilder: character data with no element open");
    s.openTexts[s.open.size() - 1].append(text);
}

XMLNode* XMLTreeBuilder::root() const noexcept
{
    return m_storage->root;
}

std::size_t XMLTreeBuilder::size() const noexcept
{
    return m_storage->size;
}

void XMLTreeBuilder::clear() noexcept
{
    m_storage->clear();
}

XMLDocument::XMLDocument(const std::string& xmlText)
{
    std::string_view text = xmlText;
    read(text, XMLReadLimits{});
}

XMLDocument::XMLDocument(std::string_view xmlText, const XMLReadLimits& limits)
{
    read(xmlText, limits);
}

XMLDocument::XMLDocument(std::istream& xmlText, const XMLReadLimits& limits)
{
    read(xmlText, limits);
}

XMLDocument::~XMLDocument() = default;

template <class Text>
void XMLDocument::read(Text& xmlText, const XMLReadLimits& limits)
{
    m_reader = std::make_unique<XMLEventReader>(limits);
    m_tree = std::make_unique<XMLTreeBuilder>(*m_reader);
    m_reader->read(xmlText, *m_tree);
    m_root = m_tree->root();
    m_size = m_tree->size();
    m_reader.reset(); // its parser is no longer needed
}

} // namespace Kavella::Soa::Common::Xml
