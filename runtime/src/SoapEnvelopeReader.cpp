// The envelope judged as it arrives. Errors are kept by rank, the order in
// which a walk of the whole tree meets them, and raised only after the read,
// so that reading as events and reading a tree say the same. Only a Fault and
// the kept header blocks are captured as small trees, and only when they come.

#include <array>
#include <optional>

#include "SoapFaultWriter.hpp"
#include "SoapText.hpp"
#include "kvsoa/SoapEnvelope.hpp"
#include "kvsoa/XMLDocument.hpp"

namespace Kavella::Soa::Common::Xml {

namespace {

// In the order messageNode finds them.
enum Rank { Foreign, EnvelopeText, EnvelopePart, NoBody, Fault, BodyText, NoMessage, SecondElement, Message, rankCount };

Rank rankOf(SoapEnvelopeError error)
{
    switch (error) {
    case SoapEnvelopeError::UnknownNamespace: return Foreign;
    case SoapEnvelopeError::EnvelopeText: return EnvelopeText;
    case SoapEnvelopeError::UnexpectedElement:
    case SoapEnvelopeError::MustUnderstand:
    case SoapEnvelopeError::BadMustUnderstand: return EnvelopePart;
    case SoapEnvelopeError::NoBody: return NoBody;
    case SoapEnvelopeError::BodyText: return BodyText;
    case SoapEnvelopeError::NoMessage: return NoMessage;
    case SoapEnvelopeError::SecondElement: break;
    }
    return SecondElement;
}

} // namespace

struct SoapEnvelopeReader::State {
    enum class Mode : unsigned char { Start, Bare, Foreign, Envelope };
    enum class Part : unsigned char { None, Header, Body, Other };         // the open child of the Envelope
    enum class Inside : unsigned char { Nothing, Message, Fault, Block }; // the open element below it
    enum FaultFrame : unsigned char { Kept, Folded };

    // Set once.
    XMLEventReader* parser = nullptr; // null for a tree's events (messageNode)
    XMLEventHandler* message = nullptr;
    bool stopAfterHead = false;
    XMLPosition treeAt; // a tree's events: where the element starting now begins

    SoapEnvelopeHead head;
    bool headComplete = false;
    Mode mode = Mode::Start;
    std::string envelopeUri;
    XMLPosition envelopeAt, bodyAt;
    std::size_t depth = 0;
    Part part = Part::None;
    Inside inside = Inside::Nothing;
    std::size_t envelopeChildren = 0;
    bool body = false;
    std::size_t bodyElements = 0;
    bool messageFailed = false; // the rest of the message is skipped

    std::array<std::optional<SoapEnvelopeProblem>, rankCount> problems;
    std::exception_ptr messageError;
    bool faultFound = false, faultWhole = false;
    std::optional<SoapFaultPruner> pruner;
    std::vector<FaultFrame> faultFrames; // below the Fault
    std::unique_ptr<XMLTreeBuilder> capture; // the Fault or a kept block, made when one comes
    std::size_t blockBytes = 0;              // of the block being kept, as read

    void reset()
    {
        head = {};
        headComplete = false;
        mode = Mode::Start;
        depth = envelopeChildren = bodyElements = 0;
        part = Part::None;
        inside = Inside::Nothing;
        body = messageFailed = faultFound = faultWhole = false;
        for (auto& problem : problems) problem.reset();
        messageError = nullptr;
    }

    XMLPosition position() { return parser ? parser->elementPosition() : treeAt; }

    void record(SoapEnvelopeProblem problem)
    {
        auto& kept = problems[rankOf(problem.error)];
        if (!kept) kept = std::move(problem);
    }
    void record(SoapEnvelopeError error, XMLPosition at, std::string_view uri = {}, std::string_view name = {})
    {
        record({error, at, std::string(uri), std::string(name), {}});
    }

    void completeHead()
    {
        if (headComplete) return;
        headComplete = true;
        if (stopAfterHead && parser) parser->stop();
    }
    void setMessage(const XMLStartTag& tag, XMLPosition at)
    {
        head.name.assign(tag.name);
        head.uri.assign(tag.uri);
        head.at = at;
        completeHead();
    }

    // What the message handler throws is kept, and the rest of the message skipped.
    template <typename Event>
    void forward(Event&& event)
    {
        if (!message || messageFailed) return;
        try {
            event();
        } catch (...) {
            if (!messageError) messageError = std::current_exception();
            messageFailed = true;
        }
    }

    void startRoot(const XMLStartTag& tag);
    void startEnvelopeChild(const XMLStartTag& tag);
    void startBlock(const XMLStartTag& tag);
    void startBodyElement(const XMLStartTag& tag);
    void startBelow(const XMLStartTag& tag);
    void endBelow();
    void endLevel3();

