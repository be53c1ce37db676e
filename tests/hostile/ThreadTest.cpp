// Handles to shared objects are copied and released from several threads at
// once; counts stay right and every object goes exactly once. Independent
// messages are read and written on several threads at once. Namespaces are
// interned once, whichever thread comes first.

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "SampleMessages.hpp"
#include "TestMemoryManager.hpp"

namespace {

using namespace hostile;

constexpr int kThreads = 6;
constexpr int kRounds = 20000;

template <typename Work>
void onThreads(Work&& work)
{
    std::atomic<bool> go{false};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            while (!go.load()) std::this_thread::yield();
            work(t);
        });
    }
    go = true;
    for (auto& thread : threads) thread.join();
}

TEST(HostileThreads, HandlesCopiedAndReleasedConcurrentlyKeepCountsRight)
{
    TestMemoryManager manager;
    {
        const InstalledMemoryManager installed(manager);
        AutoPtr<wi::SaveWorkInstructionDocInput> shared(new wi::SaveWorkInstructionDocInput);
        parseMessage(*shared, SaveRequestSample::document());
        const AutoPtr<wi::SavedObjectInfo> record = shared->getSavedObjectArray().front();
        const int recordCount = record->getRefCount();

        onThreads([&](int) {
            std::vector<AutoPtr<wi::SaveWorkInstructionDocInput>> held;
            for (int round = 0; round < kRounds; ++round) {
                held.push_back(shared);
                AutoPtr<wi::SavedObjectInfo> copy = record;
                if (round % 64 == 0) {
                    // Copies and clones take references on every record they share.
                    wi::SaveWorkInstructionDocInput byValue(*shared);
                    const AutoPtr<Kavella::Soa::Common::Xml::BaseObject> clone(shared->clone());
                }
                if (held.size() > 16) held.erase(held.begin(), held.begin() + 8);
            }
        });

        EXPECT_EQ(shared->getRefCount(), 1);
        EXPECT_EQ(record->getRefCount(), recordCount);
        EXPECT_EQ(writeMessage(*shared, SaveRequestSample::name),
                  [] {
                      wi::SaveWorkInstructionDocInput fresh;
                      parseMessage(fresh, SaveRequestSample::document());
                      return writeMessage(fresh, SaveRequestSample::name);
                  }());
    }
    EXPECT_EQ(manager.liveObjects(), 0u);
    EXPECT_EQ(manager.strayDeallocations(), 0u);
}

TEST(HostileThreads, LastHandleReleasedOnAnyThreadDestroysOnce)
{
    TestMemoryManager manager;
    {
        const InstalledMemoryManager installed(manager);
        for (int round = 0; round < 200; ++round) {
            std::vector<AutoPtr<wi::CreateInput>> inputs;
            for (int i = 0; i < 8; ++i) {
                inputs.emplace_back(new wi::CreateInput);
                parseMessage(*inputs.back(), CreateInputSample::document());
            }
            // Every thread holds every input; whichever lets go last destroys it.
            std::vector<std::vector<AutoPtr<wi::CreateInput>>> perThread(kThreads, inputs);
            inputs.clear();
            onThreads([&](int t) { perThread[static_cast<std::size_t>(t)].clear(); });
            ASSERT_EQ(manager.liveObjects(), 0u);
        }
    }
    EXPECT_EQ(manager.strayDeallocations(), 0u);
}

// Each test runs in a process of its own, so the first objects of each
// namespace, which intern it, are made here on all threads at once.
TEST(HostileThreads, NamespacesInternedFromFirstUseOnAllThreadsAreOneTextEach)
{
    using ::Kavella::Soa::Common::Xml::BaseObject;
    using Texts = std::array<const std::string*, 5>;
    std::vector<Texts> first(kThreads);
    std::atomic<int> changed{0};
    onThreads([&](int t) {
        for (int round = 0; round < 500; ++round) {
            const wi::CreateInput input;
            const wi::ModelObject model;
            const wi::ServiceData data;
            const AutoPtr<wi::SavedObjectInfo> record(new wi::SavedObjectInfo); // holds a model object made with it
            const Texts texts{&input.namespaceUri(), &model.namespaceUri(), &data.namespaceUri(),
                              &record->getTargetObject()->namespaceUri(),
                              &BaseObject::internNamespace(t % 2 ? "urn:odd-threads" : "urn:even-threads").text()};
            Texts& kept = first[static_cast<std::size_t>(t)];
            if (round == 0) kept = texts;
            if (texts != kept) ++changed;
        }
    });
    EXPECT_EQ(changed.load(), 0);
    const std::string* schema = &BaseObject::internNamespace(wi::NamespaceUri).text();
    const char* baseUri = ::Kavella::Schemas::Soa::_2006_03::Base::NamespaceUri;
    const std::string* base = &BaseObject::internNamespace(baseUri).text();
    EXPECT_EQ(*schema, wi::NamespaceUri);
    EXPECT_EQ(*base, baseUri);
    for (int t = 0; t < kThreads; ++t) {
        const Texts& texts = first[static_cast<std::size_t>(t)];
        EXPECT_EQ(texts[0], schema) << "thread " << t;
        EXPECT_EQ(texts[1], base) << "thread " << t;
        EXPECT_EQ(texts[2], base) << "thread " << t;
        EXPECT_EQ(texts[3], base) << "thread " << t;
        EXPECT_EQ(texts[4], &BaseObject::internNamespace(t % 2 ? "urn:odd-threads" : "urn:even-threads").text())
            << "thread " << t;
    }
}

template <typename Sample>
class HostileThreadsPerMessage : public ::testing::Test {};
TYPED_TEST_SUITE(HostileThreadsPerMessage, SampleMessages);

TYPED_TEST(HostileThreadsPerMessage, IndependentMessagesReadAndWrittenConcurrently)
{
    using Message = typename TypeParam::Message;
    const std::string document = TypeParam::document();
    Message reference;
    parseMessage(reference, document);
    const std::string expected = writeMessage(reference, TypeParam::name);

    std::atomic<int> mismatches{0};
    onThreads([&](int) {
        for (int round = 0; round < 50; ++round) {
            Message message;
            parseMessage(message, document);
            std::set<std::string> namespaces;
            message.getNamespaces(namespaces);
            if (writeMessage(message, TypeParam::name) != expected || namespaces.empty()) ++mismatches;
        }
    });
    EXPECT_EQ(mismatches.load(), 0);
}

} // namespace
