#pragma once

#include <expat.h>
#include <libxml/parser.h>
#include <libxml/parserInternals.h>

#include <climits>
#include <mutex>
#include <string>

namespace kvsoabench
{

/// The floor under reading: expat fed as XMLDocument feeds it (namespace-aware,
/// one call for the whole text) with handlers that do nothing.
inline bool parseWithEmptyHandlers(const std::string& text)
{
    XML_Parser parser = XML_ParserCreateNS(nullptr, '\x01');
    XML_SetElementHandler(
        parser, [](void*, const XML_Char*, const XML_Char**) {}, [](void*, const XML_Char*) {});
    XML_SetCharacterDataHandler(parser, [](void*, const XML_Char*, int) {});
    const bool parsed = XML_Parse(parser, text.data(), static_cast<int>(text.size()), XML_TRUE) == XML_STATUS_OK;
    XML_ParserFree(parser);
    return parsed;
}

/// A libxml2 SAX2 parse as strict as the reader must be: namespace-aware, no
/// DTD, no network, no entities beyond the predefined ones, a DOCTYPE stops
/// the parse, and any warning or error refuses the text. The callbacks get a
/// Libxml2Parse (or a class derived from it) as their context.
struct Libxml2Parse {
    xmlParserCtxtPtr context = nullptr;
    bool failed = false;
};

/// Parses text with sax's element and text callbacks, state as their context.
/// It reads the caller's bytes in place: an input without a buffer behind it
/// is never grown or shrunk (2.9's static buffers lose their place when
/// shrunk), and a std::string ends in the NUL that libxml2 stops at.
inline bool parseWithLibxml2(const std::string& text, xmlSAXHandler sax, Libxml2Parse& state)
{
    static std::once_flag initialised;
    std::call_once(initialised, xmlInitParser);
    if (text.size() > INT_MAX) return false;

    sax.initialized = XML_SAX2_MAGIC;
    sax.ignorableWhitespace = sax.characters;
    sax.internalSubset = [](void* context, const xmlChar*, const xmlChar*, const xmlChar*) {
        static_cast<Libxml2Parse*>(context)->failed = true;
        xmlStopParser(static_cast<Libxml2Parse*>(context)->context);
    };
    sax.serror = [](void* context, xmlErrorPtr) { static_cast<Libxml2Parse*>(context)->failed = true; };

    xmlParserCtxtPtr context = xmlNewParserCtxt();
    if (!context) return false;
    xmlCtxtUseOptions(context, XML_PARSE_NONET | XML_PARSE_HUGE | XML_PARSE_IGNORE_ENC);
    *context->sax = sax;
    state.context = context;
    state.failed = false;
    context->userData = &state;
    bool parsed = false;
    if (xmlParserInputPtr input = xmlNewInputStream(context)) {
        input->base = input->cur = reinterpret_cast<const xmlChar*>(text.c_str());
        input->end = input->base + text.size();
        input->length = static_cast<int>(text.size());
        inputPush(context, input);
        xmlParseDocument(context);
        parsed = context->wellFormed && !state.failed;
    }
    xmlFreeParserCtxt(context);
    state.context = nullptr;
    return parsed;
}

/// The same floor on libxml2's SAX2, as strict as the reader must be.
inline bool parseWithLibxml2EmptyHandlers(const std::string& text)
{
    xmlSAXHandler sax{};
    sax.startElementNs = [](void*, const xmlChar*, const xmlChar*, const xmlChar*, int, const xmlChar**, int, int,
                            const xmlChar**) {};
    sax.endElementNs = [](void*, const xmlChar*, const xmlChar*, const xmlChar*) {};
    sax.characters = [](void*, const xmlChar*, int) {};
    Libxml2Parse state;
    return parseWithLibxml2(text, sax, state);
}

} // namespace kvsoabench
