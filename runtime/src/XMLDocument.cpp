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

class Reader {
public:
    Reader(std::deque<XMLNode>& nodes, const XMLReadLimits& limits)
        : m_nodes(nodes), m_limits(limits), m_parser(XML_ParserCreateNS(nullptr, namespaceSeparator)),
          m_traceSuppression(Monitor::isActive() ? 0u : 1u)
    {
        if (!m_parser) throw std::bad_alloc();
        XML_SetUserData(m_parser.get(), this);
        XML_SetElementHandler(m_parser.get(), &Reader::onStart, &Reader::onEnd);
        XML_SetCharacterDataHandler(m_parser.get(), &Reader::onText);
        XML_SetStartDoctypeDeclHandler(m_parser.get(), &Reader::onDoctype);
        XML_SetParamEntityParsing(m_parser.get(), XML_PARAM_ENTITY_PARSING_NEVER);
    }

    XMLNode* read(std::string_view text)
    {
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
    [[noreturn]] void fail()
    {
        const int line = static_cast<int>(XML_GetCurrentLineNumber(m_parser.get()));
        const int column = static_cast<int>(XML_GetCurrentColumnNumber(m_parser.get())) + 1;
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

    static void splitName(const char* expanded, std::string& uri, std::string& local)
    {
        std::string_view name(expanded);
        const auto separator = name.rfind(namespaceSeparator);
        if (separator == std::string_view::npos) {
            local.assign(name);
        } else {
            uri.assign(name.substr(0, separator));
            local.assign(name.substr(separator + 1));
        }
    }

    static void onStart(void* self, const XML_Char* name, const XML_Char** attributes)
    {
        static_cast<Reader*>(self)->start(name, attributes);
    }
    static void onEnd(void* self, const XML_Char*) { static_cast<Reader*>(self)->m_open.pop_back(); }
    static void onText(void* self, const XML_Char* text, int length)
    {
        auto& reader = *static_cast<Reader*>(self);
        if (!reader.m_open.empty()) reader.m_open.back()->text.append(text, static_cast<std::size_t>(length));
    }
    static void onDoctype(void* self, const XML_Char*, const XML_Char*, const XML_Char*, int)
    {
        static_cast<Reader*>(self)->stop("a DOCTYPE declaration is not allowed in a message");
    }

    void start(const char* name, const char** attributes)
    {
        if (m_open.size() >= m_limits.maxDepth) {
            stop("elements nested deeper than the limit of " + std::to_string(m_limits.maxDepth));
            return;
        }
        XMLNode& node = m_nodes.emplace_back();
        splitName(name, node.uri, node.name);
        node.traceSuppression = m_traceSuppression;
        node.line = static_cast<int>(XML_GetCurrentLineNumber(m_parser.get()));
        node.column = static_cast<int>(XML_GetCurrentColumnNumber(m_parser.get())) + 1;
        for (const char** attribute = attributes; *attribute; attribute += 2) {
            std::string uri;
            std::string local;
            splitName(attribute[0], uri, local);
            node.addAttr(uri.empty() ? std::move(local) : "{" + uri + "}" + local, attribute[1]);
        }
        if (m_open.empty()) {
            m_root = &node;
        } else {
            m_open.back()->children.push_back(&node);
        }
        m_open.push_back(&node);
    }

    std::deque<XMLNode>& m_nodes;
    const XMLReadLimits& m_limits;
    std::unique_ptr<XML_ParserStruct, ParserDeleter> m_parser;
    std::vector<XMLNode*> m_open;
    XMLNode* m_root = nullptr;
    std::string m_stopReason;
    std::uint32_t m_traceSuppression;
};

} // namespace

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
    Reader reader(m_nodes, limits);
    m_root = reader.read(xmlText);
}

} // namespace Kavella::Soa::Common::Xml
