// The envelope judged as it arrives: what each event means at its depth.

#include "SoapEnvelopeState.hpp"

#include <algorithm>

#include "SoapFaultWriter.hpp"
#include "SoapText.hpp"

namespace Kavella::Soa::Common::Xml {

namespace {

EnvelopeRank rankOf(SoapEnvelopeError error)
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

void SoapEnvelopeReader::State::record(SoapEnvelopeProblem problem)
{
    auto& kept = problems[rankOf(problem.error)];
    if (!kept) kept = std::move(problem);
}

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
    const bool understands = std::find(understood.begin(), understood.end(),
                                       std::pair<std::string, std::string>(tag.uri, tag.name)) != understood.end();
    if (problem && !(understands && problem->error == SoapEnvelopeError::MustUnderstand)) record(std::move(*problem));
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
            pruner->enter(tag);
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
        if ((faultFrames.empty() || faultFrames.back() == Kept) && pruner->enter(tag)) {
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

void SoapEnvelopeReader::State::raiseFirst(const XMLNode* treeFault, const NamespaceScope* outside) const
{
    for (int rank = 0; rank < rankCount; ++rank) {
        if (rank == Fault) {
            if (treeFault) throwSoapFault(*treeFault, outside ? *outside : NamespaceScope());
            if (faultWhole) throwSoapFault(*capture->root());
        } else if (rank == Message) {
            if (messageError) std::rethrow_exception(messageError);
        } else if (problems[rank]) {
            problems[rank]->raise();
        }
    }
}

} // namespace Kavella::Soa::Common::Xml
