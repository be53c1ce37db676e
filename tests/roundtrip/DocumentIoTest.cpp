// Whole documents: a write that fails shows in the target's state.

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>

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

TEST(DocumentIo, PeekTellsTheMessageFromItsHeadAlone)
{
    const std::string ns = std::string("xmlns:m=\"") + wi::NamespaceUri + "\"";
    const std::string soap11 = "xmlns:s=\"http://schemas.xmlsoap.org/soap/envelope/\"";
    const std::string soap12 = "xmlns:s=\"http://www.w3.org/2003/05/soap-envelope\"";
    struct Case {
        std::string text;
        wi::Envelope envelope;
        std::string name;
        std::string uri;
        int line;
        int column;
    };
    const Case cases[] = {
        // Cut short after the head: nothing after it is judged.
        {"<m:SavedObjectsResponse " + ns + "><m:ServiceData>", wi::Envelope::None, "SavedObjectsResponse", wi::NamespaceUri, 1, 1},
        {"<?xml version=\"1.0\"?>\n  <Other/>", wi::Envelope::None, "Other", "", 2, 3},
        {"<s:Envelope " + soap11 + ">\n<s:Header><m:LoadedObjectsResponse " + ns + "/></s:Header>\n<s:Body><m:LoadWorkInstructionDocInput " +
             ns + "><broken",
         wi::Envelope::Soap11, "LoadWorkInstructionDocInput", wi::NamespaceUri, 3, 9},
        {"<s:Envelope " + soap12 + "><s:Body><s:Fault/></s:Body></s:Envelope>", wi::Envelope::Soap12, "Fault",
         "http://www.w3.org/2003/05/soap-envelope", 1, static_cast<int>(("<s:Envelope " + soap12 + "><s:Body>").size()) + 1},
        {"<s:Envelope " + soap12 + "><s:Body> </s:Body><m:Late " + ns + "/></s:Envelope>", wi::Envelope::Soap12, "", "", 0, 0},
        {"<s:Envelope " + soap11 + "><Body><m:X " + ns + "/></Body></s:Envelope>", wi::Envelope::Soap11, "", "", 0, 0},
        {"<Envelope xmlns=\"urn:elsewhere\"><Body/></Envelope>", wi::Envelope::None, "Envelope", "urn:elsewhere", 1, 1},
    };
    for (const Case& expected : cases) {
        SCOPED_TRACE(expected.text);
        std::istringstream stream(expected.text);
        for (const wi::MessageHead& head : {wi::peekMessage(expected.text), wi::peekMessage(stream)}) {
            EXPECT_EQ(head.envelope, expected.envelope);
            EXPECT_EQ(head.name, expected.name);
            EXPECT_EQ(head.uri, expected.uri);
            EXPECT_EQ(head.at.line, expected.line);
            EXPECT_EQ(head.at.column, expected.column);
        }
    }

    // Before the head, text is judged as readXml judges it, limits included.
    const std::string deep = "<s:Envelope " + soap11 + "><s:Body><m:SavedObjectsResponse " + ns + "/></s:Body></s:Envelope>";
    ::Kavella::Soa::Common::Xml::XMLReadLimits shallow;
    shallow.maxDepth = 2;
    for (const auto& [text, limits] : {std::pair{std::string("<a x='1' x='2'/>"), wi::XMLReadLimits{}},
                                       std::pair{"<s:Envelope " + soap11 + ">\n<s:Header></s:Body>", wi::XMLReadLimits{}},
                                       std::pair{deep, shallow}}) {
        try {
            wi::peekMessage(text, limits);
            ADD_FAILURE() << "peeked into " << text;
        } catch (const DomException& error) {
            EXPECT_GT(error.line(), 0) << error.what();
        }
    }
}

TEST(DocumentIo, IndentedDocumentsReadAsTheCompactOnes)
{
    AutoPtr<wi::StringVectorMap> list(new wi::StringVectorMap);
    list->setKey("k");
    list->addValue("a");
    list->addValue("two\nlines");
    EXPECT_EQ(wi::writeXml(*list, wi::WriteFormat{wi::Envelope::Soap12, 2}),
              "<env:Envelope xmlns:env=\"http://www.w3.org/2003/05/soap-envelope\">\n"
              "  <env:Body>\n"
              "    <ns1:StringVectorMap xmlns:ns1=\"http://velmora.com/Schemas/MES/2010-09/WorkInstructions\" key=\"k\">"
              "<ns1:value>a</ns1:value><ns1:value>two&#10;lines</ns1:value></ns1:StringVectorMap>\n"
              "  </env:Body>\n"
              "</env:Envelope>");

    wi::SaveWorkInstructionDocInput request;
    AutoPtr<wi::SavedObjectInfo> saved(new wi::SavedObjectInfo);
    saved->getTargetObject()->setUid("QGx9");
    AutoPtr<wi::SavedSubSTXInfo> dcd(new wi::SavedSubSTXInfo);
    dcd->getObjectData()->addStringArrayProp(list);
    saved->addModifiedDCD(dcd);
    request.addSavedObject(saved);
    for (const wi::Envelope envelope : {wi::Envelope::None, wi::Envelope::Soap11, wi::Envelope::Soap12}) {
        for (const int indent : {1, 4}) {
            const std::string text = wi::writeXml(request, wi::WriteFormat{envelope, indent});
            SCOPED_TRACE(text);
            std::ostringstream out;
            wi::writeXml(request, out, wi::WriteFormat{envelope, indent});
            EXPECT_EQ(out.str(), text);
            EXPECT_EQ(wi::writeXml(*wi::readXml<wi::SaveWorkInstructionDocInput>(text), envelope),
                      wi::writeXml(request, envelope));
            // Each line one level further in than the element it is inside, or back out.
            std::istringstream lines(text);
            std::size_t previous = 0, count = 0;
            for (std::string line; std::getline(lines, line); ++count) {
                const std::size_t spaces = line.find_first_not_of(' ');
                EXPECT_EQ(line[spaces], '<');
                EXPECT_EQ(spaces % static_cast<std::size_t>(indent), 0u);
                EXPECT_LE(spaces, previous + static_cast<std::size_t>(indent));
                previous = spaces;
            }
            EXPECT_EQ(count, envelope == wi::Envelope::None ? 10u : 14u); // values stay on their element's line
        }
    }
}

} // namespace
} // namespace roundtrip
