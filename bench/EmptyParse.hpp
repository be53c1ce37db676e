#pragma once

#include <expat.h>

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

} // namespace kvsoabench
