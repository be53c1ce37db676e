// What the library writes, it reads back: the same tree, and the same text
// when written again. Hundreds of random trees per class; set
// WI_ROUNDTRIP_ITERATIONS for a longer run.

#include <gtest/gtest.h>

#include "RandomTree.hpp"
#include "RoundTripSupport.hpp"
#include "TreeDifference.hpp"

namespace roundtrip {
namespace {

template <typename T>
class RoundTrip : public ::testing::Test {};
TYPED_TEST_SUITE(RoundTrip, AllClasses, ClassNames);

TYPED_TEST(RoundTrip, ReadsBackTheTreeItWroteAndWritesTheSameText)
{
    const std::uint64_t first = firstSeed();
    for (std::uint64_t seed = first; seed < first + static_cast<std::uint64_t>(iterations(200)); ++seed) {
        SCOPED_TRACE(reproduce(seed));
        const AutoPtr<TypeParam> original = RandomTree(seed).make<TypeParam>();
        const std::string written = writeAsRoot(*original);
        const AutoPtr<TypeParam> readBack = readTree<TypeParam>(written);
        ASSERT_EQ(firstDifference(*original, *readBack), "") << written;
        ASSERT_EQ(writeAsRoot(*readBack), written);
    }
}

} // namespace
} // namespace roundtrip
