// The envelope's rules and their texts, written once: the envelope reader
// applies them to events, messageNode and checkSoapHeader to trees.

#include "SoapText.hpp"
#include "kvsoa/SoapEnvelope.hpp"

namespace Kavella::Soa::Common::Xml {

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

} // namespace

std::optional<SoapEnvelopeProblem> soapHeaderBlockProblem(std::string_view envelopeUri, std::string_view uri,
                                                          std::string_view name, const XMLAttributes& attributes,
                                                          XMLPosition at)
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
    if (!marked || !addressedToUs(target, envelopeUri)) return std::nullopt;
    const std::string value = collapsed(marked->value);
    if (value == "0" || value == "false") return std::nullopt;
    const bool mandatory = value == "1" || value == "true";
    return SoapEnvelopeProblem{
        mandatory ? SoapEnvelopeError::MustUnderstand : SoapEnvelopeError::BadMustUnderstand, at, std::string(uri),
        std::string(name), mandatory ? std::string() : std::string(marked->value)};
}

std::string SoapEnvelopeProblem::message() const
{
    switch (error) {
    case SoapEnvelopeError::UnknownNamespace:
        return "<Envelope> is in " + (uri.empty() ? std::string("no namespace") : "the namespace " + shown(uri)) +
               ", so it is no SOAP envelope: SOAP 1.1 is " + Soap11NamespaceUri + ", SOAP 1.2 " + Soap12NamespaceUri;
    case SoapEnvelopeError::EnvelopeText: return "The SOAP Envelope holds text; only elements belong there";
    case SoapEnvelopeError::BodyText: return "The SOAP Body holds text; only elements belong there";
    case SoapEnvelopeError::UnexpectedElement:
        return "Unexpected element <" + qualified(uri, name) +
               "> in the SOAP Envelope: it holds an optional Header, then one Body";
    case SoapEnvelopeError::MustUnderstand:
        return "The SOAP header block <" + qualified(uri, name) +
               "> must be understood, and this receiver understands no header block";
    case SoapEnvelopeError::BadMustUnderstand:
        return "The SOAP header block <" + qualified(uri, name) + "> has mustUnderstand=\"" + shown(value) +
               "\"; expected 0, 1, false or true";
    case SoapEnvelopeError::NoBody: return "The SOAP Envelope has no Body";
    case SoapEnvelopeError::NoMessage: return "The SOAP Body holds no message";
    case SoapEnvelopeError::SecondElement: break;
    }
    return "The SOAP Body holds a second element <" + qualified(uri, name) + ">; it carries exactly one message";
}

void SoapEnvelopeProblem::raise() const
{
    throw DomException(message(), at.line, at.column);
}

void checkSoapHeader(const XMLNode& header)
{
    if (soapVersionOf(header.uri) == SoapVersion::None) {
        throw DomException("<" + qualified(header) + "> is no SOAP Header", header.line, header.column);
    }
    for (const XMLNode* block : header.children) {
        const auto problem =
            soapHeaderBlockProblem(header.uri, block->uri, block->name, block->attributes(), {block->line, block->column});
        if (problem) problem->raise();
    }
}

} // namespace Kavella::Soa::Common::Xml
