#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <ostream>
#include <streambuf>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "kvsoa/Export.hpp"

namespace Kavella::Soa::Common::Xml {

/// An output stream that schema objects write their XML into. It keeps the
/// namespace prefixes, declares them on the outermost element, tracks the
/// element depth (refusing trees deeper than its limit, which also stops a
/// cyclic tree) and can indent for people to read.
///
/// Its state says what became of the output, as for any std::ostream: when the
/// buffer refuses a piece, badbit is set (and std::ios_base::failure thrown if
/// exceptions() include it), and a stream that is not good() writes nothing more.
/// A schema object's write that throws (a text XML cannot carry, a tree too
/// deep) leaves the stream and its target bad, with no element open (abandon()).
class KVSOA_API XmlStream : public std::ostream {
public:
    /// The depth limit of a new stream, the same as XMLReadLimits' default.
    static constexpr std::size_t defaultMaxDepth = 256;

    /// Writes into the stream's own buffer; str() returns what was written.
    XmlStream();
    /// Writes into another stream's buffer instead (a file, std::cout). It starts
    /// with the target's state; a piece the buffer refuses marks the target bad
    /// too, whatever the target's exception mask.
    explicit XmlStream(std::ostream& target);
    /// Flushes the target's buffer; when that fails, or writing failed before,
    /// the target is left bad, so that the loss does not go unnoticed.
    ~XmlStream() override;
    XmlStream(const XmlStream&) = delete;
    XmlStream& operator=(const XmlStream&) = delete;

    /// What was written so far into the own buffer; empty for a stream on a target.
    std::string str() const;
    /// The same, moved out without a copy: the own buffer starts empty again.
    std::string take();

    /// The prefix for a namespace URI: the one set for it, else ns1, ns2, ... in order of first use.
    std::string getNamespacePrefix(const std::string& uri);
    /// Chooses the prefix of a namespace before anything is written with it; throws
    /// DomException for a prefix that is not a plain name, starts with "xml" or is
    /// bound to another namespace.
    void setNamespacePrefix(const std::string& uri, const std::string& prefix);

    /// ` name="value"`; the value must already be escaped (toXmlString).
    std::string writeAttribute(const std::string& name, const std::string& value) const;
    /// Completes a start tag: "/>" for an empty element (which then is finished), ">" otherwise.
    std::string writeOpenElementClose(const std::string& uri, bool empty);
    /// The end tag of the innermost open element.
    std::string writeCloseElement(const std::string& uri, const std::string& elementName);

    /// Indents nested elements by this many spaces per level (0: compact, the default).
    void setIndent(int spaces) noexcept { m_indent = spaces < 0 ? 0 : spaces; }
    /// Spaces per level; 0 when compact.
    int indent() const noexcept { return m_indent; }
    /// Sets the deepest element nesting written (the outermost element is depth 1).
    void setMaxDepth(std::size_t depth) noexcept { m_maxDepth = depth; }
    /// The deepest element nesting written.
    std::size_t maxDepth() const noexcept { return m_maxDepth; }
    /// Open elements right now.
    std::size_t depth() const noexcept { return m_open.size(); }
    /// Elements written around the stream's own by hand (a SOAP envelope's two):
    /// they count against the depth limit, as a reader counts them.
    void setOuterDepth(std::size_t levels) noexcept { m_outerDepth = levels; }
    /// Indents as if this many elements, written by hand around the stream's
    /// own (a SOAP envelope's two), were open: when indenting, each line of
    /// the stream's elements starts that much further in.
    void setOuterIndent(std::size_t levels) noexcept { m_outerIndent = levels; }
    /// Gives up a write that an exception cut short: no element stays open and
    /// the stream and its target are marked bad, so nothing more is written
    /// through it and the truncated output does not pass for a whole one.
    void abandon() noexcept;

    /// Throws DomException when an element named elementName, opened now, would
    /// lie deeper than the limit. Elements written by hand check it too, so that
    /// nothing is written that a reader with the same limit refuses.
    void requireDepthFor(const std::string& elementName) const;

    /// Appends raw text, bypassing the ostream machinery (sentries, locale).
    void append(std::string_view text)
    {
        if (!m_direct || !m_buffer.tryWrite(text.data(), text.size())) appendSlowly(text);
    }

    // The writing operations above, appending their texts in place instead of
    // returning them: the same output without a temporary text per piece.

    /// ` name="value"`; the value must already be escaped.
    void appendAttribute(std::string_view name, std::string_view value);
    /// ` name="value"` with the value escaped as toXmlString does; all or nothing.
    void appendEscapedAttribute(std::string_view name, std::string_view rawValue);
    /// The text escaped as toXmlString does; all or nothing.
    void appendEscaped(std::string_view rawText);
    ///@{
    /// ` name="value"`, the value in lexical_cast's text, formatted in place.
    void appendAttribute(std::string_view name, int value);
    void appendAttribute(std::string_view name, float value);
    void appendAttribute(std::string_view name, double value);
    void appendAttribute(std::string_view name, bool value);
    ///@}
    ///@{
    /// The value alone, in lexical_cast's text, formatted in place.
    void appendValue(int value);
    void appendValue(float value);
    void appendValue(double value);
    void appendValue(bool value);
    ///@}
    /// As inserting writeOpenElementClose(uri, empty).
    void appendStartTagEnd(bool empty);
    /// As inserting writeCloseElement(uri, elementName).
    void appendEndTag(std::string_view elementName);

