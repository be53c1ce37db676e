#include "EnvelopeJudge.hpp"

#include "kvsoa/Soap.hpp"

namespace Velmora::Schemas::Mes::_2010_09::Workinstructions::detail {

namespace {

using ::Kavella::Soa::Common::Xml::messageNode;

bool isBlank(std::string_view text)
{
    return text.find_first_not_of(" \t\n\r") == std::string_view::npos;
}

} // namespace

// Each error is found by messageNode itself, on a small tree that holds just
// what makes it: one set of rules and texts for both ways of reading.
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

EnvelopeJudge::XMLNode EnvelopeJudge::nodeOf(const XMLStartTag& tag, XMLPosition at)
{
    XMLNode node;
    node.name = tag.name;
    node.uri = tag.uri;
    node.line = at.line;
    node.column = at.column;
    for (const auto& attribute : tag.attributes) node.setAttr(attribute.qualifiedName(), std::string(attribute.value));
    return node;
}

EnvelopeJudge::XMLNode EnvelopeJudge::envelope() const
{
    XMLNode node;
    node.name = "Envelope";
    node.uri = m_uri;
    node.line = m_at.line;
    node.column = m_at.column;
    return node;
}

EnvelopeJudge::XMLNode EnvelopeJudge::bodyWith(std::string_view text) const
{
    XMLNode body;
    body.name = "Body";
    body.uri = m_uri;
    body.text = text;
    body.line = m_bodyAt.line;
    body.column = m_bodyAt.column;
    return body;
}

void EnvelopeJudge::start(const XMLStartTag& tag, XMLPosition at)
{
    m_uri = tag.uri;
    m_at = at;
    if (::Kavella::Soa::Common::Xml::soapVersionOf(m_uri) == ::Kavella::Soa::Common::Xml::SoapVersion::None) {
        ::Kavella::Soa::Common::Xml::throwUnknownEnvelope(m_uri, at.line, at.column);
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
        // After a Body, any element is one too many.
        XMLNode root = envelope();
        XMLNode body = bodyWith({});
        XMLNode child = nodeOf(tag, at);
        root.children = {&body, &child};
        messageNode(root);
    });
    return Part::Other;
}

void EnvelopeJudge::headerBlock(const XMLStartTag& tag, XMLPosition at)
{
    record(EnvelopePart, [&] {
        ::Kavella::Soa::Common::Xml::checkSoapHeaderBlock(m_uri, tag.uri, tag.name, tag.attributes, at.line,
                                                          at.column);
    });
}

EnvelopeJudge::Content EnvelopeJudge::bodyChild(const XMLStartTag& tag, XMLPosition at)
{
    const std::size_t index = m_bodyElements++;
    if (index == 0) {
        m_firstName = tag.name;
        m_firstUri = tag.uri;
        m_firstAt = at;
    } else {
        record(SecondElement, [&] {
            XMLNode root = envelope();
            XMLNode body = bodyWith({});
            XMLNode first;
            first.name = m_firstName;
            first.uri = m_firstUri;
            first.line = m_firstAt.line;
            first.column = m_firstAt.column;
            XMLNode second = nodeOf(tag, at);
            body.children = {&first, &second};
            root.children = {&body};
            messageNode(root);
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
    record(NoMessage, [&] {
        XMLNode root = envelope();
        XMLNode body = bodyWith({});
        root.children = {&body};
        messageNode(root);
    });
}

void EnvelopeJudge::envelopeText(std::string_view text)
{
    if (isBlank(text)) return;
    record(EnvelopeText, [&] {
        XMLNode root = envelope();
        root.text = text;
        messageNode(root);
    });
}

void EnvelopeJudge::bodyText(std::string_view text)
{
    if (isBlank(text)) return;
    record(BodyText, [&] {
        XMLNode root = envelope();
        XMLNode body = bodyWith(text);
        root.children = {&body};
        messageNode(root);
    });
}

void EnvelopeJudge::fault(const XMLNode& fault)
{
    record(Fault, [&] { ::Kavella::Soa::Common::Xml::throwSoapFault(fault); });
}

void EnvelopeJudge::messageFailed(std::exception_ptr error)
{
    if (!m_errors[Message]) m_errors[Message] = std::move(error);
}

void EnvelopeJudge::finish()
{
    if (!m_body) {
        record(NoBody, [&] { messageNode(envelope()); });
    }
    for (const std::exception_ptr& error : m_errors) {
        if (error) std::rethrow_exception(error);
    }
}

} // namespace Velmora::Schemas::Mes::_2010_09::Workinstructions::detail
