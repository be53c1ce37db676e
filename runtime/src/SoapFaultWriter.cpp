#include "SoapFaultWriter.hpp"

#include <algorithm>

#include "kvsoa/Conversions.hpp"
#include "kvsoa/Soap.hpp"

namespace Kavella::Soa::Common::Xml {

namespace {

constexpr std::string_view xmlNamespace = "http://www.w3.org/XML/1998/namespace";
constexpr std::string_view replacement = "\xEF\xBF\xBD"; // U+FFFD

// The length of the well-formed UTF-8 sequence of a character XML allows at
// the start of text, or 0.
std::size_t xmlCharacterLength(std::string_view text)
{
    const auto byte = [&text](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(0);
    if (lead < 0x80) return lead >= 0x20 || lead == '\t' || lead == '\n' || lead == '\r' ? 1 : 0;
    const std::size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC2 ? 2 : 0;
    if (length == 0 || lead > 0xF4 || text.size() < length) return 0;
    unsigned long code = lead & (0x7F >> length);
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(i) & 0xC0) != 0x80) return 0;
        code = (code << 6) | (byte(i) & 0x3F);
    }
    const bool overlong = (length == 3 && code < 0x800) || (length == 4 && code < 0x10000);
    const bool outside = (code >= 0xD800 && code <= 0xDFFF) || code == 0xFFFE || code == 0xFFFF || code > 0x10FFFF;
    return overlong || outside ? 0 : length;
}

// Of "{uri}local" or "local".
std::string_view localPart(std::string_view name)
{
    const std::size_t brace = name.find('}');
    return brace == std::string_view::npos ? name : name.substr(brace + 1);
}

std::string_view uriPart(std::string_view name)
{
    return name.size() > 1 && name.front() == '{' && name.find('}') != std::string_view::npos
               ? name.substr(1, name.find('}') - 1)
               : std::string_view();
}

// A QName as element text or attribute value: its namespace declared on the
// element at hand under the prefix given.
void appendQNameValue(std::string& out, std::string_view element, std::string_view attribute, std::string_view name,
                      std::string_view prefix)
{
    const std::string_view uri = uriPart(name);
    out.append("<").append(element);
    if (!uri.empty()) {
        out.append(" xmlns:").append(prefix).append("=\"");
        appendFaultText(out, uri);
        out += '"';
    }
    const auto value = [&] {
        if (!uri.empty()) out.append(prefix).append(":");
        appendFaultText(out, localPart(name));
    };
    if (!attribute.empty()) {
        out.append(" ").append(attribute).append("=\"");
        value();
        out.append("\"/>");
    } else {
        out += '>';
        value();
        out.append("</").append(element).append(">");
    }
}

void appendElement(std::string& out, const XMLNode& node, std::string_view defaultUri);

void appendContent(std::string& out, const XMLNode& node, std::string_view defaultUri)
{
    const std::string_view text = node.text;
    std::size_t done = 0;
    for (const XMLNode* child : node.children) {
        const std::size_t at = std::min(std::max(child->textOffset(), done), text.size());
        appendFaultText(out, text.substr(done, at - done));
        done = at;
        appendElement(out, *child, defaultUri);
    }
    appendFaultText(out, text.substr(done));
}

// Each element declares the namespaces it uses, so that the markup stands
// anywhere: its own as the default, an attribute's under a prefix of its own.
void appendElement(std::string& out, const XMLNode& node, std::string_view defaultUri)
{
    out += '<';
    appendFaultText(out, node.name);
    if (node.uri != defaultUri) {
        out.append(" xmlns=\"");
        appendFaultText(out, node.uri);
        out += '"';
    }
    int prefixes = 0;
    for (const XMLAttribute& attribute : node.attributes()) {
        out += ' ';
        if (attribute.uri == xmlNamespace) {
            out.append("xml:");
        } else if (!attribute.uri.empty()) {
            const std::string prefix = "a" + std::to_string(++prefixes);
            out.append("xmlns:").append(prefix).append("=\"");
            appendFaultText(out, attribute.uri);
            out.append("\" ").append(prefix).append(":");
        }
        appendFaultText(out, attribute.name);
        out.append("=\"");
        appendFaultText(out, attribute.value);
        out += '"';
    }
    if (node.children.empty() && node.text.empty()) {
        out.append("/>");
        return;
    }
    out += '>';
    appendContent(out, node, node.uri);
    out.append("</");
    appendFaultText(out, node.name);
    out += '>';
}

const char* soap11Word(SoapFaultCode code)
{
    switch (code) {
    case SoapFaultCode::VersionMismatch: return "VersionMismatch";
    case SoapFaultCode::MustUnderstand: return "MustUnderstand";
    case SoapFaultCode::Sender:
    case SoapFaultCode::DataEncodingUnknown: return "Client";
    case SoapFaultCode::Receiver: break;
    }
    return "Server";
}

