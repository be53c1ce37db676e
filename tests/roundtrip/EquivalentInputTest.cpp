// Inputs that differ from the writer's compact form only in what XML leaves
// free (whitespace, comments, processing instructions, CDATA, character
// references, prefixes, a default namespace) read as the same tree.

#include <gtest/gtest.h>

#include "RandomTree.hpp"
#include "RoundTripSupport.hpp"
#include "TreeDifference.hpp"
#include "XmlRewriter.hpp"

namespace roundtrip {
namespace {

const Variation variations[] = {
    {"comments and processing instructions", true, false, false},
    {"whitespace between elements and inside tags", false, true, false},
    {"CDATA sections and character references", false, false, true},
    {"other prefixes", false, false, false, "wi", "base"},
    {"each other's prefixes", false, false, false, "ns2", "ns1"},
    {"schema namespace as the default namespace", false, false, false, ""},
    {"all at once", true, true, true, "", "b"},
};

template <typename T>
class EquivalentInput : public ::testing::Test {};
TYPED_TEST_SUITE(EquivalentInput, AllClasses, ClassNames);

TYPED_TEST(EquivalentInput, ReadsTheSameTreeAsTheCompactForm)
{
    const std::uint64_t first = firstSeed();
    for (std::uint64_t seed = first; seed < first + static_cast<std::uint64_t>(iterations(200)) / 10; ++seed) {
        SCOPED_TRACE(reproduce(seed));
        const AutoPtr<TypeParam> original = RandomTree(seed).make<TypeParam>();
        const std::string compact = writeAsRoot(*original);
        for (const Variation& variation : variations) {
            SCOPED_TRACE(variation.name);
            const std::string text = rewrite(compact, variation, seed);
            ASSERT_NE(text, compact) << "the rewriter changed nothing";
            const AutoPtr<TypeParam> readBack = readTree<TypeParam>(text);
            ASSERT_EQ(firstDifference(*original, *readBack), "") << text;
            ASSERT_EQ(writeAsRoot(*readBack), compact) << text;
        }
        // The writer's own indentation reads the same too.
        const AutoPtr<TypeParam> fromIndented = readTree<TypeParam>(writeAsRoot(*original, 2));
        ASSERT_EQ(firstDifference(*original, *fromIndented), "");
    }
}

} // namespace
} // namespace roundtrip
