#pragma once

// The envelope reader's state, apart from its public face: the rules it
// applies as events arrive, and the ranks by which it keeps what is wrong.

#include <array>
#include <exception>
#include <memory>
#include <optional>
#include <vector>

#include "kvsoa/SoapEnvelope.hpp"
#include "NamespaceScope.hpp"
#include "kvsoa/XMLDocument.hpp"

namespace Kavella::Soa::Common::Xml {

// In the order messageNode finds them.
enum EnvelopeRank { Foreign, EnvelopeText, EnvelopePart, NoBody, Fault, BodyText, NoMessage, SecondElement, Message, rankCount };

struct SoapEnvelopeReader::State {
    enum class Mode : unsigned char { Start, Bare, Foreign, Envelope };
    enum class Part : unsigned char { None, Header, Body, Other };         // the open child of the Envelope
    enum class Inside : unsigned char { Nothing, Message, Fault, Block }; // the open element below it
    enum FaultFrame : unsigned char { Kept, Folded };

    // Set once.
    XMLEventReader* parser = nullptr; // null for a tree's events (messageNode)
    XMLEventHandler* message = nullptr;
    bool stopAfterHead = false;
    std::vector<std::pair<std::string, std::string>> understood; // {uri, name} of blocks the receiver reads
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

    void record(SoapEnvelopeProblem problem);
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
    /// Raises the first problem in the rules' order; a tree's Fault is read
    /// with the declarations its Envelope and Body made (outside).
    void raiseFirst(const XMLNode* treeFault, const NamespaceScope* outside = nullptr) const;
};

} // namespace Kavella::Soa::Common::Xml
