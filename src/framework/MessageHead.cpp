#include "MessageHead.hpp"

#include <ios>
#include <vector>

#include "kvsoa/DomException.hpp"
#include "kvsoa/Soap.hpp"
#include "workinstructions/SchemaObject.hpp"

namespace Velmora::Schemas::Mes::_2010_09::Workinstructions::detail {

namespace {

using ::Kavella::Soa::Common::Xml::DomException;
using ::Kavella::Soa::Common::Xml::SoapVersion;
using ::Kavella::Soa::Common::Xml::soapVersionOf;
using ::Kavella::Soa::Common::Xml::XMLEventHandler;
using ::Kavella::Soa::Common::Xml::XMLEventReader;
using ::Kavella::Soa::Common::Xml::XMLReadLimits;
using ::Kavella::Soa::Common::Xml::XMLStartTag;

/// Tells the message element among the start tags of a document, in order:
/// the root, or the one element in a SOAP envelope's Body.
class MessageSearch {
public:
    /// True once head holds the message element.
    bool found(std::size_t depth, std::string_view name, std::string_view uri)
    {
        if (depth == 1 && name == "Envelope" && soapVersionOf(uri) != SoapVersion::None) {
            head.enveloped = true;
            m_envelopeUri.assign(uri);
            return false;
        }
        if (head.enveloped) {
            if (depth == 2) m_inBody = name == "Body" && uri == m_envelopeUri;
            if (depth != 3 || !m_inBody) return false;
            head.fault = name == "Fault" && uri == m_envelopeUri;
        }
        head.found = true;
        head.name.assign(name);
        head.uri.assign(uri);
        return true;
    }

    MessageHead head;

private:
    bool m_inBody = false;
    std::string m_envelopeUri;
};

class HeadFinder : public XMLEventHandler {
public:
    explicit HeadFinder(XMLEventReader& reader) : m_reader(reader) {}

    void startElement(const XMLStartTag& tag) override
    {
        if (!search.found(++m_depth, tag.name, tag.uri)) return;
        search.head.position = m_reader.elementPosition();
        m_reader.stop(); // the rest is the object reader's
    }
    void endElement() override { --m_depth; }
    void characters(std::string_view) override {}

    MessageSearch search;

private:
    XMLEventReader& m_reader;
    std::size_t m_depth = 0;
};

template <class Text>
MessageHead find(Text& text, const XMLReadLimits& limits)
{
    XMLEventReader reader(limits);
    HeadFinder finder(reader);
    try {
        reader.read(text, finder);
    } catch (const DomException&) {
        return {}; // malformed before the message element: the full read reports it in place
    }
    return finder.search.head;
}

std::string described(std::string_view name, std::string_view uri)
{
    std::string text = "<";
    text.append(name).append("> ");
    if (uri.empty()) return text + "in no namespace";
    return text.append("in ").append(uri);
}

// ---- the plain look at the markup -----------------------------------------

struct Scope {
    std::size_t depth;
    std::string_view prefix;
    std::string_view uri;
};

bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

/// Past the next occurrence of end from at, or npos.
std::size_t past(std::string_view text, std::size_t at, std::string_view end)
{
    const std::size_t found = text.find(end, at);
    return found == std::string_view::npos ? found : found + end.size();
}

class MarkupScan {
public:
    explicit MarkupScan(std::string_view text) : m_text(text) {}

