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

XmlStream::Buffer::int_type XmlStream::Buffer::overflow(int_type c)
{
    if (!traits_type::eq_int_type(c, traits_type::eof())) text.push_back(traits_type::to_char_type(c));
    return traits_type::not_eof(c);
}

std::streamsize XmlStream::Buffer::xsputn(const char* data, std::streamsize size)
{
    text.append(data, static_cast<std::size_t>(size));
    return size;
}

XmlStream::XmlStream() : std::ostream(nullptr)
{
    rdbuf(&m_buffer);
}

XmlStream::XmlStream(std::ostream& target) : std::ostream(target.rdbuf()) {}

XmlStream::~XmlStream() = default;

std::string XmlStream::str() const
{
    return m_buffer.text;
}

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

std::string XmlStream::writeAttribute(const std::string& name, const std::string& value) const
{
    std::string text;
    text.reserve(name.size() + value.size() + 4);
    text += ' ';
    text += name;
    text += "=\"";
    text += value;
    text += '"';
    return text;
}

std::string XmlStream::writeOpenElementClose(const std::string&, bool empty)
{
    if (empty) {
        if (!m_open.empty()) m_open.pop_back();
        return "/>";
    }
    return ">";
}

std::string XmlStream::writeCloseElement(const std::string&, const std::string& elementName)
{
    if (m_open.empty()) throw DomException("End tag </" + elementName + "> written with no element open");
    const bool hadChildren = m_open.back();
    m_open.pop_back();
    std::string text;
    if (m_indent > 0 && hadChildren) {
        text += '\n';
        text.append(m_open.size() * static_cast<std::size_t>(m_indent), ' ');
    }
    text += "</";
    text += elementName;
    text += '>';
    return text;
}

void XmlStream::newline()
{
    std::string text(1, '\n');
    text.append(m_open.size() * static_cast<std::size_t>(m_indent), ' ');
    append(text);
}

void XmlStream::requireDepthFor(const std::string& elementName) const
{
    if (m_open.size() >= m_maxDepth) {
        throw DomException("Element <" + elementName + "> lies deeper than the writing limit of " +
                           std::to_string(m_maxDepth) + " levels (or the tree has a cycle)");
    }
}

void XmlStream::beginElement(const std::string& elementName, const std::vector<std::string>& namespaces)
{
    requireDepthFor(elementName);
    if (!m_open.empty()) {
        m_open.back() = true;
        if (m_indent > 0) newline();
    }
    std::string text;
    text += '<';
    text += elementName;
    if (m_open.empty()) {
        for (const auto& uri : namespaces) getNamespacePrefix(uri);
        for (const auto& [uri, prefix] : m_prefixes) {
            text += " xmlns:";
            text += prefix;
            text += "=\"";
            text += toXmlString(uri);
            text += '"';
        }
    }
    append(text);
    m_open.push_back(false);
}

} // namespace Kavella::Soa::Common::Xml
