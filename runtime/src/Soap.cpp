#include "kvsoa/Soap.hpp"

#include <algorithm>
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
};

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
    parts.detail = textOf(findPart(fault, fault.uri, "Detail"));
    return parts;
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
    parts.detail = textOf(findPart(fault, "", "detail"));
    return parts;
}

// Whether a header block is addressed to this receiver, which acts as the
// next node and the ultimate receiver, and as no other role.
bool addressedToUs(const XMLNode& block, const std::string& envelopeUri)
{
    if (soapVersionOf(envelopeUri) == SoapVersion::Soap11) {
        const XMLAttribute* actor = block.findAttribute("{" + envelopeUri + "}actor");
        return !actor || collapsed(actor->value) == "http://schemas.xmlsoap.org/soap/actor/next";
    }
    const XMLAttribute* role = block.findAttribute("{" + envelopeUri + "}role");
    if (!role) return true;
    const std::string value = collapsed(role->value);
    const std::string roles = envelopeUri + "/role/";
    return value == roles + "next" || value == roles + "ultimateReceiver";
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
    const std::string envelopeUri(header.uri);
    const std::string mustUnderstand = "{" + envelopeUri + "}mustUnderstand";
    for (const XMLNode* block : header.children) {
        const XMLAttribute* marked = block->findAttribute(mustUnderstand);
        // A block for another node is that node's to judge, marking and all.
        if (!marked || !addressedToUs(*block, envelopeUri)) continue;
        const std::string value = collapsed(marked->value);
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
    if (parts.detail.empty()) parts.detail = std::move(other.detail);
    throw SoapFault(version, std::move(parts.code), std::move(parts.reason), std::move(parts.detail), fault.line,
                    fault.column);
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
