#pragma once

// The event reader's state over libxml2's SAX2 parser: what the callbacks
// (SaxCallbacks.cpp) and the read loop (XMLEventReader.cpp) share.

#include <libxml/parser.h>
#include <libxml/parserInternals.h>
#include <libxml/dict.h>
#include <libxml/xmlerror.h>

#include <algorithm>
#include <cstring>
#include <exception>
#include <mutex>
#include <string>
#include <vector>

#include "kvsoa/DomException.hpp"
#include "kvsoa/XMLEventReader.hpp"
#include "DocumentInput.hpp"
#include "MarkupLimits.hpp"
#include "ParserErrors.hpp"
#include "PositionCounter.hpp"
#include "TextDecoder.hpp"

namespace Kavella::Soa::Common::Xml {

class XMLEventReaderImpl : private detail::WindowKeeper {
public:
    explicit XMLEventReaderImpl(const XMLReadLimits& limits) : m_limits(limits), m_input(m_limits, *this)
    {
        static std::once_flag initialised;
        std::call_once(initialised, xmlInitParser);
    }

    template <class Source>
    void read(Source& source, XMLEventHandler& handler);

    void stop()
    {
        if (!m_context || m_failed) return;
        m_stopped = true;
        xmlStopParser(m_context);
    }

    /// The events after the present one go to handler.
    void handOver(XMLEventHandler& handler) noexcept { m_handler = &handler; }

    XMLPosition elementPosition()
    {
        if (m_open.empty()) return {};
        OpenElement& element = m_open.back();
        if (element.position.line == 0) element.position = positionAt(element.offset);
        return element.position;
    }

    /// For XMLEventReader::namespacesInScope.
    XMLAttributes namespacesInScope();

private:
    struct OpenElement {
        std::size_t offset; // of its '<'
        XMLPosition position;
    };

    struct ContextDeleter {
        void operator()(xmlParserCtxtPtr context) const { xmlFreeParserCtxt(context); }
    };

    XMLPosition positionAt(std::size_t offset)
    {
        // Open elements are placed before their text goes; nothing else is asked for so far back.
        return m_positions.at(std::max(offset, m_input.windowStart()), m_input.window(), m_input.windowStart());
    }

    // The window is about to let go of the text before keepFrom: the open
    // elements that start there are placed now, for a handler that asks later.
    std::size_t letGo(std::size_t keepFrom) override
    {
        for (; m_placed < m_open.size() && m_open[m_placed].offset < keepFrom; ++m_placed) {
            OpenElement& element = m_open[m_placed];
            if (element.position.line == 0) element.position = positionAt(element.offset);
        }
        return m_positions.keepFrom(keepFrom, m_input.window(), m_input.windowStart());
    }

    [[noreturn]] void fail(std::size_t offset, const std::string& reason) { fail(positionAt(offset), reason); }

    [[noreturn]] void fail(XMLPosition where, const std::string& reason)
    {
        throw DomException("Malformed XML at line " + std::to_string(where.line) + ", column " +
                               std::to_string(where.column) + ": " + reason,
                           where.line, where.column);
    }

    /// Where libxml2 is, in offsets of the decoded text.
    std::size_t cursor() const
    {
        if (!m_context || !m_context->input) return m_input.given();
        const xmlParserInput& input = *m_context->input;
        const std::string_view whole = m_input.wholeText();
        if (whole.data()) {
            const auto* begin = reinterpret_cast<const xmlChar*>(whole.data());
            // Once stopped, libxml2 points its input at a static empty text.
            if (input.cur < begin || input.cur > begin + whole.size()) return m_input.given();
            return static_cast<std::size_t>(input.cur - begin);
        }
        // Once stopped, libxml2 has let its input go.
        if (!input.buf || input.cur < input.base || input.cur > input.end) return m_input.given();
        return static_cast<std::size_t>(input.consumed) + static_cast<std::size_t>(input.cur - input.base);
    }