    std::optional<MessageHead> run()
    {
        if (m_text.substr(0, 3) == "\xEF\xBB\xBF") m_at = 3;
        if (m_text.size() < m_at + 2 || m_text[m_at] == '\0' || m_text[m_at + 1] == '\0' ||
            static_cast<unsigned char>(m_text[m_at]) >= 0xFE) {
            return std::nullopt; // UTF-16: the parser's to tell
        }
        std::size_t depth = 0;
        while ((m_at = m_text.find('<', m_at)) != std::string_view::npos) {
            const std::string_view rest = m_text.substr(m_at);
            if (rest.substr(0, 2) == "<?") {
                m_at = past(m_text, m_at, "?>");
            } else if (rest.substr(0, 4) == "<!--") {
                m_at = past(m_text, m_at, "-->");
            } else if (rest.substr(0, 9) == "<![CDATA[") {
                m_at = past(m_text, m_at, "]]>");
            } else if (rest.substr(0, 2) == "<!") {
                return std::nullopt; // a DOCTYPE, refused by the reader
            } else if (rest.substr(0, 2) == "</") {
                while (!m_scopes.empty() && m_scopes.back().depth == depth) m_scopes.pop_back();
                --depth;
                m_at = past(m_text, m_at, ">");
            } else {
                bool empty = false;
                const std::optional<std::string_view> name = startTag(++depth, empty);
                if (!name) return std::nullopt;
                if (const std::optional<MessageHead> head = judge(depth, *name)) return head;
                if (m_stop) return std::nullopt;
                if (empty) {
                    while (!m_scopes.empty() && m_scopes.back().depth == depth) m_scopes.pop_back();
                    --depth;
                }
            }
            if (m_at == std::string_view::npos) return std::nullopt;
        }
        return std::nullopt;
    }

private:
    /// Reads a start tag from m_at, its namespace declarations into scope; its name, or none when unsure.
    std::optional<std::string_view> startTag(std::size_t depth, bool& empty)
    {
        std::size_t at = m_at + 1;
        const auto nameEnd = [&](std::size_t from) {
            while (from < m_text.size() && !isSpace(m_text[from]) && m_text[from] != '/' && m_text[from] != '>' &&
                   m_text[from] != '=') {
                ++from;
            }
            return from;
        };
        const std::size_t end = nameEnd(at);
        const std::string_view name = m_text.substr(at, end - at);
        at = end;
        for (;;) {
            while (at < m_text.size() && isSpace(m_text[at])) ++at;
            if (at >= m_text.size()) return std::nullopt;
            if (m_text[at] == '>' || m_text.substr(at, 2) == "/>") {
                empty = m_text[at] == '/';
                m_at = at + (empty ? 2 : 1);
                return name.empty() ? std::nullopt : std::optional<std::string_view>(name);
            }
            const std::size_t attributeEnd = nameEnd(at);
            const std::string_view attribute = m_text.substr(at, attributeEnd - at);
            at = attributeEnd;
            while (at < m_text.size() && isSpace(m_text[at])) ++at;
            if (attribute.empty() || at >= m_text.size() || m_text[at] != '=') return std::nullopt;
            ++at;
            while (at < m_text.size() && isSpace(m_text[at])) ++at;
            if (at >= m_text.size() || (m_text[at] != '"' && m_text[at] != '\'')) return std::nullopt;
            const std::size_t close = m_text.find(m_text[at], at + 1);
            if (close == std::string_view::npos) return std::nullopt;
            const std::string_view value = m_text.substr(at + 1, close - at - 1);
            at = close + 1;
            if (attribute == "xmlns" || attribute.substr(0, 6) == "xmlns:") {
                if (value.find('&') != std::string_view::npos) return std::nullopt; // a reference: the parser's to expand
                m_scopes.push_back({depth, attribute.size() > 6 ? attribute.substr(6) : std::string_view(), value});
            }
        }
    }

    std::optional<std::string_view> uriOf(std::string_view prefix) const
    {
        for (auto scope = m_scopes.rbegin(); scope != m_scopes.rend(); ++scope) {
            if (scope->prefix == prefix) return scope->uri;
        }
        if (prefix.empty()) return std::string_view();
        return std::nullopt;
    }

    /// The head when the element at depth named qualified is the message element.
    std::optional<MessageHead> judge(std::size_t depth, std::string_view qualified)
    {
        const std::size_t colon = qualified.find(':');
        const std::string_view prefix = colon == std::string_view::npos ? std::string_view() : qualified.substr(0, colon);
        const std::optional<std::string_view> uri = uriOf(prefix);
        if (!uri) {
            m_stop = true; // an undeclared prefix: the parser's to refuse
            return std::nullopt;
        }
        if (!m_search.found(depth, colon == std::string_view::npos ? qualified : qualified.substr(colon + 1), *uri)) {
            return std::nullopt;
        }
        return m_search.head;
    }

    std::string_view m_text;
    std::size_t m_at = 0;
    std::vector<Scope> m_scopes;
    MessageSearch m_search;
    bool m_stop = false;
};

} // namespace

std::optional<MessageHead> scanMessageHead(std::string_view text)
{
    return MarkupScan(text).run();
}

MessageHead findMessageHead(std::string_view text, const XMLReadLimits& limits)
{
    return find(text, limits);
}

MessageHead findMessageHead(std::istream& text, const XMLReadLimits& limits)
{
    return find(text, limits);
}

void ReplayBuffer::replay()
{
    m_recording = false;
    char* start = m_record.data();
    setg(start, start, start + m_record.size());
}

ReplayBuffer::int_type ReplayBuffer::underflow()
{
    if (gptr() < egptr()) return traits_type::to_int_type(*gptr());
    if (!m_recording) std::string().swap(m_record); // handed out again already
    m_piece.resize(64 * 1024);
    std::streamsize got = 0;
    try {
        got = m_source->sgetn(m_piece.data(), static_cast<std::streamsize>(m_piece.size()));
    } catch (...) {
        throw std::ios_base::failure("the document could not be read from its stream");
    }
    m_piece.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
    if (m_piece.empty()) return traits_type::eof();
    if (m_recording) m_record += m_piece;
    setg(m_piece.data(), m_piece.data(), m_piece.data() + m_piece.size());
    return traits_type::to_int_type(m_piece[0]);
}

bool MessageHead::admits(std::string_view expected) const
{
    return !found || fault || (name == expected && uri == NamespaceUri);
}

void throwNotTheMessage(const MessageHead& head, std::string_view expected)
{
    throw DomException((head.enveloped ? "The message element " : "The root element ") + described(head.name, head.uri) +
                           " is not a " + std::string(expected) + ": expected " + described(expected, NamespaceUri),
                       head.position.line, head.position.column);
}

} // namespace Velmora::Schemas::Mes::_2010_09::Workinstructions::detail