    /// Begins an element: line break and indentation when indenting, "<" and
    /// the name, and on the outermost element the given namespace declarations.
    /// Used by BaseObject::outputXMLBase; throws DomException past the depth limit.
    void beginElement(const std::string& elementName, const std::vector<std::string>& namespaces);

private:
    // The own buffer is the put area itself, so that appending a piece is a
    // bounds check and a copy.
    class Buffer : public std::streambuf {
    public:
        bool tryWrite(const char* data, std::size_t size) noexcept
        {
            char* out = pptr();
            if (static_cast<std::size_t>(epptr() - out) < size) return false;
            copy(out, data, size);
            pbump(static_cast<int>(size));
            return true;
        }
        // Most pieces are a few bytes: copied in place, without a call.
        static void copy(char* out, const char* data, std::size_t size) noexcept
        {
            if (size > 16) {
                std::memcpy(out, data, size);
            } else if (size >= 8) {
                std::uint64_t head, tail;
                std::memcpy(&head, data, 8);
                std::memcpy(&tail, data + size - 8, 8);
                std::memcpy(out, &head, 8);
                std::memcpy(out + size - 8, &tail, 8);
            } else if (size >= 4) {
                std::uint32_t head, tail;
                std::memcpy(&head, data, 4);
                std::memcpy(&tail, data + size - 4, 4);
                std::memcpy(out, &head, 4);
                std::memcpy(out + size - 4, &tail, 4);
            } else if (size > 0) {
                out[0] = data[0];
                out[size / 2] = data[size / 2];
                out[size - 1] = data[size - 1];
            }
        }
        /// Where size more bytes go when they fit, else null; advance() then moves past them.
        char* room(std::size_t size) noexcept
        {
            return static_cast<std::size_t>(epptr() - pptr()) < size ? nullptr : pptr();
        }
        void advance(std::size_t size) noexcept { pbump(static_cast<int>(size)); }
        /// Makes room for size more bytes.
        void grow(std::size_t size);
        std::string text() const { return std::string(pbase(), pptr()); }
        std::string take();

    protected:
        int_type overflow(int_type c) override;
        std::streamsize xsputn(const char* data, std::streamsize size) override;

    private:
        KVSOA_HIDDEN void place(std::size_t used) noexcept;
        // The put area is the whole string; its size is cut to what was written when taken.
        std::string m_storage;
    };
    KVSOA_HIDDEN void newline();
    /// Spaces before an element at the present depth.
    std::size_t indentation() const noexcept { return (m_open.size() + m_outerIndent) * static_cast<std::size_t>(m_indent); }
    KVSOA_HIDDEN const char* finishStartTag(bool empty) noexcept;
    /// Closes the innermost element; true when its end tag goes on a line of its
    /// own, indented for the elements still open.
    KVSOA_HIDDEN bool closeElement(std::string_view elementName);
    KVSOA_HIDDEN bool prefixTaken(const std::string& prefix) const;

    void appendSlowly(std::string_view text);
    /// Puts piece at out (room for it checked) and returns the end of it.
    static char* put(char* out, std::string_view piece) noexcept
    {
        Buffer::copy(out, piece.data(), piece.size());
        return out + piece.size();
    }
    /// Where size more bytes go straight into the own buffer, or null.
    char* directRoom(std::size_t size) noexcept { return m_direct ? m_buffer.room(size) : nullptr; }
    /// Sets badbit here and on the target without throwing.
    KVSOA_HIDDEN void markBad() noexcept;
    /// text escaped, in m_escaped; throws before anything is appended.
    KVSOA_HIDDEN std::string_view escape(std::string_view text);

    Buffer m_buffer;
    bool m_ownBuffer = false;
    // Appends may go straight into the own buffer: the stream was good when last
    // asked (every element asks), so the fast path needs no state test.
    bool m_direct = false;
    std::ostream* m_target = nullptr;
    std::string m_escaped;
    std::vector<std::pair<std::string, std::string>> m_prefixes; // uri, prefix
    // Per open element: has child elements. Bytes, not std::vector<bool>: every
    // element pushes, marks and pops one, and bits cost a shift and mask each time.
    std::vector<unsigned char> m_open;
    std::size_t m_maxDepth = defaultMaxDepth;
    std::size_t m_outerDepth = 0;
    std::size_t m_outerIndent = 0;
    int m_indent = 0;
};

} // namespace Kavella::Soa::Common::Xml
