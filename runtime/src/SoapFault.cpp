// Reading a SOAP Fault, the whole element or the parts a reader keeps of it.

#include "kvsoa/Soap.hpp"

#include <algorithm>
#include <utility>

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
    std::string text = soap12Word(parts.code);
    for (const std::string& subcode : parts.subcodes) text += "/" + subcode;
    return text;
}

} // namespace

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

} // namespace Kavella::Soa::Common::Xml
