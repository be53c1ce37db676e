// Reading a SOAP Fault element: its code with the namespaces its prefixes
// stand for, its reason, and its detail as text, markup and nodes.

#include "kvsoa/Soap.hpp"

#include <algorithm>
#include <utility>

#include "NamespaceScope.hpp"
#include "SoapFaultWriter.hpp"
#include "SoapText.hpp"

namespace Kavella::Soa::Common::Xml {

namespace {

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

// A code as a QName: the namespace its prefix stands for, where known.
struct CodeName {
    std::string uri;
    std::string local;
    bool prefixed = false;
};

CodeName codeName(std::string_view text, const NamespaceScope* scope)
{
    const std::string name = collapsed(text);
    const std::size_t colon = name.find(':');
    CodeName code;
    code.prefixed = colon != std::string::npos;
    code.local = code.prefixed ? name.substr(colon + 1) : name;
    if (scope) {
        const auto uri = scope->uriOf(code.prefixed ? std::string_view(name).substr(0, colon) : std::string_view());
        if (uri) code.uri = std::string(*uri);
    }
    return code;
}

std::string qualifiedCode(const std::string& uri, std::string_view local)
{
    return uri.empty() ? std::string(local) : "{" + uri + "}" + std::string(local);
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

// The outermost code: SOAP's words (in an envelope namespace, or in none as
// careless senders write them), SOAP 1.1's dotted parts after them as local
// names; any other name is a Receiver fault's first subcode.
void readFirstCode(const CodeName& name, SoapFaultParts& parts)
{
    const std::size_t dot = name.local.find('.');
    const std::string_view word = std::string_view(name.local).substr(0, dot);
    bool known = false;
    parts.code = codeOfWord(word, known);
    if (known && name.prefixed && !name.uri.empty() && soapVersionOf(name.uri) == SoapVersion::None) {
        known = false;
        parts.code = SoapFaultCode::Receiver;
    }
    if (!known && !word.empty()) parts.subcodes.push_back(qualifiedCode(name.uri, word));
    for (std::size_t at = dot; at != std::string::npos;) {
        const std::size_t next = name.local.find('.', at + 1);
        const std::string part = name.local.substr(at + 1, next == std::string::npos ? next : next - at - 1);
        if (!part.empty()) parts.subcodes.push_back(part);
        at = next;
    }
}

void readCodes(const std::vector<CodeName>& names, SoapFaultParts& parts)
{
    parts.code = SoapFaultCode::Receiver;
    parts.subcodes.clear();
    for (std::size_t level = 0; level < names.size(); ++level) {
        if (level == 0) {
            readFirstCode(names[level], parts);
        } else if (!names[level].local.empty()) {
            parts.subcodes.push_back(qualifiedCode(names[level].uri, names[level].local));
        }
    }
}

// "soap:Client.Authentication" (SOAP 1.1's dots) or "env:Sender/app:Locked"
// (each Subcode after a '/'), with no declarations at hand.
void readCodeText(std::string_view code, SoapFaultParts& parts)
{
    std::vector<CodeName> names;
    for (std::size_t start = 0; start <= code.size();) {
        const std::size_t slash = std::min(code.find('/', start), code.size());
        names.push_back(codeName(code.substr(start, slash - start), nullptr));
        start = slash + 1;
    }
    readCodes(names, parts);
}

struct FaultParts {
    bool found = false; // the shape's code or reason is there
    std::string code;
    std::vector<CodeName> codeNames;
    std::string reason;
    const XMLNode* detail = nullptr;
};

// Code/Value (each Subcode/Value after a '/'), Reason/Text and Detail. Each
// Value's prefix is resolved where it stands, its own declarations included.
FaultParts soap12Parts(const XMLNode& fault, NamespaceScope& scope)
{
    FaultParts parts;
    const std::size_t outside = scope.mark();
    for (const XMLNode* level = findPart(fault, fault.uri, "Code"); level;
         level = findPart(*level, fault.uri, "Subcode")) {
        parts.found = true;
        scope.declare(level->namespaces());
        const XMLNode* value = findPart(*level, fault.uri, "Value");
        const std::size_t around = scope.mark();
        if (value) scope.declare(value->namespaces());
        const std::string text = textOf(value);
        if (!parts.code.empty()) parts.code += '/';
        parts.code += text;
        parts.codeNames.push_back(codeName(text, &scope));
        scope.restore(around);
    }
    scope.restore(outside);
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
    parts.detail = findPart(fault, fault.uri, "Detail");
    return parts;
}

// faultcode, faultstring and detail, meant to be in no namespace.
FaultParts soap11Parts(const XMLNode& fault, NamespaceScope& scope)
{
    FaultParts parts;
    const XMLNode* code = findPart(fault, "", "faultcode");
    const XMLNode* reason = findPart(fault, "", "faultstring");
    parts.found = code || reason;
    parts.code = textOf(code);
    if (code) {
        const std::size_t outside = scope.mark();
        scope.declare(code->namespaces());
        parts.codeNames.push_back(codeName(parts.code, &scope));
        scope.restore(outside);
    }
    parts.reason = textOf(reason);
    parts.detail = findPart(fault, "", "detail");
    return parts;
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

std::string codeText(const SoapFaultParts& parts)
{
    std::string text = soap12Word(parts.code);
    for (const std::string& subcode : parts.subcodes) text += "/" + subcode;
    return text;
}

} // namespace

struct SoapFaultReading {
    [[noreturn]] static void raise(const XMLNode& fault, NamespaceScope& scope)
    {
        scope.declare(fault.namespaces());
        const SoapVersion version = soapVersionOf(fault.uri);
        // Some senders mix the versions' shapes (node-soap sends Code and Reason
        // in SOAP 1.1), so the other shape is tried when the version's own is absent.
        const bool soap12 = version == SoapVersion::Soap12;
        FaultParts parts = soap12 ? soap12Parts(fault, scope) : soap11Parts(fault, scope);
        FaultParts other = soap12 ? soap11Parts(fault, scope) : soap12Parts(fault, scope);
        if (!parts.found && other.found) std::swap(parts, other);
        // Without either shape, whatever the fault says is the best reason there is.
        if (!parts.found) parts.reason = textOf(&fault);
        std::string detail = textOf(parts.detail);
        if (detail.empty() && other.detail) {
            parts.detail = other.detail;
            detail = textOf(parts.detail);
        }
        SoapFault raised(version, std::move(parts.code), std::move(parts.reason), std::move(detail), fault.line,
                         fault.column);
        readCodes(parts.codeNames, raised.m_parts);
        if (parts.detail) {
            raised.m_parts.detailXml = contentMarkup(*parts.detail);
            raised.m_entries.reserve(parts.detail->children.size());
            for (const XMLNode* entry : parts.detail->children) raised.m_entries.emplace_back(*entry);
        }
        throw raised;
    }
};

SoapFault::SoapFault(SoapVersion version, std::string code, std::string reason, std::string detail, int line,
                     int column)
    : DomException(faultText(code, reason, detail, line, column), line, column), m_version(version),
      m_code(std::move(code))
{
    readCodeText(m_code, m_parts);
    m_parts.reason = std::move(reason);
    m_parts.detail = std::move(detail);
}

SoapFault::SoapFault(SoapFaultParts parts)
    : DomException(faultText(codeText(parts), parts.reason, parts.detail, 0, 0)), m_version(SoapVersion::None),
      m_code(codeText(parts)), m_parts(std::move(parts))
{
}

SoapFault::~SoapFault() = default;

std::vector<std::string> SoapFault::subcodeLocalNames() const
{
    std::vector<std::string> names;
    names.reserve(m_parts.subcodes.size());
    for (const std::string& subcode : m_parts.subcodes) names.emplace_back(localPart(subcode));
    return names;
}

const XMLNode* SoapFault::detailEntry(std::string_view uri, std::string_view name) const noexcept
{
    for (const XMLNode& entry : m_entries) {
        if (entry.uri == uri && entry.name == name) return &entry;
    }
    return nullptr;
}

void throwSoapFault(const XMLNode& fault)
{
    NamespaceScope scope;
    SoapFaultReading::raise(fault, scope);
}

void throwSoapFault(const XMLNode& fault, NamespaceScope outside)
{
    SoapFaultReading::raise(fault, outside);
}

} // namespace Kavella::Soa::Common::Xml
