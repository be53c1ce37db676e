#include <gtest/gtest.h>

#include <functional>
#include <new>
#include <string>
#include <vector>

#include "kvsoa/MemoryManager.hpp"
#include "kvsoa/ModelObject.hpp"
#include "kvsoa/ServiceData.hpp"
#include "runtime/RuntimeTestSupport.hpp"

using Kavella::Schemas::Soa::_2006_03::Base::ModelObject;
using Kavella::Schemas::Soa::_2006_03::Base::ServiceData;
using namespace Kavella::Soa::Common;
using namespace runtime_test;

namespace {

const std::string modelObjectTag = "Kavella::Schemas::Soa::_2006_03::Base::ModelObject";
const std::string serviceDataTag = "Kavella::Schemas::Soa::_2006_03::Base::ServiceData";

/// One runtime class seen through its allocation operators.
struct ClassUnderTest {
    std::string tag;
    std::size_t size;
    std::function<Xml::BaseObject*()> make;
    std::function<void(Xml::BaseObject*)> destroy;
};

const std::vector<ClassUnderTest>& classes()
{
    static const std::vector<ClassUnderTest> all = {
        {modelObjectTag, sizeof(ModelObject), [] { return new ModelObject("m"); },
         [](Xml::BaseObject* object) { delete static_cast<ModelObject*>(object); }},
        {serviceDataTag, sizeof(ServiceData), [] { return new ServiceData; },
         [](Xml::BaseObject* object) { delete static_cast<ServiceData*>(object); }},
    };
    return all;
}

} // namespace

TEST(MemoryTest, NoManagerIsInstalledByDefault)
{
    EXPECT_EQ(MemoryManager::getMemoryManager(), nullptr);
}

TEST(MemoryTest, ObjectsAndClonesComeFromTheManagerUnderTheirTag)
{
    for (const ClassUnderTest& c : classes()) {
        CountingManager manager;
        ManagerGuard guard(&manager);
        Xml::BaseObject* object = c.make();
        Xml::BaseObject* copy = object->clone();
        ASSERT_NE(copy, nullptr);
        EXPECT_EQ(manager.allocationsOf(c.tag), 2) << c.tag;
        EXPECT_EQ(manager.allocations.size(), 1u) << c.tag;
        EXPECT_EQ(manager.sizes.count(object), 1u);
        EXPECT_EQ(manager.sizes[object], c.size);
        c.destroy(object);
        c.destroy(copy);
        EXPECT_EQ(manager.deallocations, 2);
        EXPECT_EQ(manager.live(), 0u);
    }
}

TEST(MemoryTest, ManagerWithoutMemory)
{
    CountingManager manager;
    manager.refuse = true;
    ManagerGuard guard(&manager);
    EXPECT_THROW(new ModelObject, std::bad_alloc);
    EXPECT_THROW(new ServiceData, std::bad_alloc);
    EXPECT_THROW(ObjectMemory::allocate(8, "tag"), std::bad_alloc);
    EXPECT_EQ(ObjectMemory::allocateOrNull(8, "tag"), nullptr);

    const ModelObject stackObject("s");
    const ServiceData stackData;
    EXPECT_EQ(stackObject.clone(), nullptr);
    EXPECT_EQ(stackData.clone(), nullptr);
    EXPECT_EQ(manager.allocationsOf(modelObjectTag), 2);
    EXPECT_EQ(manager.allocationsOf(serviceDataTag), 2);
}

// g++ takes a class's placement operator delete for a real deallocation and
// then sees the buffer used "after" it; here the buffer is only a place.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#pragma GCC diagnostic ignored "-Wuse-after-free"
TEST(MemoryTest, PlacementFormsGoThroughTheManager)
{
    void* const buffer = ::operator new(sizeof(ModelObject));
    CountingManager manager;
    {
        ManagerGuard guard(&manager);
        ModelObject* object = new (buffer) ModelObject("placed");
        EXPECT_EQ(static_cast<void*>(object), buffer);
        ASSERT_EQ(manager.placements.size(), 1u);
        EXPECT_EQ(manager.placements[0], std::make_pair(sizeof(ModelObject), buffer));
        object->~ModelObject();

        ModelObject::operator delete(buffer, buffer);
        ASSERT_EQ(manager.placementReleases.size(), 1u);
        EXPECT_EQ(manager.placementReleases[0], std::make_pair(buffer, buffer));

        manager.refuse = true;
        EXPECT_THROW(new (buffer) ModelObject, std::bad_alloc);
        EXPECT_EQ(manager.placements.size(), 2u);
    }
    // Without a manager the place itself is the memory, and releasing it is nothing.
    EXPECT_EQ(ObjectMemory::placementAllocate(sizeof(ModelObject), buffer), buffer);
    ObjectMemory::placementDeallocate(buffer, buffer);
    EXPECT_EQ(manager.placements.size(), 2u);
    EXPECT_EQ(manager.placementReleases.size(), 1u);
    ::operator delete(buffer);
}
#pragma GCC diagnostic pop

TEST(MemoryTest, WithoutManagerTheGlobalHeapServes)
{
    CountingManager removed;
    MemoryManager::setMemoryManager(&removed);
    MemoryManager::setMemoryManager(nullptr);
    for (const ClassUnderTest& c : classes()) {
        Xml::BaseObject* object = c.make();
        Xml::BaseObject* copy = object->clone();
        ASSERT_NE(copy, nullptr);
        c.destroy(copy);
        c.destroy(object);
    }
    void* raw = ObjectMemory::allocateOrNull(16, "tag");
    ASSERT_NE(raw, nullptr);
    ObjectMemory::deallocate(raw);
    EXPECT_TRUE(removed.allocations.empty());
    EXPECT_EQ(removed.deallocations, 0);
}
