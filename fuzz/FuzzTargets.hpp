#pragma once

// What each fuzz target does with one input. Shared by the libFuzzer programs
// and by the test that replays the seed corpus and every input that once
// failed. A target throws Failure for a fault it finds; DomException from
// reading hostile input is the expected, clean refusal.

#include <cstddef>
#include <optional>
#include <set>
#include <stdexcept>
#include <istream>
#include <string>
#include <string_view>
#include <typeinfo>
#include <vector>

#include "../tests/runtime/PieceStreams.hpp"
#include "kvsoa/Common.hpp"
#include "kvsoa/Soap.hpp"
#include "workinstructions/WorkInstructions.hpp"

namespace fuzztargets {

namespace wi = ::Velmora::Schemas::Mes::_2010_09::Workinstructions;
using ::Kavella::Soa::Common::AutoPtr;
using ::Kavella::Soa::Common::Xml::BaseObject;
using ::Kavella::Soa::Common::Xml::DomException;
using ::Kavella::Soa::Common::Xml::XMLDocument;
using ::Kavella::Soa::Common::Xml::XMLNode;
using ::Kavella::Soa::Common::Xml::XMLReadLimits;
using ::Kavella::Soa::Common::Xml::XmlStream;

struct Failure : std::runtime_error {
    using std::runtime_error::runtime_error;
};

inline std::optional<XMLDocument> tryRead(std::string_view bytes, std::size_t maxDepth)
{
    XMLReadLimits limits;
    limits.maxDepth = maxDepth;
    try {
        return std::optional<XMLDocument>(std::in_place, bytes, limits);
    } catch (const DomException&) {
        return std::nullopt;
    }
}

/// Reads the bytes as a document. A document read must be a sound tree, and a
/// lower depth limit must refuse it exactly when the tree is deeper.
inline void readDocument(std::string_view bytes)
{
    const auto document = tryRead(bytes, XMLReadLimits{}.maxDepth);
    if (!document) return;

    std::size_t reached = 0;
    std::size_t deepest = 0;
    std::vector<std::pair<const XMLNode*, std::size_t>> pending{{&document->root(), 1}};
    while (!pending.empty()) {
        const auto [node, depth] = pending.back();
        pending.pop_back();
        ++reached;
        deepest = std::max(deepest, depth);
        if (node->name.empty()) throw Failure("element without a local name");
        std::set<std::string> names;
        for (const auto& attribute : node->attributes()) {
            const std::string name = attribute.qualifiedName();
            if (name.empty()) throw Failure("attribute without a name");
            if (!names.insert(name).second) throw Failure("attribute " + name + " read twice");
            if (node->getAttr(name) != attribute.value) throw Failure("attribute " + name + " not found by its name");
        }
        for (const XMLNode* child : node->children) pending.emplace_back(child, depth + 1);
    }
    if (reached != document->size()) throw Failure("nodes unreachable from the root");

    constexpr std::size_t shallow = 4;
    if (tryRead(bytes, shallow).has_value() != (deepest <= shallow))
        throw Failure("depth limit " + std::to_string(shallow) + " misjudged a tree " + std::to_string(deepest) + " deep");
}

template <typename Message>
std::string writeText(const Message& message, const char* localName)
{
    XmlStream stream;
    message.outputXML(stream, stream.getNamespacePrefix(wi::NamespaceUri) + ":" + localName);
    return stream.str();
}

/// Whether the bytes may mark a member xsi:nil.
inline bool markedNil(std::string_view bytes)
{
    return bytes.find("XMLSchema-instance") != std::string_view::npos && bytes.find("nil") != std::string_view::npos;
}

/// Reads the bytes into a Message. Whatever was read, even by a parse that
/// failed half-way, must write, and the written text must read back into the
/// same text; a clone writes the same, and namespace collection works.
template <typename Message>
void roundTrip(std::string_view bytes, const char* localName)
{
    const auto document = tryRead(bytes, XMLReadLimits{}.maxDepth);
    if (!document) return;
    AutoPtr<Message> message(new Message);
    try {
        message->parse(document->root());
    } catch (const DomException&) {
        // refused, but keeps what it read before
    }

    std::string first;
    try {
        first = writeText(*message, localName);
    } catch (const DomException& error) {
        throw Failure(std::string("what was read does not write: ") + error.what());
    }
    const auto readBack = [&](const std::string& text) {
        Message again;
        try {
            again.parse(XMLDocument(text).root());
        } catch (const DomException& error) {
            throw Failure(std::string("the written text does not read back: ") + error.what() + "\n" + text);
        }
        return writeText(again, localName);
    };
    std::string second = readBack(first);
    // A member marked xsi:nil reads as a null handle and is written as absent,
    // which reads back as a default object: the text settles one round later.
    if (second != first && markedNil(bytes)) {
        first = second;
        second = readBack(first);
    }
    if (second != first) throw Failure("the written text changes when read back:\n" + first);

    const AutoPtr<BaseObject> clone(message->clone());
    if (!clone || writeText(static_cast<const Message&>(*clone), localName) != writeText(*message, localName))
        throw Failure("a clone writes differently");
    std::set<std::string> namespaces;
    message->getNamespaces(namespaces);
    if (namespaces.count(wi::NamespaceUri) == 0) throw Failure("the schema namespace is not collected");
}

/// What reading gave: the text the object writes, or the refusal and where.
struct Outcome {
    std::string written;
    std::string error;
    int line = 0;
    int column = 0;

