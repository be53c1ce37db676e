// libxml2's SAX2 callbacks: events to the handler, errors placed and worded as
// expat words them, and the judged text handed over as the parser asks.

#include <cstring>
#include <string>

#include "EventReaderImpl.hpp"

namespace Kavella::Soa::Common::Xml {

namespace {

std::string_view viewOf(const xmlChar* chars)
{
    return chars ? std::string_view(reinterpret_cast<const char*>(chars)) : std::string_view();
}

// libxml2 gives declarations as (prefix, URI) pairs.
void declarations(std::vector<XMLAttribute>& out, const xmlChar* const* pairs, std::size_t count)
{
    out.resize(count);
    for (std::size_t i = 0; i < count; ++i) out[i] = {viewOf(pairs[2 * i]), viewOf(pairs[2 * i + 1]), {}};
}

} // namespace

void XMLEventReaderImpl::onStart(void* data, const xmlChar* localname, const xmlChar* prefix, const xmlChar* uri,
                                 int namespaceCount, const xmlChar** namespaces, int attributeCount, int,
                                 const xmlChar** attributes)
{
    XMLEventReaderImpl& reader = self(data);
    if (reader.m_failed) {
        xmlStopParser(reader.m_context);
        return;
    }
    const std::size_t at = reader.back(reader.cursor(), '<');
    if (reader.tooManyNames(at)) return;
    if (reader.m_open.size() >= reader.m_limits.maxDepth) {
        reader.refuse(at, "elements nested deeper than the limit of " + std::to_string(reader.m_limits.maxDepth));
        return;
    }
    reader.m_open.push_back({at, {}});
    if (reader.m_handlerError) return;
    try {
        const auto count = static_cast<std::size_t>(attributeCount);
        reader.m_attributes.resize(count);
        reader.m_pieces.clear();
        // Values that need decoding are laid out first, and viewed once the
        // text no longer moves.
        std::string& scratch = reader.m_scratch;
        scratch.clear();
        const auto text = [](const xmlChar* chars) { return std::string_view(reinterpret_cast<const char*>(chars)); };
        for (std::size_t i = 0; i < count; ++i) {
            const xmlChar* const* attribute = attributes + 5 * i;
            XMLAttribute& kept = reader.m_attributes[i];
            kept.name = text(attribute[0]);
            kept.uri = attribute[2] ? text(attribute[2]) : std::string_view();
            kept.value = std::string_view(reinterpret_cast<const char*>(attribute[3]),
                                          static_cast<std::size_t>(attribute[4] - attribute[3]));
            // Left unreplaced, libxml2 hands an ampersand in a value on as "&#38;".
            const std::string_view value = kept.value;
            if (value.find('&') == std::string_view::npos) continue;
            const std::size_t start = scratch.size();
            for (std::size_t at = 0; at < value.size();) {
                const std::size_t amp = value.find("&#38;", at);
                scratch.append(value.substr(at, amp - at));
                if (amp == std::string_view::npos) break;
                scratch += '&';
                at = amp + 5;
            }
            reader.m_pieces.push_back({&kept.value, start, scratch.size() - start});
        }
        for (const Piece& piece : reader.m_pieces) *piece.view = std::string_view(scratch).substr(piece.start, piece.size);
        XMLStartTag tag;
        tag.name = reinterpret_cast<const char*>(localname);
        if (uri) tag.uri = reinterpret_cast<const char*>(uri);
        tag.attributes = XMLAttributes(reader.m_attributes.data(), count);
        tag.prefix = viewOf(prefix);
        if (namespaceCount > 0) {
            declarations(reader.m_namespaces, namespaces, static_cast<std::size_t>(namespaceCount));
            tag.namespaces = XMLAttributes(reader.m_namespaces.data(), reader.m_namespaces.size());
        }
        reader.m_handler->startElement(tag);
    } catch (...) {
        reader.m_handlerError = std::current_exception();
    }
}

XMLAttributes XMLEventReaderImpl::namespacesInScope()
{
    if (!m_context || m_context->nsNr <= 0) return {};
    declarations(m_scope, m_context->nsTab, static_cast<std::size_t>(m_context->nsNr / 2));
    return XMLAttributes(m_scope.data(), m_scope.size());
}

void XMLEventReaderImpl::onEnd(void* data, const xmlChar*, const xmlChar*, const xmlChar*)
{
    XMLEventReaderImpl& reader = self(data);
    if (reader.m_failed) {
        xmlStopParser(reader.m_context);
        return;
    }
    if (reader.m_open.empty()) return;
    // The element is still the innermost one for the handler's call.
    if (!reader.m_handlerError) {
        try {
            reader.m_handler->endElement();
        } catch (...) {
            reader.m_handlerError = std::current_exception();
        }
    }
    reader.m_open.pop_back();
    reader.m_placed = std::min(reader.m_placed, reader.m_open.size());
}

void XMLEventReaderImpl::onCharacters(void* data, const xmlChar* text, int length)
{
    XMLEventReaderImpl& reader = self(data);
    if (reader.m_failed) {
        xmlStopParser(reader.m_context);
        return;
    }
    if (reader.m_handlerError || reader.m_open.empty()) return;
    try {
        reader.m_handler->characters(std::string_view(reinterpret_cast<const char*>(text), static_cast<std::size_t>(length)));
    } catch (...) {
        reader.m_handlerError = std::current_exception();
    }
}

void XMLEventReaderImpl::onDoctype(void* data, const xmlChar*, const xmlChar*, const xmlChar*)
{
    // Called once the name and external identifiers are read, before anything
    // in the internal subset; the declaration starts at the last "<!DOCTYPE".
    XMLEventReaderImpl& reader = self(data);
    std::size_t at = reader.cursor();
    for (std::size_t open = reader.back(at, '<'); open < at; open = reader.back(open, '<')) {
        if (reader.textFrom(open).substr(0, 9) == "<!DOCTYPE") {
            at = open;
            break;
        }
    }
    reader.refuse(at, "a DOCTYPE declaration is not allowed in a message");
}

void XMLEventReaderImpl::onProcessingInstruction(void* data, const xmlChar*, const xmlChar* content)
{
    XMLEventReaderImpl& reader = self(data);
    if (reader.m_failed) return;
    // Called past "?>"; before the content stand only the target and spaces.
    const std::size_t end = reader.cursor();
    const std::size_t contentStart =
        reader.contentStart(end >= 2 ? end - 2 : 0, content ? reinterpret_cast<const char*>(content) : "");
    reader.tooManyNames(reader.back(contentStart, '<'));
}

std::size_t XMLEventReaderImpl::contentStart(std::size_t end, std::string_view content) const
{
    // The parser gives the content with each CR LF and lone CR as LF: walked
    // back over the text as written, it starts where the content runs out.
    const detail::TextWindow text = window();
    std::size_t at = end;
    for (std::size_t left = content.size(); left > 0 && at > text.start; --left) {
        --at;
        if (content[left - 1] == '\n' && text.text[at - text.start] == '\n' && at > text.start &&
            text.text[at - 1 - text.start] == '\r') {
            --at;
        }
    }
    return at;
}

void XMLEventReaderImpl::onError(void* data, xmlErrorPtr error)
{
    XMLEventReaderImpl& reader = self(data);
    if (!error) return;
    if (error->code == XML_ERR_NO_MEMORY) reader.m_outOfMemory = true;
    if (reader.m_failed) return;
    // Warnings about what XML and its namespaces allow: expat reads these.
    if (error->code == XML_WAR_NS_URI || error->code == XML_WAR_NS_URI_RELATIVE ||
        error->code == XML_WAR_UNKNOWN_VERSION || error->code == XML_WAR_SPACE_VALUE ||
        error->code == XML_WAR_CATALOG_PI ||
        (error->code == XML_ERR_RESERVED_XML_NAME && error->level == XML_ERR_WARNING)) {
        return;
    }
    reader.m_failed = true;
    const std::size_t offset = reader.cursor();
    reader.describeError(*error, offset);
    reader.haltAfterError();
}

void XMLEventReaderImpl::describeError(const xmlError& error, std::size_t offset)
{
    if (m_input.unreadableAt(offset)) return placeError(offset, "not well-formed (invalid token)");
    if (const std::size_t wrong = detail::misspeltReference(error, offset, window()); wrong != std::string_view::npos)
        return placeError(wrong, "not well-formed (invalid token)");
    const std::size_t at = detail::errorOffset(error, offset, window());
    if (error.code == XML_ERR_DOCUMENT_EMPTY && !textFrom(offset).empty()) {
        return placeError(at, "not well-formed: " + detail::describeCharacter(textFrom(offset)) +
                                  " where the document element must start");
    }
    if (error.code == XML_ERR_TAG_NOT_FINISHED && !m_open.empty()) {
        // Name the element left open, and where it opened.
        const XMLPosition opened = elementPosition();
        const char* name = m_context && m_context->name ? reinterpret_cast<const char*>(m_context->name) : "";
        return placeError(at, "no element found: the text ends inside element \"" + std::string(name) +
                                  "\", opened at line " + std::to_string(opened.line) + ", column " +
                                  std::to_string(opened.column));
    }
    if (const char* expatReason = detail::expatWording(error)) return placeError(at, expatReason);
    // The first line: libxml2 goes on with the bytes around an encoding error.
    std::string reason = error.message ? error.message : "not well-formed";
    reason.erase(std::min(reason.find('\n'), reason.size()));
    placeError(at, std::move(reason));
}

int XMLEventReaderImpl::onRead(void* data, char* buffer, int size)
{
    XMLEventReaderImpl& reader = self(data);
    if (reader.m_inputError || size <= 0) return -1;
    if (reader.m_failed) return 0; // nothing past the first error is read
    try {
        const std::size_t start = reader.m_context && reader.m_context->input && reader.m_context->input->buf
                                      ? static_cast<std::size_t>(reader.m_context->input->consumed)
                                      : 0;
        // The parser asks again once fewer than INPUT_CHUNK bytes lie ahead of it,
        // and may look that far without asking.
        const std::size_t needs = reader.cursor() + INPUT_CHUNK;
        return static_cast<int>(reader.m_input.fill(buffer, static_cast<std::size_t>(size), start, needs));
    } catch (...) {
        // Not through libxml2's C frames: rethrown once it has returned.
        reader.m_inputError = std::current_exception();
        return -1;
    }
}

} // namespace Kavella::Soa::Common::Xml
