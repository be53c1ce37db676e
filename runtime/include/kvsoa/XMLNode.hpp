#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "kvsoa/Export.hpp"

namespace Kavella::Soa::Common::Xml {

/// One attribute of an element. The texts live in the node's document (or,
/// for attributes set by hand or copied, in the node itself).
struct XMLAttribute {
    /// Local name, without prefix.
    std::string_view name;
    /// The value, references resolved.
    std::string_view value;
    /// Namespace URI; empty for an unprefixed attribute. Kept apart from the
    /// name so that a long URI is never copied once per attribute.
    std::string_view uri;

    /// True when the attribute is the one named: "local" for an unprefixed
    /// attribute, "{uri}local" for a namespaced one.
    bool hasName(std::string_view qualifiedName) const noexcept
    {
        if (uri.empty()) return qualifiedName == name;
        return qualifiedName.size() == uri.size() + name.size() + 2 && qualifiedName.front() == '{' &&
               qualifiedName.substr(1, uri.size()) == uri && qualifiedName[uri.size() + 1] == '}' &&
               qualifiedName.substr(uri.size() + 2) == name;
    }
    /// "local", or "{uri}local" for a namespaced attribute.
    std::string qualifiedName() const
    {
        if (uri.empty()) return std::string(name);
        std::string text;
        text.reserve(uri.size() + name.size() + 2);
        return text.append(1, '{').append(uri).append(1, '}').append(name);
    }

    /// Same name, namespace and value.
    friend bool operator==(const XMLAttribute& a, const XMLAttribute& b)
    {
        return a.name == b.name && a.uri == b.uri && a.value == b.value;
    }
    /// Not operator==.
    friend bool operator!=(const XMLAttribute& a, const XMLAttribute& b) { return !(a == b); }
};

/// The attributes of one element, in document order.
class XMLAttributes {
public:
    /// No attributes.
    XMLAttributes() = default;
    /// A view of size attributes starting at begin; they must outlive the view.
    XMLAttributes(const XMLAttribute* begin, std::size_t size) noexcept : m_begin(begin), m_size(size) {}
    /// The first attribute.
    const XMLAttribute* begin() const noexcept { return m_begin; }
    /// Past the last attribute.
    const XMLAttribute* end() const noexcept { return m_begin + m_size; }
    /// The number of attributes.
    std::size_t size() const noexcept { return m_size; }
    /// True when there are none.
    bool empty() const noexcept { return m_size == 0; }
    /// The attribute at index, which must be below size().
    const XMLAttribute& operator[](std::size_t index) const noexcept { return m_begin[index]; }

    /// The same attributes in the same order.
    friend bool operator==(const XMLAttributes& a, const XMLAttributes& b) noexcept
    {
        if (a.m_size != b.m_size) return false;
        for (std::size_t i = 0; i < a.m_size; ++i) {
            if (a.m_begin[i] != b.m_begin[i]) return false;
        }
        return true;
    }
    /// Not operator==.
    friend bool operator!=(const XMLAttributes& a, const XMLAttributes& b) noexcept { return !(a == b); }

private:
    friend class XMLNode;
    friend class XMLTreeBuilder;

    const XMLAttribute* m_begin = nullptr;
    std::size_t m_size = 0;
};

/// The name or the text of a node: a view of its document's storage when
/// read, its own copy when set by hand. Reads as a std::string_view.
class KVSOA_API XMLText {
public:
    /// An empty text.
    XMLText() noexcept = default;
    /// A copy of text.
    explicit XMLText(std::string_view text) { assign(text); }
    /// A copy of other's text, owned, so that it may outlive other's document.
    XMLText(const XMLText& other) { assign(other.view()); }
    /// Takes other's text over; other is left empty.
    XMLText(XMLText&& other) noexcept : m_data(other.m_data), m_size(other.m_size) { other.forget(); }
    /// Keeps a copy of other's text.
    XMLText& operator=(const XMLText& other)
    {
        if (this != &other) assign(other.view());
        return *this;
    }
    /// Takes other's text over; other is left empty.
    XMLText& operator=(XMLText&& other) noexcept;
    ///@{
    /// Keeps a copy of text.
    XMLText& operator=(std::string_view text)
    {
        assign(text);
        return *this;
    }
    XMLText& operator=(const std::string& text) { return *this = std::string_view(text); }
    XMLText& operator=(const char* text) { return *this = std::string_view(text); }
    ///@}
    /// Frees an owned copy.
    ~XMLText() { release(); }

    /// Keeps a copy of text.
    void assign(std::string_view text);
    /// Appends text, making the text an owned copy.
    XMLText& append(std::string_view text);
    /// Makes the text empty.
    void clear() noexcept
    {
        release();
        forget();
    }

    /// The characters, not zero-terminated.
    const char* data() const noexcept { return m_data; }
    /// The length in bytes.
    std::size_t size() const noexcept { return m_size & ~ownedBit; }
    /// True for an empty text.
    bool empty() const noexcept { return size() == 0; }
    ///@{
    /// The text as a view, valid while the node (and its document) lives.
    std::string_view view() const noexcept { return {m_data, size()}; }
    operator std::string_view() const noexcept { return view(); }
    ///@}
    /// A copy of the text.
    std::string str() const { return std::string(view()); }

