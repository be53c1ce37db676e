// Whole documents: a write that fails shows in the target's state.

#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "RoundTripSupport.hpp"

namespace roundtrip {
namespace {

using ::Kavella::Soa::Common::Xml::DomException;

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
