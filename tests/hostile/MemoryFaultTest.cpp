// A memory manager that gives no memory, by returning null or by throwing, at
// every allocation in turn: no crash, no leak, the failure comes out as
// std::bad_alloc or the manager's own exception, and the object stays usable.

#include <gtest/gtest.h>

#include <new>
#include <string>

#include "SampleMessages.hpp"
#include "TestMemoryManager.hpp"

namespace {

using namespace hostile;
using Failure = TestMemoryManager::Failure;

/// Runs call and reports how it ended: "done", "bad_alloc", "refusal", or a test failure.
template <typename Call>
std::string outcome(Call&& call)
{
    try {
        call();
        return "done";
    } catch (const std::bad_alloc&) {
        return "bad_alloc";
    } catch (const TestMemoryManager::Refusal&) {
        return "refusal";
    } catch (const std::exception& error) {
        return std::string("unexpected exception: ") + error.what();
    }
}

std::string expectedFailure(Failure how)
{
    return how == Failure::Throw ? "refusal" : "bad_alloc";
}

template <typename Sample>
class HostileMemoryFaults : public ::testing::Test {};
TYPED_TEST_SUITE(HostileMemoryFaults, SampleMessages);

TYPED_TEST(HostileMemoryFaults, EveryAllocationOfMakingAndParsingFailsInTurn)
{
    using Message = typename TypeParam::Message;
    const std::string document = TypeParam::document();
    std::string baseline;
    std::size_t allocations = 0;
    {
        TestMemoryManager counter;
        const InstalledMemoryManager installed(counter);
        AutoPtr<Message> message(new Message);
        parseMessage(*message, document);
        baseline = writeMessage(*message, TypeParam::name);
        allocations = counter.allocations();
    }
    ASSERT_GT(allocations, 0u);

    for (const Failure how : {Failure::ReturnNull, Failure::Throw}) {
        std::size_t failures = 0;
        for (std::size_t n = 1;; ++n) {
            SCOPED_TRACE("allocation " + std::to_string(n) + (how == Failure::Throw ? ", throwing" : ", null"));
            TestMemoryManager manager;
            {
                const InstalledMemoryManager installed(manager);
                AutoPtr<Message> message;
                manager.failAt(n, how);
                const std::string result = outcome([&] {
                    message = new Message;
                    parseMessage(*message, document);
                });
                manager.disarm();
                if (!manager.failed()) {
                    EXPECT_EQ(result, "done");
                    EXPECT_EQ(writeMessage(*message, TypeParam::name), baseline);
                    break;
                }
                ++failures;
                EXPECT_EQ(result, expectedFailure(how));
                if (message) {
                    // Whatever was read so far can be written, read back, and read into again.
                    Message reread;
                    EXPECT_EQ(outcome([&] { parseMessage(reread, writeMessage(*message, TypeParam::name)); }), "done");
                    Message fresh;
                    EXPECT_EQ(outcome([&] { parseMessage(fresh, document); }), "done");
                    EXPECT_EQ(outcome([&] { parseMessage(*message, document); }), "done");
                }
            }
            EXPECT_EQ(manager.liveObjects(), 0u);
            EXPECT_EQ(manager.strayDeallocations(), 0u);
            EXPECT_EQ(manager.untaggedAllocations(), 0u);
            if (::testing::Test::HasFatalFailure() || n > 10000) break;
        }
        EXPECT_EQ(failures, allocations);
    }
}

TYPED_TEST(HostileMemoryFaults, CloneWithoutMemoryIsNullOrTheManagersException)
{
    using Message = typename TypeParam::Message;
    for (const Failure how : {Failure::ReturnNull, Failure::Throw}) {
        TestMemoryManager manager;
        {
            const InstalledMemoryManager installed(manager);
            Message message;
            parseMessage(message, TypeParam::document());
            const std::size_t before = manager.liveObjects();
            manager.failAt(1, how);
            Kavella::Soa::Common::Xml::BaseObject* clone = nullptr;
            const std::string result = outcome([&] { clone = message.clone(); });
            EXPECT_TRUE(manager.failed());
            EXPECT_EQ(result, how == Failure::Throw ? "refusal" : "done");
            EXPECT_EQ(clone, nullptr);
            EXPECT_EQ(manager.liveObjects(), before);
        }
        EXPECT_EQ(manager.liveObjects(), 0u);
        EXPECT_EQ(manager.strayDeallocations(), 0u);
    }
}

} // namespace
