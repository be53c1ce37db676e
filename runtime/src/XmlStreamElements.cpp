// Namespace prefixes, start and end tags, depth and indentation.

#include "kvsoa/XmlStream.hpp"

#include "kvsoa/Conversions.hpp"
#include "kvsoa/DomException.hpp"

namespace Kavella::Soa::Common::Xml {

namespace {

// An ASCII name without colon; enough for the prefixes a caller chooses.
bool isPlainName(const std::string& name)
{
    if (name.empty()) return false;
    for (std::size_t i = 0; i < name.size(); ++i) {
        const char c = name[i];
        const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
        const bool other = (c >= '0' && c <= '9') || c == '-' || c == '.';
        if (!letter && (i == 0 || !other)) return false;
    }
    return true;
}

} // namespace

std::string XmlStream::getNamespacePrefix(const std::string& uri)
{
    for (const auto& known : m_prefixes) {
        if (known.first == uri) return known.second;
    }
    // Inside an element it is too late to declare it: the output would not be
    // namespace-well-formed.
    if (!m_open.empty()) {
        throw DomException("Namespace \"" + uri + "\" is not declared on the outermost element");
    }
    std::string prefix;
    for (std::size_t number = m_prefixes.size() + 1; prefix.empty() || prefixTaken(prefix); ++number) {
        prefix = "ns" + std::to_string(number);
    }
    m_prefixes.emplace_back(uri, prefix);
    return prefix;
}

bool XmlStream::prefixTaken(const std::string& prefix) const
{
    for (const auto& known : m_prefixes) {
        if (known.second == prefix) return true;
    }
    return false;
}

void XmlStream::setNamespacePrefix(const std::string& uri, const std::string& prefix)
{
    if (!m_open.empty()) throw DomException("Namespace prefixes cannot change while an element is open");
    if (!isPlainName(prefix) || prefix.compare(0, 3, "xml") == 0) {
        throw DomException("\"" + prefix + "\" cannot be a namespace prefix");
    }
    for (const auto& known : m_prefixes) {
        if (known.second == prefix && known.first != uri) {
            throw DomException("Prefix \"" + prefix + "\" is already bound to \"" + known.first + "\"");
        }
    }
    for (auto& known : m_prefixes) {
        if (known.first == uri) {
            known.second = prefix;
            return;
        }
    }
    m_prefixes.emplace_back(uri, prefix);
}

const char* XmlStream::finishStartTag(bool empty) noexcept
{
    if (!empty) return ">";
    if (!m_open.empty()) m_open.pop_back();
    return "/>";
}

void XmlStream::appendStartTagEnd(bool empty)
{
    append(finishStartTag(empty));
}

std::string XmlStream::writeOpenElementClose(const std::string&, bool empty)
{
    return finishStartTag(empty);
}

bool XmlStream::closeElement(std::string_view elementName)
{
    if (m_open.empty()) {
        throw DomException("End tag </" + std::string(elementName) + "> written with no element open");
    }
    const bool hadChildren = m_open.back() != 0;
    m_open.pop_back();
    // The root's end tag too, though it is indented by nothing.
    return m_indent > 0 && hadChildren;
}

std::string XmlStream::writeCloseElement(const std::string&, const std::string& elementName)
{
    std::string text;
    if (closeElement(elementName)) text.append(1, '\n').append(indentation(), ' ');
    text.append("</").append(elementName).append(">");
    return text;
}

void XmlStream::appendEndTag(std::string_view elementName)
{
    // After closing, the open elements are those the end tag is indented for.
    if (closeElement(elementName)) newline();
    const std::size_t size = elementName.size() + 3;
    if (char* out = directRoom(size)) {
        *out++ = '<';
        *out++ = '/';
        out = put(out, elementName);
        *out = '>';
        m_buffer.advance(size);
        return;
    }
    append("</");
    append(elementName);
    append(">");
}

void XmlStream::newline()
{
    static constexpr char kSpaces[] = "\n                                                               ";
    append({kSpaces, 1});
    for (std::size_t left = indentation(); left > 0;) {
        const std::size_t step = left < sizeof kSpaces - 2 ? left : sizeof kSpaces - 2;
        append({kSpaces + 1, step});
        left -= step;
    }
}

void XmlStream::requireDepthFor(const std::string& elementName) const
{
    if (m_open.size() + m_outerDepth >= m_maxDepth) {
        throw DomException("Element <" + elementName + "> lies deeper than the writing limit of " +
                           std::to_string(m_maxDepth) + " levels (or the tree has a cycle)");
    }
}

void XmlStream::beginElement(const std::string& elementName, const std::vector<std::string>& namespaces)
{
    requireDepthFor(elementName);
    // A caller may have marked the stream between elements; from here on the
    // appends of this element see it.
    m_direct = m_ownBuffer && good();
    if (!m_open.empty()) {
        m_open.back() = 1;
        if (m_indent > 0) newline();
    }
    if (char* out = directRoom(elementName.size() + 1)) {
        *out++ = '<';
        put(out, elementName);
        m_buffer.advance(elementName.size() + 1);
    } else {
        append("<");
        append(elementName);
    }
    if (m_open.empty()) {
        for (const auto& uri : namespaces) getNamespacePrefix(uri);
        for (const auto& [uri, prefix] : m_prefixes) {
            append(" xmlns:");
            append(prefix);
            append("=\"");
            append(toXmlString(uri));
            append("\"");
        }
    }
    m_open.push_back(0);
}

} // namespace Kavella::Soa::Common::Xml
