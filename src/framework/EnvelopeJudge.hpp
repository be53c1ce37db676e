#pragma once

// A SOAP envelope judged as its events arrive, by the rules (and with the very
// messages) of messageNode, so that an enveloped message is read straight into
// its object and nothing of the envelope is kept but a fault.

#include <array>
#include <cstddef>
#include <exception>
#include <string>
#include <string_view>

#include "kvsoa/XMLEventReader.hpp"
#include "kvsoa/XMLNode.hpp"

namespace Velmora::Schemas::Mes::_2010_09::Workinstructions::detail {

class EnvelopeJudge {
public:
    using XMLNode = ::Kavella::Soa::Common::Xml::XMLNode;
    using XMLPosition = ::Kavella::Soa::Common::Xml::XMLPosition;
    using XMLStartTag = ::Kavella::Soa::Common::Xml::XMLStartTag;

    /// The document element, named Envelope; raises DomException at once when
    /// it lies outside both SOAP namespaces.
    void start(const XMLStartTag& tag, XMLPosition at);

    enum class Part { Header, Body, Other };
    /// A child of the Envelope: the Header (first only), the Body, or another
    /// element, which is refused.
    Part envelopeChild(const XMLStartTag& tag, XMLPosition at);
    /// A block of the Header, judged by its start tag (mustUnderstand).
    void headerBlock(const XMLStartTag& tag, XMLPosition at);

    enum class Content { Message, Fault, Other };
    /// An element of the Body: the message (the first), a fault (the first),
    /// or one too many.
    Content bodyChild(const XMLStartTag& tag, XMLPosition at);
    /// The Body ends.
    void bodyEnd();
    /// Text directly in the Envelope or in the Body.
    void envelopeText(std::string_view text);
    void bodyText(std::string_view text);

    /// The first Fault of the Body, captured whole.
    void fault(const XMLNode& fault);
    /// Reading the message failed; a fault or an envelope error still wins.
    void messageFailed(std::exception_ptr error);

    /// The Envelope ends: raises what messageNode and the message's parse,
    /// applied to the whole tree, would raise first.
    void finish();

private:
    // In the order messageNode finds them.
    enum Rank { EnvelopeText, EnvelopePart, NoBody, Fault, BodyText, NoMessage, SecondElement, Message, rankCount };

    template <typename Raise>
    void record(Rank rank, Raise&& raise);

    std::array<std::exception_ptr, rankCount> m_errors;
    std::string m_uri;
    XMLPosition m_at;
    XMLPosition m_bodyAt;
    std::size_t m_children = 0;
    bool m_body = false;
    std::size_t m_bodyElements = 0;
    bool m_fault = false;
};

} // namespace Velmora::Schemas::Mes::_2010_09::Workinstructions::detail
