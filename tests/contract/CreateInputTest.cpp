// CreateInput and CreateInputMap: grouped children, nesting, failures.

#include <algorithm>
#include <memory>

#include "ClassModels.hpp"

namespace contract {
namespace {

std::string scalarXml(const std::string& name, const std::string& key, const std::string& value)
{
    return emptyElement("ns1:" + name, attr("key", key) + attr("value", value));
}

std::string keyedXml(const std::string& name, const std::string& key, const std::string& content)
{
    return child(name, attr("key", key), content);
}

/// One small child per array member of a CreateInput, in declaration order.
std::vector<std::string> oneChildPerArray()
{
    return {scalarXml("stringProps", "s", "text"),
            keyedXml("stringArrayProps", "sa", child("value", "", "x")),
            scalarXml("doubleProps", "d", "0.5"),
            keyedXml("doubleArrayProps", "da", ""),
            scalarXml("floatProps", "f", "1.5"),
            keyedXml("floatArrayProps", "fa", child("value", "", "2")),
            scalarXml("intProps", "i", "3"),
            keyedXml("intArrayProps", "ia", child("value", "", "4") + child("value", "", "5")),
            scalarXml("boolProps", "b", "false"),
            keyedXml("boolArrayProps", "ba", child("value", "", "true")),
            scalarXml("dateProps", "dt", "2010-09-01T00:00:00Z"),
            keyedXml("dateArrayProps", "dta", ""),
            keyedXml("tagProps", "t", modelXml("value", "u1")),
            keyedXml("tagArrayProps", "ta", modelXml("value", "u2") + modelXml("value", "u3")),
            keyedXml("compoundCreateInput", "c", child("value", attr("type", "Inner"), ""))};
}

std::string joined(const std::vector<std::string>& pieces)
{
    std::string text;
    for (const auto& piece : pieces) text += piece;
    return text;
}

TEST(CreateInputForms, DefaultWritesAnEmptyTypeAndAnEndTag)
{
    EXPECT_EQ(write(wi::CreateInput()), root(false, attr("type", ""), ""));
    EXPECT_EQ(write(wi::CreateInputMap()), root(false, attr("key", ""), ""));
}

TEST(CreateInputForms, ChildrenReadInReverseAreWrittenInDeclarationOrder)
{
    auto pieces = oneChildPerArray();
    const std::string grouped = root(true, attr("type", "Part"), joined(pieces));
    std::reverse(pieces.begin(), pieces.end());
    const std::string reversed = root(true, attr("type", "Part"), joined(pieces));
    EXPECT_EQ(rewritten<wi::CreateInput>(reversed), grouped);
}

TEST(CreateInputForms, InterleavedPropsKeepTheirDocumentOrderWithinEachArray)
{
    wi::CreateInput input;
    read(input, root(false, attr("type", "t"),
                     scalarXml("intProps", "first", "1") + scalarXml("stringProps", "s", "v") +
                         scalarXml("intProps", "second", "2")));
    ASSERT_EQ(input.getIntPropArray().size(), 2u);
    ASSERT_EQ(input.getStringPropArray().size(), 1u);
    EXPECT_EQ(input.getIntPropArray()[1]->getKey(), "second");
    EXPECT_EQ(write(input), root(false, attr("type", "t"),
                                 scalarXml("stringProps", "s", "v") + scalarXml("intProps", "first", "1") +
                                     scalarXml("intProps", "second", "2")));
}

TEST(CreateInputForms, OtherAttributesAreIgnoredAndTheTypeIsAlwaysReplaced)
{
    wi::CreateInput input;
    input.setType("old");
    read(input, "<Root key='k' type2='x'/>");
    EXPECT_EQ(input.getType(), "");
    read(input, "<Root key='k' type='new'/>");
    EXPECT_EQ(write(input), root(false, attr("type", "new"), ""));
}

/// A CreateInput of the given level holding one int prop and, above the last level,
/// one compound input with the next level.
AutoPtr<wi::CreateInput> levels(int level, int last)
{
    auto input = make<wi::CreateInput>();
    input->setType("L" + std::to_string(level));
    auto prop = make<wi::IntMap>();
    prop->setKey("depth");
    prop->setValue(level);
    input->addIntProp(prop);
    if (level < last) {
        auto compound = make<wi::CreateInputMap>();
        compound->setKey("next");
        compound->addValue(levels(level + 1, last));
        input->addCompoundCreateInput(compound);
    }
    return input;
}

TEST(CreateInputForms, ThreeLevelsOfCompoundInputsRoundTrip)
{
    const std::string third = child("value", attr("type", "L3"), scalarXml("intProps", "depth", "3"));
    const std::string second =
        child("value", attr("type", "L2"),
              scalarXml("intProps", "depth", "2") + keyedXml("compoundCreateInput", "next", third));
    const std::string expected =
        root(false, attr("type", "L1"),
             scalarXml("intProps", "depth", "1") + keyedXml("compoundCreateInput", "next", second));
    EXPECT_EQ(write(*levels(1, 3)), expected);

    wi::CreateInput back;
    read(back, expected);
    const auto& level2 = back.getCompoundCreateInputArray().at(0)->getValueArray().at(0);
    const auto& level3 = level2->getCompoundCreateInputArray().at(0)->getValueArray().at(0);
    EXPECT_EQ(level3->getType(), "L3");
    EXPECT_EQ(level3->getIntPropArray().at(0)->getValue(), 3);
    EXPECT_TRUE(level3->getCompoundCreateInputArray().empty());
    EXPECT_EQ(write(back), expected);
}

TEST(CreateInputForms, TreeAsDeepAsTheReaderAllowsRoundTrips)
{
    // Level n puts its int prop at element depth 2n.
    const int deepest = static_cast<int>(::Kavella::Soa::Common::Xml::XMLReadLimits().maxDepth / 2);
    const std::string text = write(*levels(1, deepest));
    EXPECT_EQ(rewritten<wi::CreateInput>(text), text);
}

TEST(CreateInputForms, UnexpectedChildrenOfEitherClass)
{
    wi::CreateInput input;
    EXPECT_EQ(failureOf([&] { read(input, "<Root type='t'><intProps key='a' value='1'/><value/></Root>"); }),
              "Unexpected node name: value");
    EXPECT_EQ(input.getType(), "t");
    EXPECT_EQ(input.getIntPropArray().size(), 1u);

    wi::CreateInputMap map;
    EXPECT_EQ(failureOf([&] { read(map, "<Root key='k'><value/><type/></Root>"); }), "Unexpected node name: type");
    EXPECT_EQ(map.getKey(), "k");
    EXPECT_EQ(map.getValueArray().size(), 1u);
}

TEST(CreateInputForms, FailureDeeperDownPassesThroughAndDropsTheEntryBeingRead)
{
    wi::CreateInput input;
    EXPECT_THROW(read(input, "<Root><intProps key='a' value='1'/><intProps key='b' value='x'/></Root>"), DomException);
    EXPECT_EQ(input.getIntPropArray().size(), 1u);

    {
        CountingManager manager; // the entry being read is released, not leaked
        EXPECT_THROW(read(input, "<Root><boolProps key='b' value='maybe'/></Root>"), DomException);
        ASSERT_EQ(manager.allocations.size(), 1u);
        EXPECT_EQ(manager.deallocations, std::vector<void*>{manager.allocations[0].pointer});
    }
    EXPECT_TRUE(input.getBoolPropArray().empty());

    EXPECT_EQ(failureOf([&] {
                  read(input,
                       "<Root><compoundCreateInput key='c'><value><bogus/></value></compoundCreateInput></Root>");
              }),
              "Unexpected node name: bogus");
    EXPECT_TRUE(input.getCompoundCreateInputArray().empty());
}

TEST(CreateInputForms, CloneSharesEntriesButNotArrays)
{
    wi::CreateInput source;
    fill(source);
    const std::size_t ints = source.getIntPropArray().size();
    std::unique_ptr<BaseObject> holder(source.clone());
    auto& clone = dynamic_cast<wi::CreateInput&>(*holder);

    clone.addIntProp(make<wi::IntMap>());
    EXPECT_EQ(source.getIntPropArray().size(), ints);
    EXPECT_EQ(clone.getIntPropArray().size(), ints + 1);

    clone.getIntPropArray()[0]->setValue(99);
    EXPECT_EQ(source.getIntPropArray()[0]->getValue(), 99);
}

TEST(CreateInputForms, NamespacesComeThroughTagEntriesOnly)
{
    wi::CreateInput input;
    input.addIntProp(make<wi::IntMap>());
    input.addTagArrayProp(make<wi::TagVectorMap>());
    std::set<std::string> found;
    input.getNamespaces(found);
    EXPECT_EQ(found, std::set<std::string>{schemaUri});

    auto tags = make<wi::TagVectorMap>();
    tags->addValue(model("u"));
    input.addTagArrayProp(tags);
    input.getNamespaces(found);
    EXPECT_EQ(found, (std::set<std::string>{schemaUri, baseUri}));
}

} // namespace
} // namespace contract