void appendSoap11Body(std::string& out, const SoapFaultParts& parts)
{
    out.append("<soapenv:Fault><faultcode>soapenv:").append(soap11Word(parts.code));
    // SOAP 1.1 has no DataEncodingUnknown of its own: a Client fault of that kind.
    if (parts.code == SoapFaultCode::DataEncodingUnknown) out.append(".DataEncodingUnknown");
    for (const std::string& subcode : parts.subcodes) {
        out += '.';
        appendFaultText(out, localPart(subcode));
    }
    out.append("</faultcode><faultstring>");
    appendFaultText(out, parts.reason);
    out.append("</faultstring>");
    if (!parts.detailXml.empty() || !parts.detail.empty()) {
        out.append("<detail>");
        if (parts.detailXml.empty()) appendFaultText(out, parts.detail);
        out.append(parts.detailXml).append("</detail>");
    }
    out.append("</soapenv:Fault>");
}

void appendSoap12Header(std::string& out, const SoapFaultParts& parts)
{
    if (parts.code == SoapFaultCode::MustUnderstand && !parts.notUnderstood.empty()) {
        out.append("<env:Header>");
        for (const std::string& block : parts.notUnderstood) {
            appendQNameValue(out, "env:NotUnderstood", "qname", block, "nu");
        }
        out.append("</env:Header>");
    }
    if (parts.code == SoapFaultCode::VersionMismatch) {
        out.append("<env:Header><env:Upgrade>");
        for (const char* uri : {Soap12NamespaceUri, Soap11NamespaceUri}) {
            appendQNameValue(out, "env:SupportedEnvelope", "qname", std::string("{") + uri + "}Envelope", "v");
        }
        out.append("</env:Upgrade></env:Header>");
    }
}

void appendSoap12Body(std::string& out, const SoapFaultParts& parts)
{
    out.append("<env:Fault><env:Code><env:Value>env:").append(soap12Word(parts.code));
    out.append("</env:Value>");
    for (const std::string& subcode : parts.subcodes) {
        out.append("<env:Subcode>");
        appendQNameValue(out, "env:Value", {}, subcode, "sc");
    }
    for (std::size_t i = 0; i < parts.subcodes.size(); ++i) out.append("</env:Subcode>");
    out.append("</env:Code><env:Reason><env:Text xml:lang=\"en\">");
    appendFaultText(out, parts.reason);
    out.append("</env:Text></env:Reason>");
    if (!parts.detailXml.empty() || !parts.detail.empty()) {
        out.append("<env:Detail>");
        if (parts.detailXml.empty()) appendFaultText(out, parts.detail);
        out.append(parts.detailXml).append("</env:Detail>");
    }
    out.append("</env:Fault>");
}

} // namespace

void appendFaultText(std::string& out, std::string_view text)
{
    try {
        appendXmlString(out, text);
        return;
    } catch (const DomException&) {
        // Rare: a reason quoting a cut name, say. Written as far as XML allows.
    }
    std::string carried;
    carried.reserve(text.size());
    while (!text.empty()) {
        const std::size_t length = xmlCharacterLength(text);
        carried.append(length ? text.substr(0, length) : replacement);
        text.remove_prefix(length ? length : 1);
    }
    appendXmlString(out, carried);
}

const char* soap12Word(SoapFaultCode code) noexcept
{
    switch (code) {
    case SoapFaultCode::VersionMismatch: return "VersionMismatch";
    case SoapFaultCode::MustUnderstand: return "MustUnderstand";
    case SoapFaultCode::DataEncodingUnknown: return "DataEncodingUnknown";
    case SoapFaultCode::Sender: return "Sender";
    case SoapFaultCode::Receiver: break;
    }
    return "Receiver";
}

std::string contentMarkup(const XMLNode& node)
{
    std::string out;
    appendContent(out, node, {});
    return out;
}

std::string elementMarkup(const XMLNode& node)
{
    std::string out;
    appendElement(out, node, {});
    return out;
}

std::string writeSoapFault(const SoapFault& fault, SoapVersion version)
{
    const SoapFaultParts& parts = fault.parts();
    std::string out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    if (version == SoapVersion::Soap12) {
        out.append("<env:Envelope xmlns:env=\"").append(Soap12NamespaceUri).append("\">");
        appendSoap12Header(out, parts);
        out.append("<env:Body>");
        appendSoap12Body(out, parts);
        return out.append("</env:Body></env:Envelope>\n");
    }
    out.append("<soapenv:Envelope xmlns:soapenv=\"").append(Soap11NamespaceUri).append("\"><soapenv:Body>");
    appendSoap11Body(out, parts);
    return out.append("</soapenv:Body></soapenv:Envelope>\n");
}

int soapFaultHttpStatus(SoapFaultCode code, SoapVersion version) noexcept
{
    return version == SoapVersion::Soap12 && code == SoapFaultCode::Sender ? 400 : 500;
}

} // namespace Kavella::Soa::Common::Xml
