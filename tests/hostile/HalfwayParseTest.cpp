// A parse that throws half-way keeps what it had read, leaks nothing, and
// leaves the object as usable as before: written, read back, parsed again.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "SampleMessages.hpp"
#include "TestMemoryManager.hpp"

namespace {

using namespace hostile;

/// Last children that make each sample fail after everything else was read:
/// first what is read and kept, then what fails inside a record or entry that
/// is then not kept.
struct Poison {
    std::string kept;
    std::string failing;
};
template <typename Sample>
std::vector<Poison> poisons();

template <>
std::vector<Poison> poisons<CreateInputSample>()
{
    return {{"", "<wi:bogus/>"},
            {"<wi:intProps key=\"small\" value=\"7\"/>", "<wi:intProps key=\"big\" value=\"2147483648\"/>"},
            {"", "<wi:floatArrayProps key=\"f\"><wi:value>1</wi:value><wi:value>1e39</wi:value></wi:floatArrayProps>"},
            {"", "<wi:compoundCreateInput key=\"c\"><wi:value><wi:dateProps value=\"2021-02-30T00:00:00\"/></wi:value>"
                 "</wi:compoundCreateInput>"},
            {"", "<wi:tagProps key=\"t\"><wi:value uid=\"u\"/><wi:other/></wi:tagProps>"}};
}
template <>
std::vector<Poison> poisons<LoadRequestSample>()
{
    return {{"", "<wi:loadedinfo/>"}, {"", "<wi:loadedInfo><wi:targetObject uid=\"x\"/><wi:unknown/></wi:loadedInfo>"}};
}
template <>
std::vector<Poison> poisons<LoadResponseSample>()
{
    return {{"", "<serviceData/>"},
            {"", "<ServiceData><base:partialErrors uid=\"e\" code=\"1e3\" level=\"1\"/></ServiceData>"},
            {"", "<wi:loadedObjects><wi:loadedDCDs><wi:objectData><wi:boolProps value=\"yes\"/></wi:objectData>"
                 "</wi:loadedDCDs></wi:loadedObjects>"}};
}
template <>
std::vector<Poison> poisons<SaveRequestSample>()
{
    return {{"", "<base:SavedObjects/>"},
            {"<wi:savedObjects workInstructionFile=\"kept.wi\"/>",
             "<wi:savedObjects><wi:modifiedDCDs><wi:objectData><wi:dateProps key=\"d\" value=\"2016-12-31T23:59:60Z\"/>"
             "</wi:objectData></wi:modifiedDCDs></wi:savedObjects>"}};
}
template <>
std::vector<Poison> poisons<SaveResponseSample>()
{
    // A second ServiceData child is read into the one held, so what it has
    // before the failure stays.
    return {{"<ServiceData><base:created uid=\"late\"/></ServiceData>", "<wi:more/>"},
            {"<ServiceData><base:deleted uid=\"late\"/></ServiceData>",
             "<ServiceData><base:partialErrors uid=\"e\" code=\"1\" level=\"0x10\"/></ServiceData>"}};
}

template <typename Sample>
class HostileHalfwayParse : public ::testing::Test {};
TYPED_TEST_SUITE(HostileHalfwayParse, SampleMessages);

TYPED_TEST(HostileHalfwayParse, FailureKeepsWhatWasReadAndLeavesTheObjectUsable)
{
    using Message = typename TypeParam::Message;
    for (const auto& [kept, failing] : poisons<TypeParam>()) {
        SCOPED_TRACE(kept + failing);
        TestMemoryManager manager;
        {
            const InstalledMemoryManager installed(manager);
            Message expected;
            parseMessage(expected, withLastChild<TypeParam>(kept));

            AutoPtr<Message> message(new Message);
            const std::string error = domError([&] { parseMessage(*message, withLastChild<TypeParam>(kept + failing)); });
            EXPECT_NE(error, "no exception");

            std::string written;
            ASSERT_EQ(domError([&] { written = writeMessage(*message, TypeParam::name); }), "no exception");
            EXPECT_EQ(written, writeMessage(expected, TypeParam::name));

            Message reread;
            EXPECT_EQ(domError([&] { parseMessage(reread, written); }), "no exception");
            EXPECT_EQ(domError([&] { parseMessage(*message, TypeParam::document()); }), "no exception");
            parseMessage(expected, TypeParam::document());
            EXPECT_EQ(writeMessage(*message, TypeParam::name), writeMessage(expected, TypeParam::name));
        }
        EXPECT_EQ(manager.liveObjects(), 0u);
        EXPECT_EQ(manager.strayDeallocations(), 0u);
    }
}

} // namespace
