#include "kvsoa/Soap.hpp"

#include <algorithm>
#include <utility>

#include "SoapFaultWriter.hpp"

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

// In document order: each child's text goes where the child stood in its
// parent's text. An element boundary separates words.
void collectText(const XMLNode& node, std::string& out)
{
    const std::string_view text = node.text;
    const auto separate = [&out] {
        if (!out.empty() && out.back() != ' ') out += ' ';
    };
    std::size_t done = 0;
    for (const XMLNode* child : node.children) {
        const std::size_t at = std::min(std::max(child->textOffset(), done), text.size());
        appendCollapsed(out, text.substr(done, at - done));
        done = at;
        separate();
        collectText(*child, out);
        separate();
    }
    appendCollapsed(out, text.substr(done));
}

std::string collapsed(std::string_view text)
{
    std::string out;
    appendCollapsed(out, text);
    return trimmed(std::move(out));
}

std::string textOf(const XMLNode* node)
{
    std::string out;
    if (node) collectText(*node, out);
    return trimmed(std::move(out));
}

// Senders disagree on whether a fault's parts are qualified; take either.
const XMLNode* findPart(const XMLNode& parent, std::string_view uri, std::string_view name)
{
    for (const XMLNode* child : parent.children) {
        if ((child->uri == uri || child->uri.empty()) && child->name == name) return child;
    }
    return nullptr;
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

struct FaultParts {
    bool found = false; // the shape's code or reason is there
    std::string code;
    std::string reason;
    std::string detail;
    std::string detailXml;
};

FaultParts& withDetail(FaultParts& parts, const XMLNode* detail)
{
    parts.detail = textOf(detail);
    if (detail) parts.detailXml = contentMarkup(*detail);
    return parts;
}

// Code/Value (each Subcode/Value after a '/'), Reason/Text and Detail.
FaultParts soap12Parts(const XMLNode& fault)
{
    FaultParts parts;
    for (const XMLNode* level = findPart(fault, fault.uri, "Code"); level;
         level = findPart(*level, fault.uri, "Subcode")) {
        parts.found = true;
        if (!parts.code.empty()) parts.code += '/';
        parts.code += textOf(findPart(*level, fault.uri, "Value"));
    }
    if (const XMLNode* reasons = findPart(fault, fault.uri, "Reason")) {
        parts.found = true;
        const XMLNode* chosen = nullptr;
        for (const XMLNode* text : reasons->children) {
            if ((text->uri != fault.uri && !text->uri.empty()) || text->name != "Text") continue;
            if (!chosen) chosen = text;
            if (isEnglish(text->findAttribute(xmlLang))) {
                chosen = text;
                break;
            }
        }
        parts.reason = textOf(chosen);
    }
    return withDetail(parts, findPart(fault, fault.uri, "Detail"));
}

// faultcode, faultstring and detail, meant to be in no namespace.
FaultParts soap11Parts(const XMLNode& fault)
{
    FaultParts parts;
    const XMLNode* code = findPart(fault, "", "faultcode");
    const XMLNode* reason = findPart(fault, "", "faultstring");
    parts.found = code || reason;
    parts.code = textOf(code);
    parts.reason = textOf(reason);
    return withDetail(parts, findPart(fault, "", "detail"));
}

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

std::string faultText(const std::string& code, const std::string& reason, const std::string& detail, int line,
                      int column)
{
    std::string text = "SOAP fault";
    if (line > 0) text += " at line " + std::to_string(line) + ", column " + std::to_string(column);
    text += ": code \"" + shown(code) + "\", reason \"" + shown(reason) + "\"";
    if (!detail.empty()) text += ", detail \"" + shown(detail) + "\"";
    return text;
}

std::string_view prefixDropped(std::string_view name)
{
    const std::size_t colon = name.find(':');
    return colon == std::string_view::npos ? name : name.substr(colon + 1);
}

SoapFaultCode codeOfWord(std::string_view word, bool& known)
{
    known = true;
    if (word == "Client" || word == "Sender") return SoapFaultCode::Sender;
    if (word == "Server" || word == "Receiver") return SoapFaultCode::Receiver;
    if (word == "MustUnderstand") return SoapFaultCode::MustUnderstand;
    if (word == "VersionMismatch") return SoapFaultCode::VersionMismatch;
    if (word == "DataEncodingUnknown") return SoapFaultCode::DataEncodingUnknown;
    known = false;
    return SoapFaultCode::Receiver;
}

// "soap:Client.Authentication" (SOAP 1.1's dots) or "env:Sender/app:Locked"
// (each Subcode after a '/') into the code and its subcodes.
void readCode(std::string_view code, SoapFaultParts& parts)
{
    for (std::size_t start = 0, level = 0; start <= code.size(); ++level) {
        const std::size_t slash = std::min(code.find('/', start), code.size());
        const std::string name = collapsed(prefixDropped(collapsed(code.substr(start, slash - start))));
        start = slash + 1;
        if (level > 0) {
            if (!name.empty()) parts.subcodes.push_back(name);
            continue;
        }
        const std::size_t dot = name.find('.');
        bool known = false;
        parts.code = codeOfWord(name.substr(0, dot), known);
        if (!known && !name.empty()) parts.subcodes.push_back(name.substr(0, dot));
        for (std::size_t at = dot; at != std::string::npos;) {
            const std::size_t next = name.find('.', at + 1);
            const std::string part = name.substr(at + 1, next == std::string::npos ? next : next - at - 1);
            if (!part.empty()) parts.subcodes.push_back(part);
            at = next;
        }
    }
}

std::string codeText(const SoapFaultParts& parts)
{
    static constexpr const char* words[] = {"VersionMismatch", "MustUnderstand", "DataEncodingUnknown", "Sender",
                                            "Receiver"};
    std::string text = words[static_cast<int>(parts.code)];
    for (const std::string& subcode : parts.subcodes) text += "/" + subcode;
    return text;
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

SoapFault::SoapFault(SoapVersion version, std::string code, std::string reason, std::string detail, int line,
                     int column)
    : DomException(faultText(code, reason, detail, line, column), line, column), m_version(version),
      m_code(std::move(code))
{
    readCode(m_code, m_parts);
    m_parts.reason = std::move(reason);
    m_parts.detail = std::move(detail);
}

SoapFault::SoapFault(SoapFaultParts parts)
    : DomException(faultText(codeText(parts), parts.reason, parts.detail, 0, 0)), m_version(SoapVersion::None),
      m_code(codeText(parts)), m_parts(std::move(parts))
{
}

SoapFault::~SoapFault() = default;

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

SoapFaultPruner::SoapFaultPruner(std::string_view faultUri) : m_uri(faultUri) {}

bool SoapFaultPruner::enter(std::string_view uri, std::string_view name, const XMLAttributes& attributes)
{
    if (m_kept.empty()) {
        m_kept.push_back({Kept::Fault, 0});
        return true;
    }
    // As findPart matches: the fault's namespace or none for the SOAP 1.2
    // parts, none for the SOAP 1.1 ones.
    const bool partOf12 = uri == m_uri || uri.empty();
    const bool partOf11 = uri.empty();
    Kept& parent = m_kept.back();
    const auto first = [&](unsigned bit, Kept::Kind kind) {
        if (parent.seen & bit) return false;
        parent.seen |= bit;
        m_kept.push_back({kind, 0});
        return true;
    };
    switch (parent.kind) {
    case Kept::Fault:
        if (partOf12 && name == "Code") return first(1u << 0, Kept::Code);
        if (partOf12 && name == "Reason") return first(1u << 1, Kept::Reason);
        if (partOf12 && name == "Detail") return first(1u << 2, Kept::Other);
        if (partOf11 && name == "faultcode") return first(1u << 3, Kept::Other);
        if (partOf11 && name == "faultstring") return first(1u << 4, Kept::Other);
        if (partOf11 && name == "detail") return first(1u << 5, Kept::Other);
        return false;
    case Kept::Code:
        if (partOf12 && name == "Value") return first(1u << 0, Kept::Other);
        if (partOf12 && name == "Subcode") return first(1u << 1, Kept::Code);
        return false;
    case Kept::Reason: {
        if (!partOf12 || name != "Text") return false;
        const XMLAttribute* lang = nullptr;
        for (const XMLAttribute& attribute : attributes) {
            if (!lang && attribute.hasName(xmlLang)) lang = &attribute;
        }
        const bool english = isEnglish(lang);
        const bool firstText = !(parent.seen & 1u);
        const bool firstEnglish = english && !(parent.seen & 2u);
        if (!firstText && !firstEnglish) return false;
        parent.seen |= 1u | (english ? 2u : 0u);
        m_kept.push_back({Kept::Other, 0});
        return true;
    }
    case Kept::Other:
        break;
    }
    return false;
}

void SoapFaultPruner::leave() noexcept
{
    if (!m_kept.empty()) m_kept.pop_back();
}

void throwSoapFault(const XMLNode& fault)
{
    const SoapVersion version = soapVersionOf(fault.uri);
    // Some senders mix the versions' shapes (node-soap sends Code and Reason
    // in SOAP 1.1), so the other shape is tried when the version's own is absent.
    const bool soap12 = version == SoapVersion::Soap12;
    FaultParts parts = soap12 ? soap12Parts(fault) : soap11Parts(fault);
    FaultParts other = soap12 ? soap11Parts(fault) : soap12Parts(fault);
    if (!parts.found && other.found) std::swap(parts, other);
    // Without either shape, whatever the fault says is the best reason there is.
    if (!parts.found) parts.reason = textOf(&fault);
    if (parts.detail.empty()) {
        parts.detail = std::move(other.detail);
        parts.detailXml = std::move(other.detailXml);
    }
    SoapFault raised(version, std::move(parts.code), std::move(parts.reason), std::move(parts.detail), fault.line,
                     fault.column);
    raised.m_parts.detailXml = std::move(parts.detailXml);
    throw raised;
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
        if (child->uri == root.uri && child->name == "Fault") throwSoapFault(*child);
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
