#include "kvsoa/Soap.hpp"

#include <utility>

namespace Kavella::Soa::Common::Xml {

namespace {

constexpr std::string_view xmlLang = "{http://www.w3.org/XML/1998/namespace}lang";

bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

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

void collectText(const XMLNode& node, std::string& out)
{
    appendCollapsed(out, node.text);
    for (const XMLNode* child : node.children) {
        if (!out.empty() && out.back() != ' ') out += ' ';
        collectText(*child, out);
    }
}

std::string textOf(const XMLNode* node)
{
    std::string out;
    if (node) collectText(*node, out);
    return trimmed(std::move(out));
}

const XMLNode* findChild(const XMLNode& parent, std::string_view uri, std::string_view name)
{
    for (const XMLNode* child : parent.children) {
        if (child->uri == uri && child->name == name) return child;
    }
    return nullptr;
}

// Names from the network are cut, as everywhere in the runtime.
std::string shown(std::string_view text)
{
    constexpr std::size_t limit = 256;
    return text.size() > limit ? std::string(text.substr(0, limit)) + "..." : std::string(text);
}

std::string qualified(const XMLNode& node)
{
    return node.uri.empty() ? shown(node.name) : "{" + shown(node.uri) + "}" + shown(node.name);
}

std::string faultText(const std::string& code, const std::string& reason, const std::string& detail, int line,
                      int column)
{
    std::string text = "SOAP fault";
    if (line > 0) text += " at line " + std::to_string(line) + ", column " + std::to_string(column);
    text += ": code \"" + shown(code) + "\", reason \"" + shown(reason) + "\"";
    if (!detail.empty()) text += ", detail \"" + shown(detail) + "\"";
    return text;
}

void checkEnvelopeText(const XMLNode& node, const char* what)
{
    if (!isBlank(node.text)) {
        throw DomException(std::string("The SOAP ") + what + " holds text; only elements belong there", node.line,
                           node.column);
    }
}

} // namespace

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

SoapFault::SoapFault(SoapVersion version, std::string code, std::string reason, std::string detail, int line,
                     int column)
    : DomException(faultText(code, reason, detail, line, column), line, column), m_version(version),
      m_code(std::move(code)), m_reason(std::move(reason)), m_detail(std::move(detail))
{
}

SoapFault::~SoapFault() = default;

void checkSoapHeader(const XMLNode& header)
{
    if (soapVersionOf(header.uri) == SoapVersion::None) {
        throw DomException("<" + qualified(header) + "> is no SOAP Header", header.line, header.column);
    }
    const std::string mustUnderstand = "{" + std::string(header.uri) + "}mustUnderstand";
    for (const XMLNode* block : header.children) {
        const XMLAttribute* marked = block->findAttribute(mustUnderstand);
        if (!marked) continue;
        std::string value;
        appendCollapsed(value, marked->value);
        value = trimmed(std::move(value));
        if (value == "0" || value == "false") continue;
        if (value == "1" || value == "true") {
            throw DomException("The SOAP header block <" + qualified(*block) +
                                   "> must be understood, and this receiver understands no header block",
                               block->line, block->column);
        }
        throw DomException("The SOAP header block <" + qualified(*block) + "> has mustUnderstand=\"" +
                               shown(marked->value) + "\"; expected 0, 1, false or true",
                           block->line, block->column);
    }
}

void throwSoapFault(const XMLNode& fault)
{
    const SoapVersion version = soapVersionOf(fault.uri);
    std::string code;
    std::string reason;
    std::string detail;
    if (version == SoapVersion::Soap12) {
        // Code/Value, then Subcode/Value, Subcode/Subcode/Value ...
        for (const XMLNode* level = findChild(fault, fault.uri, "Code"); level;
             level = findChild(*level, fault.uri, "Subcode")) {
            if (!code.empty()) code += '/';
            code += textOf(findChild(*level, fault.uri, "Value"));
        }
        if (const XMLNode* reasons = findChild(fault, fault.uri, "Reason")) {
            const XMLNode* chosen = nullptr;
            for (const XMLNode* text : reasons->children) {
                if (text->uri != fault.uri || text->name != "Text") continue;
                if (!chosen) chosen = text;
                const XMLAttribute* lang = text->findAttribute(xmlLang);
                if (lang && (lang->value == "en" || lang->value.substr(0, 3) == "en-")) {
                    chosen = text;
                    break;
                }
            }
            reason = textOf(chosen);
        }
        detail = textOf(findChild(fault, fault.uri, "Detail"));
    } else {
        // SOAP 1.1 puts the fault's parts in no namespace.
        code = textOf(findChild(fault, "", "faultcode"));
        reason = textOf(findChild(fault, "", "faultstring"));
        detail = textOf(findChild(fault, "", "detail"));
    }
    throw SoapFault(version, std::move(code), std::move(reason), std::move(detail), fault.line, fault.column);
}

const XMLNode& messageNode(const XMLNode& root)
{
    if (root.name != "Envelope") return root;
    if (soapVersionOf(root.uri) == SoapVersion::None) {
        throw DomException("<Envelope> is in " + (root.uri.empty() ? std::string("no namespace") :
                                                      "the namespace " + shown(root.uri)) +
                               ", so it is no SOAP envelope: SOAP 1.1 is " + Soap11NamespaceUri + ", SOAP 1.2 " +
                               Soap12NamespaceUri,
                           root.line, root.column);
    }
    checkEnvelopeText(root, "Envelope");
    const XMLNode* body = nullptr;
    for (std::size_t i = 0; i < root.children.size(); ++i) {
        const XMLNode& child = *root.children[i];
        const bool ours = child.uri == root.uri;
        if (ours && child.name == "Header" && i == 0) {
            checkSoapHeader(child);
        } else if (ours && child.name == "Body" && !body) {
            body = &child;
        } else {
            throw DomException("Unexpected element <" + qualified(child) +
                                   "> in the SOAP Envelope: it holds an optional Header, then one Body",
                               child.line, child.column);
        }
    }
    if (!body) throw DomException("The SOAP Envelope has no Body", root.line, root.column);
    // A fault answers the call, whatever else the body holds.
    for (const XMLNode* child : body->children) {
        if (child->uri == root.uri && child->name == "Fault") throwSoapFault(*child);
    }
    checkEnvelopeText(*body, "Body");
    if (body->children.empty()) {
        throw DomException("The SOAP Body holds no message", body->line, body->column);
    }
    if (body->children.size() > 1) {
        const XMLNode& second = *body->children[1];
        throw DomException("The SOAP Body holds a second element <" + qualified(second) +
                               ">; it carries exactly one message",
                           second.line, second.column);
    }
    return *body->children.front();
}

} // namespace Kavella::Soa::Common::Xml