    bool operator==(const Outcome& other) const
    {
        return written == other.written && error == other.error && line == other.line && column == other.column;
    }
    std::string describe() const
    {
        if (error.empty()) return "read, writes " + written;
        return "refused at " + std::to_string(line) + ":" + std::to_string(column) + ": " + error;
    }
};

template <typename Read>
Outcome outcomeOf(Read&& read)
{
    try {
        return {read(), "", 0, 0};
    } catch (const DomException& error) {
        return {"", error.getMessage(), error.line(), error.column()};
    }
}

/// readXml from memory and from a stream that arrives a few bytes at a time
/// (how few, the bytes decide) must say the same about the bytes: what they
/// read, or how and where they refuse them. What is read must write, and read
/// back to the same text.
template <typename Message>
void readBothWays(std::string_view bytes, const XMLReadLimits& limits)
{
    const Outcome memory = outcomeOf([&] { return wi::writeXml(*wi::readXml<Message>(bytes, limits)); });
    const Outcome streamed = outcomeOf([&] {
        reader_test::PieceBuffer buffer(bytes, 1 + bytes.size() % 61);
        std::istream stream(&buffer);
        return wi::writeXml(*wi::readXml<Message>(stream, limits));
    });
    if (!(memory == streamed)) {
        throw Failure(std::string("reading from memory and from a stream disagree on a ") + typeid(Message).name() +
                      ":\n  memory: " + memory.describe() + "\n  stream: " + streamed.describe());
    }
    if (!memory.error.empty()) return;
    Outcome settled = memory;
    Outcome again = outcomeOf([&] { return wi::writeXml(*wi::readXml<Message>(settled.written)); });
    if (!(again == settled) && markedNil(bytes)) { // as in roundTrip
        settled = again;
        again = outcomeOf([&] { return wi::writeXml(*wi::readXml<Message>(settled.written)); });
    }
    if (!(again == settled)) {
        throw Failure(std::string("what a ") + typeid(Message).name() + " read does not read back:\n  first: " +
                      settled.describe() + "\n  again: " + again.describe());
    }
}

inline void readAsEveryClass(std::string_view bytes)
{
    XMLReadLimits shallow;
    shallow.maxDepth = 4;
    // Every other limit low enough that inputs reach it.
    XMLReadLimits tight;
    tight.maxAttributes = 3;
    tight.maxNamespaces = 2;
    tight.maxNameLength = 12;
    tight.maxUriLength = 70;
    tight.maxDistinctNames = 12;
    for (const XMLReadLimits& limits : {XMLReadLimits{}, shallow, tight}) {
#define KVSOA_READ(Class) readBothWays<wi::Class>(bytes, limits);
        WI_SCHEMA_CLASSES(KVSOA_READ)
#undef KVSOA_READ
    }
}

struct Target {
    const char* name;
    void (*run)(std::string_view bytes);
};

#define KVSOA_FUZZ_MESSAGE(Class) \
    Target { #Class, [](std::string_view bytes) { roundTrip<wi::Class>(bytes, #Class); } }

inline const Target targets[] = {
    {"XMLDocument", &readDocument},
    {"ReadXml", &readAsEveryClass},
    KVSOA_FUZZ_MESSAGE(CreateInput),
    KVSOA_FUZZ_MESSAGE(LoadWorkInstructionDocInput),
    KVSOA_FUZZ_MESSAGE(LoadedObjectsResponse),
    KVSOA_FUZZ_MESSAGE(SaveWorkInstructionDocInput),
    KVSOA_FUZZ_MESSAGE(SavedObjectsResponse),
};

#undef KVSOA_FUZZ_MESSAGE

inline const Target* findTarget(std::string_view name)
{
    for (const Target& target : targets) {
        if (name == target.name) return &target;
    }
    return nullptr;
}

} // namespace fuzztargets
