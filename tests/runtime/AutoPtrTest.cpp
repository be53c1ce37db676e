#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <functional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "kvsoa/AutoPtr.hpp"
#include "kvsoa/BaseObject.hpp"
#include "runtime/RuntimeTestSupport.hpp"
#include "workinstructions/WorkInstructions.hpp"

using namespace Velmora::Schemas::Mes::_2010_09::Workinstructions;
using namespace runtime_test;

namespace {

/// Counts its lives and deaths. (A handle that reads an object after releasing
/// it shows under the sanitizer run of this suite.)
class Probe : public BaseObject {
public:
    Probe() : BaseObject("urn:probe") { ++alive; }
    Probe(const Probe& other) : BaseObject(other) { ++alive; }
    ~Probe() override
    {
        --alive;
        ++destroyed;
    }
    void getNamespaces(std::set<std::string>& namespaces) const override { namespaces.insert(namespaceUri()); }

    AutoPtr<Probe> child;
    static inline std::atomic<int> alive{0};
    static inline std::atomic<int> destroyed{0};

protected:
    Probe* reallyClone() const override { return new Probe(*this); }
};

class AutoPtrTest : public ::testing::Test {
protected:
    void SetUp() override { Probe::destroyed = 0; }
    void TearDown() override { EXPECT_EQ(Probe::alive, 0) << "a probe leaked"; }
};

} // namespace

TEST_F(AutoPtrTest, CopiesShareTheObjectAndTheLastReleaseDestroysIt)
{
    {
        AutoPtr<Probe> first(new Probe);
        EXPECT_EQ(first->getRefCount(), 1);
        {
            AutoPtr<Probe> copy(first);
            AutoPtr<Probe> assigned;
            assigned = copy;
            AutoPtr<BaseObject> base(first);
            EXPECT_EQ(first->getRefCount(), 4);
            EXPECT_EQ(copy.get(), first.get());
            EXPECT_EQ(base.get(), static_cast<BaseObject*>(first.get()));
        }
        EXPECT_EQ(first->getRefCount(), 1);
        EXPECT_EQ(Probe::destroyed, 0);
    }
    EXPECT_EQ(Probe::destroyed, 1);
}

TEST_F(AutoPtrTest, AssigningItsOwnObjectChangesNothing)
{
    AutoPtr<Probe> handle(new Probe);
    AutoPtr<Probe>& alias = handle;
    handle = alias;
    handle = handle.get();
    EXPECT_EQ(handle->getRefCount(), 1);
    AutoPtr<Probe> other(handle);
    handle = other; // another handle to the same object
    EXPECT_EQ(handle->getRefCount(), 2);
    EXPECT_EQ(Probe::destroyed, 0);
}

TEST_F(AutoPtrTest, AssigningAnotherObjectReleasesTheOldAndTakesTheNew)
{
    const std::vector<std::pair<const char*, std::function<void(AutoPtr<Probe>&, AutoPtr<Probe>&)>>> forms = {
        {"handle", [](AutoPtr<Probe>& target, AutoPtr<Probe>& source) { target = source; }},
        {"pointer", [](AutoPtr<Probe>& target, AutoPtr<Probe>& source) { target = source.get(); }},
        {"move", [](AutoPtr<Probe>& target, AutoPtr<Probe>& source) { target = AutoPtr<Probe>(source); }},
    };
    for (const auto& [label, assign] : forms) {
        Probe::destroyed = 0;
        AutoPtr<Probe> target(new Probe);
        AutoPtr<Probe> source(new Probe);
        assign(target, source);
        EXPECT_EQ(Probe::destroyed, 1) << label;
        EXPECT_EQ(target.get(), source.get()) << label;
        EXPECT_EQ(source->getRefCount(), 2) << label;
    }
}

TEST_F(AutoPtrTest, MovingTransfersWithoutCounting)
{
    AutoPtr<Probe> source(new Probe);
    Probe* object = source.get();
    AutoPtr<Probe> moved(std::move(source));
    EXPECT_TRUE(source.isNull());
    EXPECT_EQ(moved->getRefCount(), 1);
    AutoPtr<Probe> target(new Probe);
    target = std::move(moved);
    EXPECT_EQ(Probe::destroyed, 1);
    EXPECT_EQ(target.get(), object);
    EXPECT_EQ(target->getRefCount(), 1);
}

