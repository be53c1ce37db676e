#include "kvsoa/Soap.hpp"

#include <utility>

#include "AsciiText.hpp"
#include "SoapText.hpp"

namespace Kavella::Soa::Common::Xml {

namespace {

bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

} // namespace

bool isBlank(std::string_view text)
{
    for (char c : text) {
        if (!isSpace(c)) return false;
    }
    return true;
}

// Runs of whitespace become one space; none at either end.
void appendCollapsed(std::string& out, std::string_view text)
{
    for (char c : text) {
        if (isSpace(c)) {
            if (!out.empty() && out.back() != ' ') out += ' ';
        } else {
            out += c;
        }
    }
}

std::string trimmed(std::string text)
{
    while (!text.empty() && text.back() == ' ') text.pop_back();
    return text;
}

std::string collapsed(std::string_view text)
{
    std::string out;
    appendCollapsed(out, text);
    return trimmed(std::move(out));
}

// Language tags ignore case: "en", "EN-us".
bool isEnglish(const XMLAttribute* lang)
{
    if (!lang) return false;
    std::string tag = collapsed(lang->value);
    for (char& c : tag) c = asciiLower(c);
    return tag == "en" || tag.rfind("en-", 0) == 0;
}

// Names from the network are cut, as everywhere in the runtime.
std::string shown(std::string_view text)
{
    constexpr std::size_t limit = 256;
    return text.size() > limit ? std::string(text.substr(0, limit)) + "..." : std::string(text);
}

std::string qualified(std::string_view uri, std::string_view name)
{
    return uri.empty() ? shown(name) : "{" + shown(uri) + "}" + shown(name);
}

std::string qualified(const XMLNode& node)
{
    return qualified(node.uri, node.name);
}

SoapVersion soapVersionOf(std::string_view namespaceUri) noexcept
{
    if (namespaceUri == Soap11NamespaceUri) return SoapVersion::Soap11;
    if (namespaceUri == Soap12NamespaceUri) return SoapVersion::Soap12;
    return SoapVersion::None;
}

const char* soapNamespaceUri(SoapVersion version) noexcept
{
    switch (version) {
    case SoapVersion::Soap11: return Soap11NamespaceUri;
    case SoapVersion::Soap12: return Soap12NamespaceUri;
    case SoapVersion::None: break;
    }
    return "";
}

} // namespace Kavella::Soa::Common::Xml