    detail::TextWindow window() const { return {m_input.window(), m_input.windowStart()}; }
    std::string_view textFrom(std::size_t offset) const { return window().from(offset); }
    std::size_t back(std::size_t offset, char c) const { return window().back(offset, c); }

    void refuse(std::size_t offset, std::string reason)
    {
        if (m_failed) return;
        m_failed = true;
        m_errorOffset = offset;
        m_errorPosition = positionAt(offset);
        m_errorReason = std::move(reason);
        xmlStopParser(m_context);
    }

    /// After the first error nothing is worth reading: the text the parser
    /// holds past its cursor is blanked, which it takes for the end, and
    /// onRead hands over no more. Stopping the parser outright from inside its
    /// error report would free the buffer that the reporting code still reads.
    void haltAfterError()
    {
        if (!m_context || !m_context->input) return;
        xmlParserInput& input = *m_context->input;
        if (input.cur && input.end && input.cur < input.end)
            std::memset(const_cast<xmlChar*>(input.cur), 0, static_cast<std::size_t>(input.end - input.cur));
    }

    /// Where the first error is placed, counted before the window moves on.
    void placeError(std::size_t offset, std::string reason)
    {
        m_errorOffset = offset;
        m_errorPosition = positionAt(offset);
        m_errorReason = std::move(reason);
    }

    /// Refuses at offset when the document's names, prefixes, URIs and targets
    /// are more than the limit: libxml2's name dictionary stops growing, so
    /// each one beyond would cost more than the one before. Checked at every
    /// event; between two, one start tag adds at most its attributes' worth.
    bool tooManyNames(std::size_t offset)
    {
        const auto names = static_cast<std::size_t>(xmlDictSize(m_context->dict));
        if (names <= m_namesBefore + m_limits.maxDistinctNames) return false;
        refuse(offset, detail::tooManyDistinctNames(m_limits.maxDistinctNames));
        return true;
    }

    void parse(XMLEventHandler& handler);

    static XMLEventReaderImpl& self(void* data) { return *static_cast<XMLEventReaderImpl*>(data); }
    static int onRead(void* data, char* buffer, int size);
    static void onStart(void* data, const xmlChar* localname, const xmlChar* prefix, const xmlChar* uri,
                        int namespaceCount, const xmlChar** namespaces, int attributeCount, int,
                        const xmlChar** attributes);
    static void onEnd(void* data, const xmlChar*, const xmlChar*, const xmlChar*);
    static void onCharacters(void* data, const xmlChar* text, int length);
    static void onDoctype(void* data, const xmlChar*, const xmlChar*, const xmlChar*);
    static void onProcessingInstruction(void* data, const xmlChar*, const xmlChar* content);
    static void onError(void* data, xmlErrorPtr error);
    void describeError(const xmlError& error, std::size_t offset);
    std::size_t contentStart(std::size_t end, std::string_view content) const;

    const XMLReadLimits m_limits;
    detail::DocumentInput m_input;
    detail::PositionCounter m_positions;
    std::size_t m_namesBefore = 0; // in a new parser's dictionary
    xmlParserCtxtPtr m_context = nullptr; // while reading
    XMLEventHandler* m_handler = nullptr;
    std::vector<OpenElement> m_open;
    std::size_t m_placed = 0; // open elements below this one have their position
    struct Piece {
        std::string_view* view;
        std::size_t start, size;
    };
    std::vector<XMLAttribute> m_attributes;
    std::vector<XMLAttribute> m_namespaces; // declared on the tag at hand
    std::vector<XMLAttribute> m_scope;      // all in scope, when asked
    std::string m_scratch;
    std::vector<Piece> m_pieces;
    std::exception_ptr m_handlerError;
    std::exception_ptr m_inputError;
    bool m_failed = false;
    bool m_stopped = false; // by the handler
    XMLPosition m_errorPosition;
    std::size_t m_errorOffset = 0; // where the first error is placed
    std::string m_errorReason;
    bool m_outOfMemory = false;
};

} // namespace Kavella::Soa::Common::Xml