TEST_F(AutoPtrTest, NullHandlesSkipCountingAndRefuseAccess)
{
    AutoPtr<Probe> empty;
    AutoPtr<Probe> fromNull(nullptr);
    AutoPtr<Probe> copy(empty);
    copy = fromNull;
    copy = static_cast<Probe*>(nullptr);
    AutoPtr<Probe> live(new Probe);
    live = empty; // releases, takes nothing
    EXPECT_EQ(Probe::destroyed, 1);
    for (const AutoPtr<Probe>* handle : {&empty, &fromNull, &copy, &live}) {
        EXPECT_TRUE(handle->isNull());
        EXPECT_FALSE(*handle);
        EXPECT_EQ(handle->get(), nullptr);
        const auto arrow = domErrorOf([&] { (*handle)->getRefCount(); });
        ASSERT_TRUE(arrow.has_value());
        EXPECT_NE(arrow->getMessage().find("null"), std::string::npos) << arrow->getMessage();
        EXPECT_THROW(**handle, DomException);
    }
}

// The handle on the left is the only holder of the object that holds the
// handle on the right: releasing first would read freed memory.
TEST_F(AutoPtrTest, AssignmentFromInsideTheReleasedObjectIsSound)
{
    const std::vector<std::pair<const char*, std::function<void(AutoPtr<Probe>&)>>> forms = {
        {"handle", [](AutoPtr<Probe>& handle) { handle = handle->child; }},
        {"pointer", [](AutoPtr<Probe>& handle) { handle = handle->child.get(); }},
        {"move", [](AutoPtr<Probe>& handle) { handle = std::move(handle->child); }},
    };
    for (const auto& [label, assign] : forms) {
        AutoPtr<Probe> handle(new Probe);
        handle->child = new Probe;
        handle->child->child = new Probe;
        Probe* middle = handle->child.get();
        assign(handle);
        EXPECT_EQ(handle.get(), middle) << label;
        EXPECT_EQ(handle->getRefCount(), 1) << label;
        EXPECT_EQ(handle->child->getRefCount(), 1) << label;
        EXPECT_EQ(Probe::alive, 2) << label;
    }
}

TEST_F(AutoPtrTest, SchemaHandleTakesAChildOfTheObjectItReleases)
{
    CountingManager manager;
    ManagerGuard guard(&manager);
    {
        AutoPtr<CreateInputMap> handle(new CreateInputMap);
        {
            AutoPtr<CreateInput> input(new CreateInput);
            AutoPtr<CreateInputMap> inner(new CreateInputMap);
            inner->setKey("inner");
            input->addCompoundCreateInput(inner);
            handle->addValue(input);
        }
        handle = handle->getValueArray()[0]->getCompoundCreateInputArray()[0];
        EXPECT_EQ(handle->getKey(), "inner");
        EXPECT_EQ(handle->getRefCount(), 1);
        EXPECT_EQ(manager.live(), 1u) << "the outer map and its input are gone";
    }
    EXPECT_EQ(manager.live(), 0u);
}

TEST_F(AutoPtrTest, CountsStayRightUnderConcurrentCopies)
{
    constexpr int threads = 4, copies = 100000;
    AutoPtr<Probe> shared(new Probe);
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t) {
        workers.emplace_back([&shared] {
            AutoPtr<Probe> assigned;
            for (int i = 0; i < copies; ++i) {
                AutoPtr<Probe> copy(shared);
                assigned = copy;
                assigned = nullptr;
            }
        });
    }
    for (auto& worker : workers) worker.join();
    EXPECT_EQ(shared->getRefCount(), 1);
    shared = nullptr;
    EXPECT_EQ(Probe::destroyed, 1);
}

TEST_F(AutoPtrTest, ConcurrentLastReleasesDestroyExactlyOnce)
{
    constexpr int rounds = 300, threads = 4;
    for (int round = 0; round < rounds; ++round) {
        std::vector<AutoPtr<Probe>> handles(threads, AutoPtr<Probe>(new Probe));
        std::atomic<int> ready{0};
        std::vector<std::thread> workers;
        for (int t = 0; t < threads; ++t) {
            workers.emplace_back([&, t] {
                ready.fetch_add(1);
                while (ready.load() < threads) std::this_thread::yield();
                handles[static_cast<std::size_t>(t)] = nullptr;
            });
        }
        for (auto& worker : workers) worker.join();
    }
    EXPECT_EQ(Probe::destroyed, rounds);
}