    ///@{
    /// Compares the characters.
    friend bool operator==(const XMLText& a, const XMLText& b) noexcept { return a.view() == b.view(); }
    friend bool operator==(const XMLText& a, std::string_view b) noexcept { return a.view() == b; }
    friend bool operator==(std::string_view a, const XMLText& b) noexcept { return a == b.view(); }
    friend bool operator!=(const XMLText& a, const XMLText& b) noexcept { return !(a == b); }
    friend bool operator!=(const XMLText& a, std::string_view b) noexcept { return !(a == b); }
    friend bool operator!=(std::string_view a, const XMLText& b) noexcept { return !(a == b); }
    ///@}
    ///@{
    /// Concatenates, as with std::string.
    friend std::string operator+(const std::string& a, const XMLText& b) { return a + b.str(); }
    friend std::string operator+(const char* a, const XMLText& b) { return a + b.str(); }
    friend std::string operator+(const XMLText& a, const std::string& b) { return a.str() + b; }
    friend std::string operator+(const XMLText& a, const char* b) { return a.str() + b; }
    ///@}
    /// Writes the text.
    friend std::ostream& operator<<(std::ostream& out, const XMLText& text) { return out << text.view(); }

private:
    friend class XMLTreeBuilder;
    static constexpr std::size_t ownedBit = std::size_t(1) << (sizeof(std::size_t) * 8 - 1);

    /// Views text that outlives the node (its document's storage).
    void view(std::string_view text) noexcept
    {
        release();
        m_data = text.data();
        m_size = text.size();
    }
    void release() noexcept;
    void forget() noexcept
    {
        m_data = "";
        m_size = 0;
    }

    const char* m_data = "";
    std::size_t m_size = 0; // the top bit: m_data is this text's own
};

/// One element of a parsed document: its local name, namespace, attributes,
/// element children in document order and character data.
///
/// A read node views its document, which must outlive it. A copy owns
/// everything it shows (name, namespace, attributes, text and a deep copy of
/// the children), so it may outlive the source's document. Trees may also be
/// built by hand: children.push_back(&child) links a node the caller keeps alive.
class KVSOA_API XMLNode {
public:
    /// Local name, without prefix.
    XMLText name;
    /// The prefix as written; empty for none (and for nodes built by hand,
    /// which are written with their namespace as the default).
    XMLText prefix;
    /// Namespace URI of the element; empty when it has none. Read nodes point
    /// into their document, which keeps one copy of each URI.
    std::string_view uri;
    /// Element children only (no text, comments or processing instructions);
    /// owned by the document, by the node when copied, by the caller when built by hand.
    std::vector<XMLNode*> children;
    /// Character data directly inside the element, CDATA and references resolved.
    XMLText text;
    /// Not zero: parse emits no trace markers for this node.
    std::uint32_t traceSuppression = 0;
    /// Where the element's start tag begins (1-based; 0 when built by hand).
    int line = 0;
    /// The column of the start tag, in characters (1-based; 0 when built by hand).
    int column = 0;

    /// An element with no name, attributes or children, for building by hand.
    XMLNode();
    /// A deep copy that owns all it shows, so it may outlive other's document.
    XMLNode(const XMLNode& other);
    /// As the copy constructor.
    XMLNode& operator=(const XMLNode& other);
    /// Takes other's contents over; other is left an empty node.
    XMLNode(XMLNode&& other) noexcept;
    /// Takes other's contents over; other is left an empty node.
    XMLNode& operator=(XMLNode&& other) noexcept;
    /// Frees what the node owns; children linked by hand are the caller's.
    ~XMLNode();

    /// The value of an unprefixed attribute, or an empty text when there is none.
    /// A namespaced attribute is found under "{uri}local".
    std::string getAttr(const std::string& attributeName) const;
    /// True when the element has the attribute.
    bool hasAttr(const std::string& attributeName) const { return findAttribute(attributeName) != nullptr; }
    /// The attribute named "local" or "{uri}local", or null when the element has none of that name.
    const XMLAttribute* findAttribute(std::string_view attributeName) const noexcept;
    /// Sets or replaces an attribute named "local" or "{uri}local"; the node
    /// keeps its own copy of the texts.
    void setAttr(const std::string& attributeName, const std::string& value);
    /// All attributes, in document order.
    const XMLAttributes& attributes() const noexcept { return m_attributes; }
    /// The namespace declarations written on the element, in document order:
    /// the prefix as name (empty for a default declaration), the URI as value.
    /// The root of a tree built from the middle of a document (a fault read
    /// from a stream) carries all those in scope there, outermost first, so
    /// that the prefixes in its tree can be resolved without its ancestors.
    const XMLAttributes& namespaces() const noexcept { return m_namespaces; }
    /// Adds a namespace declaration (prefix empty: the default namespace); the
    /// node keeps its own copy of the texts.
    void declareNamespace(const std::string& declaredPrefix, const std::string& namespaceUri);

    /// How many bytes of the parent's text come before this element, so that
    /// mixed content can be read in document order. Nodes built by hand come
    /// after all of it (the largest size_t).
    std::size_t textOffset() const noexcept
    {
        return m_textOffset == unknownOffset ? static_cast<std::size_t>(-1) : m_textOffset;
    }

private:
    friend class XMLTreeBuilder;

    static constexpr std::uint32_t unknownOffset = 0xFFFFFFFFu;

    struct Owned;
    Owned& owned();
    void clearView() noexcept;

    std::uint32_t m_textOffset = unknownOffset; // saturates below unknownOffset
    XMLAttributes m_attributes;                 // read nodes: in the document's text blocks
    XMLAttributes m_namespaces;                 // as m_attributes
    std::unique_ptr<Owned> m_own;               // what a copy or a hand-set attribute owns
};

/// Every reader's answer to a child element it does not know:
/// DomException "Unexpected node name: " and the name, at the child's position.
[[noreturn]] KVSOA_API void throwUnexpectedNode(const XMLNode& child);
/// The same for a child known by its local name and the position of its start tag.
[[noreturn]] KVSOA_API void throwUnexpectedNode(std::string_view name, int line, int column);

} // namespace Kavella::Soa::Common::Xml
