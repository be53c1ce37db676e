// Whole documents: a write that fails shows in the target's state.

#include <cstdio>
#include <fstream>
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

TEST(DocumentIo, FilesAndStreamsReadAsTheTextDoes)
{
    wi::SaveWorkInstructionDocInput request;
    for (int i = 0; i < 3000; ++i) { // some pieces long
        AutoPtr<wi::SavedObjectInfo> saved(new wi::SavedObjectInfo);
        saved->setWorkInstructionFile("line-" + std::to_string(i) + ".wi");
        request.addSavedObject(saved);
    }
    const std::string text = wi::writeXml(request, wi::Envelope::Soap12);
    const std::string path = ::testing::TempDir() + "document-io.xml";
    {
        std::ofstream file(path, std::ios_base::binary);
        file << text;
    }
    EXPECT_EQ(wi::writeXml(*wi::readXmlFile<wi::SaveWorkInstructionDocInput>(path)), wi::writeXml(request));
    std::istringstream stream(text);
    EXPECT_EQ(wi::writeXml(*wi::readXml<wi::SaveWorkInstructionDocInput>(stream)), wi::writeXml(request));
    std::istringstream again(text);
    const ::Kavella::Soa::Common::Xml::XMLDocument document(again);
    EXPECT_EQ(document.size(), ::Kavella::Soa::Common::Xml::XMLDocument(text).size());

    // A file that cannot be opened is named; a malformed one is refused with its position.
    try {
        wi::readXmlFile<wi::SaveWorkInstructionDocInput>(path + ".missing");
        ADD_FAILURE() << "a missing file was read";
    } catch (const std::ios_base::failure& error) {
        EXPECT_NE(std::string(error.what()).find(path + ".missing"), std::string::npos) << error.what();
    }
    {
        std::ofstream file(path, std::ios_base::binary);
        file << text.substr(0, text.size() - 20) << "</wrong>";
    }
    EXPECT_THROW(wi::readXmlFile<wi::SaveWorkInstructionDocInput>(path), DomException);
    std::remove(path.c_str());
}

} // namespace
} // namespace roundtrip
