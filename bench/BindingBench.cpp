// Reading, writing, copying and destroying messages through the library.

#include "Benchmarks.hpp"

namespace kvsoabench
{

namespace
{

using wi::AutoPtr;

template <typename Message>
AutoPtr<Message> read(const std::string& text)
{
    return wi::readXml<Message>(text);
}

template <typename Message>
AutoPtr<Message> readTree(const std::string& text)
{
    AutoPtr<Message> message(new Message);
    const ::Kavella::Soa::Common::Xml::XMLDocument parsed(text);
    message->parse(parsed.root());
    return message;
}

/// The tree that write and copy start from: read once, as a user would hold it.
template <typename Message>
const Message& heldMessage(Choice choice)
{
    static AutoPtr<Message> held;
    static Choice heldChoice{0, false};
    if (!held || heldChoice.bytes != choice.bytes) {
        held = AutoPtr<Message>();
        held = read<Message>(document<Message>(choice.bytes, false).text);
        heldChoice = choice;
    }
    return *held;
}

template <typename Message>
void timeReads(benchmark::State& state, Choice choice, AutoPtr<Message> (*readText)(const std::string&))
{
    const Document& doc = document<Message>(choice.bytes, choice.indented);
    for (auto _ : state) {
        const Stopwatch watch;
        AutoPtr<Message> message = readText(doc.text);
        state.SetIterationTime(watch.stop());
    }
    countBytes(state, doc);
}

} // namespace

// The text becomes objects, straight from the parser's events; the final
// release of the tree is not part of it (see destroy).
template <typename Message>
void benchRead(benchmark::State& state, Choice choice)
{
    timeReads<Message>(state, choice, &read<Message>);
}

// The tree path: XMLDocument, then parse; the temporary tree is part of it.
template <typename Message>
void benchReadTree(benchmark::State& state, Choice choice)
{
    timeReads<Message>(state, choice, &readTree<Message>);
}

// Compact: writeXml, the text a caller gets back. Indented: through a stream
// (writeXml offers no indentation), the text taken as a string too.
template <typename Message>
std::string writtenText(const Message& message, bool indented)
{
    if (!indented) return wi::writeXml(message);
    wi::XmlStream stream;
    stream.setIndent(2);
    message.outputXML(stream, MessageTraits<Message>::element);
    return stream.str();
}

template <typename Message>
void benchWrite(benchmark::State& state, Choice choice)
{
    const Document& doc = document<Message>(choice.bytes, choice.indented);
    const Message& message = heldMessage<Message>(choice);
    if (writtenText(message, choice.indented) != doc.text)
        state.SkipWithError("the tree read back does not write the same text");
    for (auto _ : state) {
        const Stopwatch watch;
        const std::string text = writtenText(message, choice.indented);
        benchmark::DoNotOptimize(text.data());
        state.SetIterationTime(watch.stop());
    }
    countBytes(state, doc);
}

// Copies share nested objects by contract: this is the cost of the handles,
// taking them and giving them back. Too short for the stopwatch.
template <typename Message>
void benchCopy(benchmark::State& state, Choice choice)
{
    const Document& doc = document<Message>(choice.bytes, choice.indented);
    const Message& message = heldMessage<Message>(choice);
    for (auto _ : state) {
        Message copy(message);
        benchmark::DoNotOptimize(&copy);
    }
    countBytes(state, doc);
}

// What a service pays per message: the read and the release of what it read.
// For small messages the fixed cost of a call shows here; timed as the
// parser's baselines are, without a stopwatch per iteration, which would
// cost more than the message.
template <typename Message>
void benchReadRelease(benchmark::State& state, Choice choice)
{
    const Document& doc = document<Message>(choice.bytes, choice.indented);
    for (auto _ : state) {
        AutoPtr<Message> message = read<Message>(doc.text);
        message = AutoPtr<Message>();
    }
    countBytes(state, doc);
}

// operator== on two trees read from the same text, so that nothing is shared
// and every value is compared: the cost next to read's of the same document.
template <typename Message>
void benchCompare(benchmark::State& state, Choice choice)
{
    const Document& doc = document<Message>(choice.bytes, choice.indented);
    const Message& message = heldMessage<Message>(choice);
    const AutoPtr<Message> other = read<Message>(doc.text);
    for (auto _ : state) {
        const Stopwatch watch;
        const bool equal = message == *other;
        state.SetIterationTime(watch.stop());
        if (!equal) state.SkipWithError("a message read twice compares unequal");
    }
    countBytes(state, doc);
}

// Releasing the last handle of a freshly read tree.
template <typename Message>
void benchDestroy(benchmark::State& state, Choice choice)
{
    const Document& doc = document<Message>(choice.bytes, choice.indented);
    for (auto _ : state) {
        AutoPtr<Message> message = read<Message>(doc.text);
        const Stopwatch watch;
        message = AutoPtr<Message>();
        state.SetIterationTime(watch.stop());
    }
    countBytes(state, doc);
}

template <typename Message>
void registerBinding(Choice choice)
{
    using Bench = void (*)(benchmark::State&, Choice);
    const std::pair<const char*, Bench> operations[] = {{"read", &benchRead<Message>},
                                                        {"read+release", &benchReadRelease<Message>},
                                                        {"tree-read", &benchReadTree<Message>},
                                                        {"write", &benchWrite<Message>},
                                                        {"copy", &benchCopy<Message>},
                                                        {"compare", &benchCompare<Message>},
                                                        {"destroy", &benchDestroy<Message>}};
    for (const auto& [name, bench] : operations) {
        auto* registered =
            sized(benchmark::RegisterBenchmark(benchmarkName<Message>(name, choice).c_str(), bench, choice), choice);
        if (bench != &benchCopy<Message> && bench != &benchReadRelease<Message>) registered->UseManualTime();
    }
}

template void registerBinding<SaveWorkInstructionDocInput>(Choice);
template void registerBinding<LoadedObjectsResponse>(Choice);
template void benchRead<SaveWorkInstructionDocInput>(benchmark::State&, Choice);
template void benchWrite<SaveWorkInstructionDocInput>(benchmark::State&, Choice);
template void benchDestroy<SaveWorkInstructionDocInput>(benchmark::State&, Choice);

} // namespace kvsoabench
