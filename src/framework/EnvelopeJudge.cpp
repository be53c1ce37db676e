#include "EnvelopeJudge.hpp"

#include "kvsoa/Soap.hpp"

namespace Velmora::Schemas::Mes::_2010_09::Workinstructions::detail {

namespace {

namespace xml = ::Kavella::Soa::Common::Xml;
using xml::SoapEnvelopeError;
using xml::throwSoapEnvelopeError;

bool isBlank(std::string_view text)
{
    return text.find_first_not_of(" \t\n\r") == std::string_view::npos;
}

} // namespace

// The rules and texts are messageNode's own; what differs is only that errors
// found early wait until the Envelope ends, so that the first in messageNode's
// order is raised.
template <typename Raise>
void EnvelopeJudge::record(Rank rank, Raise&& raise)
{
    if (m_errors[rank]) return;
    try {
        raise();
    } catch (...) {
        m_errors[rank] = std::current_exception();
    }
}

void EnvelopeJudge::start(const XMLStartTag& tag, XMLPosition at)
{
    m_uri = tag.uri;
    m_at = at;
    if (xml::soapVersionOf(m_uri) == xml::SoapVersion::None) {
        throwSoapEnvelopeError(SoapEnvelopeError::UnknownNamespace, at.line, at.column, m_uri);
    }
}

EnvelopeJudge::Part EnvelopeJudge::envelopeChild(const XMLStartTag& tag, XMLPosition at)
{
    const bool ours = tag.uri == m_uri;
    const std::size_t index = m_children++;
    if (ours && tag.name == "Header" && index == 0) return Part::Header;
    if (ours && tag.name == "Body" && !m_body) {
        m_body = true;
        m_bodyAt = at;
        return Part::Body;
    }
    record(EnvelopePart, [&] {
        throwSoapEnvelopeError(SoapEnvelopeError::UnexpectedElement, at.line, at.column, tag.uri, tag.name);
    });
    return Part::Other;
}

void EnvelopeJudge::headerBlock(const XMLStartTag& tag, XMLPosition at)
{
    record(EnvelopePart, [&] { xml::checkSoapHeaderBlock(m_uri, tag.uri, tag.name, tag.attributes, at.line, at.column); });
}

EnvelopeJudge::Content EnvelopeJudge::bodyChild(const XMLStartTag& tag, XMLPosition at)
{
    const std::size_t index = m_bodyElements++;
    if (index == 1) {
        record(SecondElement, [&] {
            throwSoapEnvelopeError(SoapEnvelopeError::SecondElement, at.line, at.column, tag.uri, tag.name);
        });
    }
    if (tag.uri == m_uri && tag.name == "Fault") {
        if (m_fault) return Content::Other;
        m_fault = true;
        return Content::Fault;
    }
    return index == 0 ? Content::Message : Content::Other;
}

void EnvelopeJudge::bodyEnd()
{
    if (m_bodyElements > 0) return;
    record(NoMessage, [&] { throwSoapEnvelopeError(SoapEnvelopeError::NoMessage, m_bodyAt.line, m_bodyAt.column); });
}

void EnvelopeJudge::envelopeText(std::string_view text)
{
    if (isBlank(text)) return;
    record(EnvelopeText, [&] { throwSoapEnvelopeError(SoapEnvelopeError::EnvelopeText, m_at.line, m_at.column); });
}

void EnvelopeJudge::bodyText(std::string_view text)
{
    if (isBlank(text)) return;
    record(BodyText, [&] { throwSoapEnvelopeError(SoapEnvelopeError::BodyText, m_bodyAt.line, m_bodyAt.column); });
}

void EnvelopeJudge::fault(const XMLNode& fault)
{
    record(Fault, [&] { xml::throwSoapFault(fault); });
}

void EnvelopeJudge::messageFailed(std::exception_ptr error)
{
    if (!m_errors[Message]) m_errors[Message] = std::move(error);
}

void EnvelopeJudge::finish()
{
    if (!m_body) record(NoBody, [&] { throwSoapEnvelopeError(SoapEnvelopeError::NoBody, m_at.line, m_at.column); });
    for (const std::exception_ptr& error : m_errors) {
        if (error) std::rethrow_exception(error);
    }
}

} // namespace Velmora::Schemas::Mes::_2010_09::Workinstructions::detail
