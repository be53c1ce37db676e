// The envelope judged as it arrives. Errors are kept by rank, the order in
// which a walk of the whole tree meets them, and raised only after the read,
// so that reading as events and reading a tree say the same. Only a Fault and
// the kept header blocks are captured as small trees, and only when they come.

#include "SoapEnvelopeState.hpp"
#include "SoapText.hpp"

namespace Kavella::Soa::Common::Xml {

SoapEnvelopeReader::SoapEnvelopeReader() : m_state(std::make_unique<State>()) {}

SoapEnvelopeReader::SoapEnvelopeReader(XMLEventReader& parser, XMLEventHandler* message) : SoapEnvelopeReader()
{
    m_state->parser = &parser;
    m_state->message = message;
}

SoapEnvelopeReader::~SoapEnvelopeReader() = default;

void SoapEnvelopeReader::setMessageHandler(XMLEventHandler* message) noexcept
{
    m_state->message = message;
}

void SoapEnvelopeReader::stopAfterHead() noexcept
{
    m_state->stopAfterHead = true;
}

void SoapEnvelopeReader::understand(std::string_view uri, std::string_view name)
{
    m_state->understood.emplace_back(uri, name);
}

bool SoapEnvelopeReader::understands(const SoapHeaderBlock& block) const noexcept
{
    for (const auto& [uri, name] : m_state->understood) {
        if (block.uri == uri && block.name == name) return true;
    }
    return false;
}

void SoapEnvelopeReader::startDocument()
{
    m_state->reset();
    if (m_state->message) m_state->message->startDocument();
}

void SoapEnvelopeReader::startElement(const XMLStartTag& tag)
{
    State& s = *m_state;
    const std::size_t depth = ++s.depth;
    if (depth == 1) s.startRoot(tag);
    // A document without envelope is the message, its errors its reader's.
    if (s.mode == State::Mode::Bare) {
        if (!s.message) return;
        s.message->startElement(tag);
        // Nothing of a bare document is the envelope's to judge: the parser's
        // events go straight to the message's handler, not through this one.
        if (s.parser) s.parser->handOver(*s.message);
        return;
    }
    if (s.mode != State::Mode::Envelope || depth == 1) return;
    if (depth == 2) {
        s.startEnvelopeChild(tag);
    } else if (depth == 3 && s.part == State::Part::Header) {
        s.startBlock(tag);
    } else if (depth == 3 && s.part == State::Part::Body) {
        s.startBodyElement(tag);
    } else if (depth > 3) {
        s.startBelow(tag);
    }
}

void SoapEnvelopeReader::endElement()
{
    State& s = *m_state;
    const std::size_t depth = s.depth--;
    if (s.mode == State::Mode::Bare) {
        if (s.message) s.message->endElement();
        return;
    }
    if (s.mode != State::Mode::Envelope) return;
    if (depth > 3) {
        s.endBelow();
    } else if (depth == 3) {
        s.endLevel3();
    } else if (depth == 2) {
        // The Body ended without a message: the head is all there is.
        if (s.part == State::Part::Body) {
            if (s.bodyElements == 0) s.record(SoapEnvelopeError::NoMessage, s.bodyAt);
            s.completeHead();
        }
        s.part = State::Part::None;
    } else {
        if (!s.body) s.record(SoapEnvelopeError::NoBody, s.envelopeAt);
        s.completeHead();
    }
}

void SoapEnvelopeReader::characters(std::string_view text)
{
    State& s = *m_state;
    if (s.mode == State::Mode::Bare) {
        if (s.message) s.message->characters(text);
        return;
    }
    if (s.mode != State::Mode::Envelope) return;
    if (s.depth == 1) {
        if (!isBlank(text)) s.record(SoapEnvelopeError::EnvelopeText, s.envelopeAt);
    } else if (s.depth == 2) {
        if (s.part == State::Part::Body && !isBlank(text)) s.record(SoapEnvelopeError::BodyText, s.bodyAt);
    } else if (s.inside == State::Inside::Message) {
        s.forward([&] { s.message->characters(text); });
    } else if (s.parser && (s.inside == State::Inside::Fault || s.inside == State::Inside::Block)) {
        if (s.inside == State::Inside::Block) s.blockBytes += text.size();
        s.capture->characters(text);
    }
}

const SoapEnvelopeHead& SoapEnvelopeReader::head() const noexcept
{
    return m_state->head;
}

bool SoapEnvelopeReader::headComplete() const noexcept
{
    return m_state->headComplete;
}

const SoapEnvelopeProblem* SoapEnvelopeReader::problem() const noexcept
{
    for (const auto& problem : m_state->problems) {
        if (problem) return &*problem;
    }
    return nullptr;
}

void SoapEnvelopeReader::raise() const
{
    m_state->raiseFirst(nullptr);
}

// The tree's envelope levels go through the reader as events; the message
// and a Fault are taken from the tree itself, the Fault whole.
const XMLNode& messageNode(const XMLNode& root)
{
    SoapEnvelopeReader reader;
    SoapEnvelopeReader::State& s = *reader.m_state;
    const XMLNode* message = nullptr;
    const XMLNode* fault = nullptr;
    const XMLNode* faultBody = nullptr;
    struct Open {
        const XMLNode* node;
        std::size_t next;
    };
    std::vector<Open> open;
    const auto start = [&](const XMLNode& node) {
        s.treeAt = {node.line, node.column};
        reader.startElement({node.name, node.uri, node.attributes(), node.prefix, node.namespaces()});
        if (!node.text.empty()) reader.characters(node.text);
        if (s.depth == 3 && s.inside == SoapEnvelopeReader::State::Inside::Message) message = &node;
        if (s.depth == 3 && s.inside == SoapEnvelopeReader::State::Inside::Fault && !fault) {
            fault = &node;
            faultBody = open.back().node;
        }
        open.push_back({&node, s.descends() ? 0 : node.children.size()});
    };
    start(root);
    if (s.mode == SoapEnvelopeReader::State::Mode::Bare) return root;
    while (!open.empty()) {
        Open& top = open.back();
        if (top.next < top.node->children.size()) {
            start(*top.node->children[top.next++]);
        } else {
            reader.endElement();
            open.pop_back();
        }
    }
    NamespaceScope outside;
    if (fault) {
        outside.declare(root.namespaces());
        outside.declare(faultBody->namespaces());
    }
    s.raiseFirst(fault, &outside);
    return *message;
}

} // namespace Kavella::Soa::Common::Xml
