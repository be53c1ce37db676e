// Nesting depth: the deepest document the reader admits goes through every
// recursive operation on a small stack; one level more is refused; a tree a
// caller built deeper than that fails to write with a clear error.

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "HostileSupport.hpp"

namespace {

using namespace hostile;

/// A document whose elements nest exactly depth levels: the given outer
/// elements (the first being the root, the last a creation input), then
/// compound inputs and their creation inputs in turn, down to depth.
std::string nestedDocument(const std::vector<std::string>& outer, std::size_t depth)
{
    std::vector<std::string> names;
    std::string text;
    for (const auto& name : outer) {
        text += "<wi:" + name + (names.empty() ? declarations() : "") + ">";
        names.push_back(name);
    }
    bool map = true;
    while (names.size() < depth) {
        names.push_back(map ? "compoundCreateInput" : "value");
        text += "<wi:" + names.back() + (map ? " key=\"k" : " type=\"t") + std::to_string(names.size()) + "\">";
        map = !map;
    }
    for (auto name = names.rbegin(); name != names.rend(); ++name) text += "</wi:" + *name + ">";
    return text;
}

/// Counts the creation inputs down the first compound input of each level.
std::size_t chainLength(const wi::CreateInput& top)
{
    std::size_t length = 1;
    for (const wi::CreateInput* input = &top; !input->getCompoundCreateInputArray().empty();) {
        const auto& values = input->getCompoundCreateInputArray().front()->getValueArray();
        if (values.empty()) break;
        input = values.front().get();
        ++length;
    }
    return length;
}

struct CreateInputRoot {
    using Message = wi::CreateInput;
    static std::vector<std::string> outer() { return {"CreateInput"}; }
    static std::set<std::string> namespaces() { return {wi::NamespaceUri}; }
    static const wi::CreateInput& top(const Message& message) { return message; }
};
struct SaveRequestRoot {
    using Message = wi::SaveWorkInstructionDocInput;
    static std::vector<std::string> outer()
    {
        return {"SaveWorkInstructionDocInput", "savedObjects", "modifiedDCDs", "objectData"};
    }
    // The record's target object is a ModelObject.
    static std::set<std::string> namespaces() { return {wi::NamespaceUri, kBaseNamespace}; }
    static const wi::CreateInput& top(const Message& message)
    {
        return *message.getSavedObjectArray().at(0)->getModifiedDCDArray().at(0)->getObjectData();
    }
};
struct LoadResponseRoot {
    using Message = wi::LoadedObjectsResponse;
    static std::vector<std::string> outer()
    {
        return {"LoadedObjectsResponse", "loadedObjects", "loadedPFs", "objectData"};
    }
    static std::set<std::string> namespaces() { return {wi::NamespaceUri, kBaseNamespace}; }
    static const wi::CreateInput& top(const Message& message)
    {
        return *message.getLoadedObjectArray().at(0)->getLoadedPFArray().at(0)->getObjectData();
    }
};

template <typename Root>
class HostileNesting : public ::testing::Test {};
using Roots = ::testing::Types<CreateInputRoot, SaveRequestRoot, LoadResponseRoot>;
TYPED_TEST_SUITE(HostileNesting, Roots);

TYPED_TEST(HostileNesting, DeepestAdmittedTreeGoesThroughEveryOperationOnAOneMebibyteStack)
{
    using Message = typename TypeParam::Message;
    const std::size_t limit = XMLReadLimits{}.maxDepth;
    const std::vector<std::string> outer = TypeParam::outer();
    const std::string text = nestedDocument(outer, limit);
    const std::size_t expectedChain = (limit - outer.size()) / 2 + 1;

    runWithStack(kOneMebibyte, [&] {
        AutoPtr<Message> message(new Message);
        {
            const XMLDocument document(text);
            message->parse(document.root());
        }
        EXPECT_EQ(chainLength(TypeParam::top(*message)), expectedChain);

        const std::string written = writeMessage(*message, outer.front());
        Message reread;
        parseMessage(reread, written);
        EXPECT_EQ(writeMessage(reread, outer.front()), written);

        std::set<std::string> namespaces;
        message->getNamespaces(namespaces);
        EXPECT_EQ(namespaces, TypeParam::namespaces());

        Message copy(*message);
        Message assigned;
        assigned = copy;
        const AutoPtr<Kavella::Soa::Common::Xml::BaseObject> clone(message->clone());
        message = nullptr;
        EXPECT_EQ(writeMessage(assigned, outer.front()), written);
        // Leaving the scope destroys the whole tree, on this stack.
    });
}

TYPED_TEST(HostileNesting, OneLevelDeeperIsRefusedByTheReader)
{
    const std::size_t limit = XMLReadLimits{}.maxDepth;
    const std::string text = nestedDocument(TypeParam::outer(), limit + 1);
    const std::string error = domError([&] { XMLDocument document(text); });
    EXPECT_NE(error.find("limit of " + std::to_string(limit)), std::string::npos) << error;
}

TEST(HostileNestingLimits, CallerChosenReadLimitIsHonouredBothWays)
{
    for (const std::size_t limit : {std::size_t{1}, std::size_t{2}, std::size_t{17}, std::size_t{600}}) {
        SCOPED_TRACE(limit);
        XMLReadLimits limits;
        limits.maxDepth = limit;
        const std::string admitted = nestedDocument({"CreateInput"}, limit);
        const std::string refused = nestedDocument({"CreateInput"}, limit + 1);
        EXPECT_EQ(domError([&] { XMLDocument document(admitted, limits); }), "no exception");
        EXPECT_NE(domError([&] { XMLDocument document(refused, limits); }), "no exception");
    }
}

/// A chain that a caller builds by hand: levels creation inputs, each holding
/// the next through one compound input.
AutoPtr<wi::CreateInput> builtChain(std::size_t levels)
{
    AutoPtr<wi::CreateInput> top(new wi::CreateInput);
    wi::CreateInput* bottom = top.get();
    for (std::size_t level = 1; level < levels; ++level) {
        AutoPtr<wi::CreateInputMap> map(new wi::CreateInputMap);
        AutoPtr<wi::CreateInput> next(new wi::CreateInput);
        map->addValue(next);
        bottom->addCompoundCreateInput(map);
        bottom = next.get();
    }
    return top;
}

TEST(HostileNestingLimits, TreeBuiltDeeperThanTheWritingLimitFailsToWrite)
{
    const std::size_t limit = XmlStream::defaultMaxDepth;
    // Everything the reader admits must be writable again.
    EXPECT_GE(limit, XMLReadLimits{}.maxDepth);

    const AutoPtr<wi::CreateInput> fits = builtChain(limit / 2);
    EXPECT_EQ(domError([&] { writeMessage(*fits, "CreateInput"); }), "no exception");

    const AutoPtr<wi::CreateInput> tooDeep = builtChain(limit / 2 + 1);
    const std::string error = domError([&] { writeMessage(*tooDeep, "CreateInput"); });
    EXPECT_NE(error.find("limit of " + std::to_string(limit)), std::string::npos) << error;

    // The same tree goes through when the caller raises the limit.
    XmlStream stream;
    stream.setMaxDepth(limit + 2);
    EXPECT_EQ(domError([&] { tooDeep->outputXML(stream, "CreateInput"); }), "no exception");
}

// A chain of n creation inputs lies 2n - 1 deep; an envelope adds two.
TEST(HostileNestingLimits, WhatIsWrittenInAnEnvelopeAtTheLimitIsReadAtIt)
{
    struct Case { std::size_t inputs; wi::Envelope envelope; bool written; };
    for (const Case& c : {Case{128, wi::Envelope::None, true}, Case{128, wi::Envelope::Soap11, false},
                          Case{128, wi::Envelope::Soap12, false}, Case{127, wi::Envelope::Soap11, true},
                          Case{127, wi::Envelope::Soap12, true}, Case{129, wi::Envelope::None, false}}) {
        SCOPED_TRACE(std::to_string(c.inputs) + " inputs, envelope " + std::to_string(static_cast<int>(c.envelope)));
        const AutoPtr<wi::CreateInput> chain = builtChain(c.inputs);
        std::string text;
        const std::string error = domError([&] { text = wi::writeXml(*chain, c.envelope); });
        if (!c.written) {
            EXPECT_NE(error.find("limit of 256"), std::string::npos) << error;
            continue;
        }
        EXPECT_EQ(error, "no exception");
        EXPECT_EQ(domError([&] { wi::readXml<wi::CreateInput>(text); }), "no exception") << "written, then refused";
    }
}

TEST(HostileNestingLimits, DeepTreeRefusedForNamespacesLeavesTheThreadUsable)
{
    const AutoPtr<wi::CreateInput> tooDeep = builtChain(2000);
    std::set<std::string> namespaces;
    EXPECT_NE(domError([&] { tooDeep->getNamespaces(namespaces); }), "no exception");
    // The depth counter unwound: a shallow tree collects again on this thread.
    namespaces.clear();
    builtChain(3)->getNamespaces(namespaces);
    EXPECT_EQ(namespaces, std::set<std::string>{wi::NamespaceUri});
}

} // namespace
