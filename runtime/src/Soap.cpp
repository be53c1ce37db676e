#include "kvsoa/Soap.hpp"

#include <utility>

#include "NamespaceScope.hpp"
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
    for (char& c : tag) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
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

namespace {

// Whether a header block is addressed to this receiver, which acts as the
// next node and the ultimate receiver, and as no other role; target is the
// block's actor (SOAP 1.1) or role (SOAP 1.2).
bool addressedToUs(const XMLAttribute* target, std::string_view envelopeUri)
{
    if (!target) return true;
    const std::string value = collapsed(target->value);
    if (soapVersionOf(envelopeUri) == SoapVersion::Soap11) return value == "http://schemas.xmlsoap.org/soap/actor/next";
    const std::string roles = std::string(envelopeUri) + "/role/";
    return value == roles + "next" || value == roles + "ultimateReceiver";
}

void checkEnvelopeText(const XMLNode& node, SoapEnvelopeError error)
{
    if (!isBlank(node.text)) throwSoapEnvelopeError(error, node.line, node.column);
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

bool soapHeaderBlockIsMandatory(std::string_view envelopeUri, std::string_view uri, std::string_view name,
                                const XMLAttributes& attributes, int line, int column)
{
    const XMLAttribute* marked = nullptr;
    const XMLAttribute* target = nullptr; // actor (SOAP 1.1) or role (SOAP 1.2)
    const std::string_view targetName = soapVersionOf(envelopeUri) == SoapVersion::Soap11 ? "actor" : "role";
    for (const XMLAttribute& attribute : attributes) {
        if (attribute.uri != envelopeUri) continue;
        if (!marked && attribute.name == "mustUnderstand") marked = &attribute;
        if (!target && attribute.name == targetName) target = &attribute;
    }
    // A block for another node is that node's to judge, marking and all.
    if (!marked || !addressedToUs(target, envelopeUri)) return false;
    const std::string value = collapsed(marked->value);
    if (value == "0" || value == "false") return false;
    if (value == "1" || value == "true") return true;
    throw DomException("The SOAP header block <" + qualified(uri, name) + "> has mustUnderstand=\"" +
                           shown(marked->value) + "\"; expected 0, 1, false or true",
                       line, column);
}

void checkSoapHeader(const XMLNode& header)
{
    if (soapVersionOf(header.uri) == SoapVersion::None) {
        throw DomException("<" + qualified(header) + "> is no SOAP Header", header.line, header.column);
    }
    for (const XMLNode* block : header.children) {
        checkSoapHeaderBlock(header.uri, block->uri, block->name, block->attributes(), block->line, block->column);
    }
}

void checkSoapHeaderBlock(std::string_view envelopeUri, std::string_view uri, std::string_view name,
                          const XMLAttributes& attributes, int line, int column)
{
    if (soapHeaderBlockIsMandatory(envelopeUri, uri, name, attributes, line, column)) {
        throw DomException("The SOAP header block <" + qualified(uri, name) +
                               "> must be understood, and this receiver understands no header block",
                           line, column);
    }
}

void throwSoapEnvelopeError(SoapEnvelopeError error, int line, int column, std::string_view uri,
                            std::string_view name)
{
    switch (error) {
    case SoapEnvelopeError::UnknownNamespace:
        throw DomException("<Envelope> is in " +
                               (uri.empty() ? std::string("no namespace") : "the namespace " + shown(uri)) +
                               ", so it is no SOAP envelope: SOAP 1.1 is " + Soap11NamespaceUri + ", SOAP 1.2 " +
                               Soap12NamespaceUri,
                           line, column);
    case SoapEnvelopeError::EnvelopeText:
    case SoapEnvelopeError::BodyText:
        throw DomException(std::string("The SOAP ") + (error == SoapEnvelopeError::BodyText ? "Body" : "Envelope") +
                               " holds text; only elements belong there",
                           line, column);
    case SoapEnvelopeError::UnexpectedElement:
        throw DomException("Unexpected element <" + qualified(uri, name) +
                               "> in the SOAP Envelope: it holds an optional Header, then one Body",
                           line, column);
    case SoapEnvelopeError::NoBody: throw DomException("The SOAP Envelope has no Body", line, column);
    case SoapEnvelopeError::NoMessage: throw DomException("The SOAP Body holds no message", line, column);
    case SoapEnvelopeError::SecondElement: break;
    }
    throw DomException("The SOAP Body holds a second element <" + qualified(uri, name) +
                           ">; it carries exactly one message",
                       line, column);
}

const XMLNode& messageNode(const XMLNode& root)
{
    if (root.name != "Envelope") return root;
    if (soapVersionOf(root.uri) == SoapVersion::None) {
        throwSoapEnvelopeError(SoapEnvelopeError::UnknownNamespace, root.line, root.column, root.uri);
    }
    checkEnvelopeText(root, SoapEnvelopeError::EnvelopeText);
    const XMLNode* body = nullptr;
    for (std::size_t i = 0; i < root.children.size(); ++i) {
        const XMLNode& child = *root.children[i];
        const bool ours = child.uri == root.uri;
        if (ours && child.name == "Header" && i == 0) {
            checkSoapHeader(child);
        } else if (ours && child.name == "Body" && !body) {
            body = &child;
        } else {
            throwSoapEnvelopeError(SoapEnvelopeError::UnexpectedElement, child.line, child.column, child.uri,
                                   child.name);
        }
    }
    if (!body) throwSoapEnvelopeError(SoapEnvelopeError::NoBody, root.line, root.column);
    // A fault answers the call, whatever else the body holds.
    for (const XMLNode* child : body->children) {
        if (child->uri == root.uri && child->name == "Fault") {
            NamespaceScope outside;
            outside.declare(root.namespaces());
            outside.declare(body->namespaces());
            throwSoapFault(*child, std::move(outside));
        }
    }
    checkEnvelopeText(*body, SoapEnvelopeError::BodyText);
    if (body->children.empty()) throwSoapEnvelopeError(SoapEnvelopeError::NoMessage, body->line, body->column);
    if (body->children.size() > 1) {
        const XMLNode& second = *body->children[1];
        throwSoapEnvelopeError(SoapEnvelopeError::SecondElement, second.line, second.column, second.uri, second.name);
    }
    return *body->children.front();
}

} // namespace Kavella::Soa::Common::Xml
