// Whole documents: what writeXml writes at a limit, readXml reads at the same
// limit, and a write that fails shows in the target's state.

#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "RoundTripSupport.hpp"

namespace roundtrip {
namespace {

using ::Kavella::Soa::Common::Xml::DomException;

AutoPtr<wi::CreateInput> nestedInput(int levels)
{
    AutoPtr<wi::CreateInput> top(new wi::CreateInput);
    wi::CreateInput* current = top.get();
    for (int i = 0; i < levels; ++i) {
        AutoPtr<wi::CreateInputMap> map(new wi::CreateInputMap);
        AutoPtr<wi::CreateInput> inner(new wi::CreateInput);
        map->addValue(inner);
        current->addCompoundCreateInput(map);
        current = inner.get();
    }
    return top;
}

// A CreateInput of n levels lies 1 + 2n deep; an envelope adds two.
TEST(DocumentIo, WhatIsWrittenAtTheDepthLimitIsReadAtIt)
{
    struct Case { int levels; wi::Envelope envelope; bool written; };
    for (const Case& c : {Case{127, wi::Envelope::None, true}, Case{127, wi::Envelope::Soap11, false},
                          Case{127, wi::Envelope::Soap12, false}, Case{126, wi::Envelope::Soap11, true},
                          Case{126, wi::Envelope::Soap12, true}, Case{128, wi::Envelope::None, false}}) {
        SCOPED_TRACE(std::to_string(c.levels) + " levels, envelope " + std::to_string(static_cast<int>(c.envelope)));
        const auto input = nestedInput(c.levels);
        std::string text;
        try {
            text = wi::writeXml(*input, c.envelope);
        } catch (const DomException& error) {
            EXPECT_FALSE(c.written) << error.getMessage();
            EXPECT_NE(error.getMessage().find("limit of 256"), std::string::npos) << error.getMessage();
            continue;
        }
        EXPECT_TRUE(c.written);
        EXPECT_NO_THROW(wi::readXml<wi::CreateInput>(text)) << "written, then refused";
    }
}

TEST(DocumentIo, AFailedWriteLeavesTheTargetFailed)
{
    wi::StringMap bad;
    bad.setKey("control \x01 character");
    std::ostringstream out;
    EXPECT_THROW(wi::writeXml(bad, out), DomException);
    EXPECT_TRUE(out.bad()) << "a cut-short element passed for a whole one: " << out.str();

    // The stream itself is left with no element open, and writes nothing more.
    XmlStream stream;
    EXPECT_THROW(bad.outputXML(stream, stream.getNamespacePrefix(wi::NamespaceUri) + ":root"), DomException);
    EXPECT_TRUE(stream.bad());
    EXPECT_EQ(stream.depth(), 0u);
    const std::string cut = stream.str();
    wi::StringMap good;
    good.setKey("k");
    good.outputXML(stream, "root");
    EXPECT_EQ(stream.str(), cut);

    // A target at its end only takes nothing, and must not test true.
    std::ostringstream atEnd;
    atEnd.setstate(std::ios_base::eofbit);
    wi::writeXml(good, atEnd);
    EXPECT_FALSE(atEnd);
    EXPECT_EQ(atEnd.str(), "");
}

} // namespace
} // namespace roundtrip