    bool descends() const;
    void raiseFirst(const XMLNode* treeFault) const;
};

void SoapEnvelopeReader::State::startRoot(const XMLStartTag& tag)
{
    const XMLPosition at = position();
    const SoapVersion version = tag.name == "Envelope" ? soapVersionOf(tag.uri) : SoapVersion::None;
    if (version == SoapVersion::None) {
        // An Envelope of no version known is no message either: its events go nowhere.
        mode = tag.name == "Envelope" ? Mode::Foreign : Mode::Bare;
        if (mode == Mode::Foreign) record(SoapEnvelopeError::UnknownNamespace, at, tag.uri);
        setMessage(tag, at);
        return;
    }
    mode = Mode::Envelope;
    head.version = version;
    envelopeUri = soapNamespaceUri(version);
    envelopeAt = at;
}

void SoapEnvelopeReader::State::startEnvelopeChild(const XMLStartTag& tag)
{
    const bool ours = tag.uri == envelopeUri;
    const std::size_t index = envelopeChildren++;
    if (ours && tag.name == "Header" && index == 0) {
        part = Part::Header;
    } else if (ours && tag.name == "Body" && !body) {
        part = Part::Body;
        body = true;
        bodyAt = position();
    } else {
        part = Part::Other;
        record(SoapEnvelopeError::UnexpectedElement, position(), tag.uri, tag.name);
    }
}

void SoapEnvelopeReader::State::startBlock(const XMLStartTag& tag)
{
    const XMLPosition at = position();
    auto problem = soapHeaderBlockProblem(envelopeUri, tag.uri, tag.name, tag.attributes, at);
    ++head.headerBlockCount;
    if (head.headerBlocks.size() < maxKeptBlocks) {
        SoapHeaderBlock& block = head.headerBlocks.emplace_back();
        block.uri.assign(tag.uri);
        block.name.assign(tag.name);
        block.at = at;
        for (const XMLAttribute& attribute : tag.attributes) {
            block.attributes.push_back({std::string(attribute.uri), std::string(attribute.name),
                                        std::string(attribute.value)});
        }
        block.mandatory = problem && problem->error == SoapEnvelopeError::MustUnderstand;
        if (parser) {
            if (!capture) capture = std::make_unique<XMLTreeBuilder>(*parser);
            capture->clear();
            capture->startElement(tag);
            blockBytes = 0;
            inside = Inside::Block;
        }
    }
    if (problem) record(std::move(*problem));
}

void SoapEnvelopeReader::State::startBodyElement(const XMLStartTag& tag)
{
    const std::size_t index = bodyElements++;
    if (index == 1) record(SoapEnvelopeError::SecondElement, position(), tag.uri, tag.name);
    if (tag.uri == envelopeUri && tag.name == "Fault" && !faultFound) {
        faultFound = true;
        inside = Inside::Fault;
        if (parser) {
            pruner.emplace(tag.uri);
            pruner->enter(tag.uri, tag.name, tag.attributes);
            faultFrames.clear();
            if (!capture) capture = std::make_unique<XMLTreeBuilder>(*parser);
            capture->clear();
            capture->startElement(tag);
        }
    } else if (index == 0) {
        inside = Inside::Message;
    }
    if (index == 0) setMessage(tag, position());
    if (inside == Inside::Message) forward([&] { message->startElement(tag); });
}

// Of a fault only what it is read from is kept; the rest lends its text.
void SoapEnvelopeReader::State::startBelow(const XMLStartTag& tag)
{
    switch (inside) {
    case Inside::Message: forward([&] { message->startElement(tag); }); break;
    case Inside::Fault:
        if ((faultFrames.empty() || faultFrames.back() == Kept) && pruner->enter(tag.uri, tag.name, tag.attributes)) {
            capture->startElement(tag);
            faultFrames.push_back(Kept);
        } else {
            capture->characters(" ");
            faultFrames.push_back(Folded);
        }
        break;
    case Inside::Block:
        blockBytes += tag.name.size() + tag.uri.size();
        for (const XMLAttribute& attribute : tag.attributes) {
            blockBytes += attribute.name.size() + attribute.uri.size() + attribute.value.size();
        }
        capture->startElement(tag);
        break;
    case Inside::Nothing: break;
    }
}

void SoapEnvelopeReader::State::endBelow()
{
    switch (inside) {
    case Inside::Message: forward([&] { message->endElement(); }); break;
    case Inside::Fault:
        if (faultFrames.back() == Kept) {
            capture->endElement();
            pruner->leave();
        } else {
            capture->characters(" ");
        }
        faultFrames.pop_back();
        break;
    case Inside::Block: capture->endElement(); break;
    case Inside::Nothing: break;
    }
}

void SoapEnvelopeReader::State::endLevel3()
{
    switch (inside) {
    case Inside::Message:
        forward([&] { message->endElement(); });
        messageFailed = false;
        break;
    case Inside::Fault:
        if (parser) {
            capture->endElement();
            pruner->leave();
            faultWhole = true;
        }
        break;
    case Inside::Block:
        capture->endElement();
        if (blockBytes <= maxBlockMarkup) {
            std::string markup = elementMarkup(*capture->root());
            if (markup.size() <= maxBlockMarkup) head.headerBlocks.back().markup = std::move(markup);
        }
        capture->clear();
        break;
    case Inside::Nothing: break;
    }
    inside = Inside::Nothing;
}

bool SoapEnvelopeReader::State::descends() const
{
    if (mode != Mode::Envelope) return false;
    if (depth == 1) return true;
    return depth == 2 && (part == Part::Header || part == Part::Body);
}

void SoapEnvelopeReader::State::raiseFirst(const XMLNode* treeFault) const
{
    for (int rank = 0; rank < rankCount; ++rank) {
        if (rank == Fault) {
            if (treeFault) throwSoapFault(*treeFault);
            if (faultWhole) throwSoapFault(*capture->root());
        } else if (rank == Message) {
            if (messageError) std::rethrow_exception(messageError);
        } else if (problems[rank]) {
            problems[rank]->raise();
        }
    }
}

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
        if (s.message) s.message->startElement(tag);
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
    struct Open {
        const XMLNode* node;
        std::size_t next;
    };
    std::vector<Open> open;
    const auto start = [&](const XMLNode& node) {
        s.treeAt = {node.line, node.column};
        reader.startElement({node.name, node.uri, node.attributes()});
        if (!node.text.empty()) reader.characters(node.text);
        if (s.depth == 3 && s.inside == SoapEnvelopeReader::State::Inside::Message) message = &node;
        if (s.depth == 3 && s.inside == SoapEnvelopeReader::State::Inside::Fault) fault = &node;
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
    s.raiseFirst(fault);
    return *message;
}

} // namespace Kavella::Soa::Common::Xml
