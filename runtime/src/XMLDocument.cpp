#include "kvsoa/XMLDocument.hpp"

#include <expat.h>

#include <climits>
#include <memory>
#include <vector>

#include "kvsoa/DomException.hpp"
#include "kvsoa/Monitor.hpp"

namespace Kavella::Soa::Common::Xml {

namespace {

// Separates namespace URI and local name in the names expat reports. A URI
// cannot hold U+0001: XML 1.0 has no way to write it.
constexpr char namespaceSeparator = '\x01';

struct ParserDeleter {
    void operator()(XML_Parser parser) const { XML_ParserFree(parser); }
};

} // namespace

class XMLDocumentReader {
public:
    XMLDocumentReader(std::deque<XMLNode>& nodes, std::set<std::string, std::less<>>& uris, const XMLReadLimits& limits)
        : m_nodes(nodes), m_uris(uris), m_limits(limits), m_parser(XML_ParserCreateNS(nullptr, namespaceSeparator)),
          m_traceSuppression(Monitor::isActive() ? 0u : 1u)
    {
        if (!m_parser) throw std::bad_alloc();
        XML_SetUserData(m_parser.get(), this);
        XML_SetElementHandler(m_parser.get(), &XMLDocumentReader::onStart, &XMLDocumentReader::onEnd);
        XML_SetCharacterDataHandler(m_parser.get(), &XMLDocumentReader::onText);
        XML_SetStartDoctypeDeclHandler(m_parser.get(), &XMLDocumentReader::onDoctype);
        XML_SetParamEntityParsing(m_parser.get(), XML_PARAM_ENTITY_PARSING_NEVER);
    }

    XMLNode* read(std::string_view text)
    {
        m_bomColumns = byteOrderMarkColumns(text);
        // expat takes int lengths; feed larger documents in pieces.
        constexpr std::size_t piece = INT_MAX / 2;
        do {
            const std::size_t length = text.size() < piece ? text.size() : piece;
            const bool last = length == text.size();
            if (XML_Parse(m_parser.get(), text.data(), static_cast<int>(length), last) != XML_STATUS_OK) fail();
            text.remove_prefix(length);
        } while (!text.empty());
        return m_root;
    }

private:
    // expat counts a byte order mark as a character of the first line.
    static int byteOrderMarkColumns(std::string_view text)
    {
        const auto starts = [text](std::string_view mark) { return text.substr(0, mark.size()) == mark; };
        return starts("\xEF\xBB\xBF") || starts("\xFF\xFE") || starts("\xFE\xFF") ? 1 : 0;
    }

    int currentColumn(int line) const
    {
        const int column = static_cast<int>(XML_GetCurrentColumnNumber(m_parser.get())) + 1;
        return line == 1 ? column - m_bomColumns : column;
    }

    [[noreturn]] void fail()
    {
        const int line = static_cast<int>(XML_GetCurrentLineNumber(m_parser.get()));
        const int column = currentColumn(line);
        std::string reason = m_stopReason.empty() ? XML_ErrorString(XML_GetErrorCode(m_parser.get())) : m_stopReason;
        throw DomException("Malformed XML at line " + std::to_string(line) + ", column " + std::to_string(column) +
                               ": " + reason,
                           line, column);
    }

    void stop(std::string reason)
    {
        if (m_stopReason.empty()) m_stopReason = std::move(reason);
        XML_StopParser(m_parser.get(), XML_FALSE);
    }

    /// Splits an expanded name into its URI (empty when none) and local name.
    static std::string_view splitName(const char* expanded, std::string_view& local)
    {
        const std::string_view name(expanded);
        const auto separator = name.rfind(namespaceSeparator);
        if (separator == std::string_view::npos) {
            local = name;
            return {};
        }
        local = name.substr(separator + 1);
        return name.substr(0, separator);
    }

    std::string_view internUri(std::string_view uri)
    {
        if (uri.empty()) return {};
        if (uri == m_lastUri) return m_lastUri;
        auto found = m_uris.find(uri);
        if (found == m_uris.end()) found = m_uris.emplace(uri).first;
        m_lastUri = *found;
        return m_lastUri;
    }

    static void onStart(void* self, const XML_Char* name, const XML_Char** attributes)
    {
        static_cast<XMLDocumentReader*>(self)->start(name, attributes);
    }
    static void onEnd(void* self, const XML_Char*)
    {
        // expat still reports the end of an element whose start was refused.
        auto& open = static_cast<XMLDocumentReader*>(self)->m_open;
        if (!open.empty()) open.pop_back();
    }
    static void onText(void* self, const XML_Char* text, int length)
    {
        auto& reader = *static_cast<XMLDocumentReader*>(self);
        if (!reader.m_open.empty()) reader.m_open.back()->text.append(text, static_cast<std::size_t>(length));
    }
    static void onDoctype(void* self, const XML_Char*, const XML_Char*, const XML_Char*, int)
    {
        static_cast<XMLDocumentReader*>(self)->stop("a DOCTYPE declaration is not allowed in a message");
    }

    void start(const char* name, const char** attributes)
    {
        if (m_open.size() >= m_limits.maxDepth) {
            stop("elements nested deeper than the limit of " + std::to_string(m_limits.maxDepth));
            return;
        }
        XMLNode& node = m_nodes.emplace_back();
        std::string_view local;
        node.uri = internUri(splitName(name, local));
        node.name.assign(local);
        node.traceSuppression = m_traceSuppression;
        node.line = static_cast<int>(XML_GetCurrentLineNumber(m_parser.get()));
        node.column = currentColumn(node.line);
        for (const char** attribute = attributes; *attribute; attribute += 2) {
            std::string_view local;
            const std::string_view uri = splitName(attribute[0], local);
            std::string attributeName = uri.empty() ? std::string(local) : "{" + std::string(uri) + "}" + std::string(local);
            node.addAttr(std::move(attributeName), attribute[1]);
        }
        if (m_open.empty()) {
            m_root = &node;
        } else {
            m_open.back()->children.push_back(&node);
        }
        m_open.push_back(&node);
    }

    std::deque<XMLNode>& m_nodes;
    std::set<std::string, std::less<>>& m_uris;
    std::string_view m_lastUri;
    const XMLReadLimits& m_limits;
    std::unique_ptr<XML_ParserStruct, ParserDeleter> m_parser;
    std::vector<XMLNode*> m_open;
    XMLNode* m_root = nullptr;
    std::string m_stopReason;
    int m_bomColumns = 0;
    std::uint32_t m_traceSuppression;
};

XMLDocument::XMLDocument(const std::string& xmlText)
{
    read(xmlText, XMLReadLimits{});
}

XMLDocument::XMLDocument(std::string_view xmlText, const XMLReadLimits& limits)
{
    read(xmlText, limits);
}

XMLDocument::~XMLDocument() = default;

void XMLDocument::read(std::string_view xmlText, const XMLReadLimits& limits)
{
    XMLDocumentReader reader(m_nodes, m_uris, limits);
    m_root = reader.read(xmlText);
}

} // namespace Kavella::Soa::Common::Xml
