// What the envelope reader keeps of a document's head as its events arrive,
// and which events it hands on to the message's handler. Its verdicts are
// those of messageNode (tests/roundtrip/EnvelopeReadTest.cpp).

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "kvsoa/SoapEnvelope.hpp"
#include "kvsoa/XMLDocument.hpp"

namespace {

using namespace Kavella::Soa::Common::Xml;

const std::string soap11 = "xmlns:e=\"http://schemas.xmlsoap.org/soap/envelope/\"";
const std::string soap12 = "xmlns:e=\"http://www.w3.org/2003/05/soap-envelope\"";

// The events it is handed: an element's name, "/" for an end, text in quotes.
struct Names : XMLEventHandler {
    void startElement(const XMLStartTag& tag) override { names.emplace_back(tag.name); }
    void endElement() override { names.emplace_back("/"); }
    void characters(std::string_view text) override { names.push_back("'" + std::string(text) + "'"); }
    std::vector<std::string> names;
};

std::string blocks(std::size_t count, const std::string& content = {})
{
    std::string text;
    for (std::size_t i = 0; i < count; ++i) text += "<b:B" + std::to_string(i) + " xmlns:b=\"urn:b\">" + content + "</b:B" + std::to_string(i) + ">";
    return text;
}

TEST(SoapEnvelopeReader, KeepsTheHeadAndHandsOnTheMessage)
{
    struct Case {
        const char* name;
        std::string text;
        SoapVersion version;
        std::string message; // "{uri}name@line:column", or empty
        std::vector<std::string> blocks; // "{uri}name", "!" after a mandatory one
        std::size_t blockCount;
        std::optional<SoapEnvelopeError> problem;
        std::vector<std::string> handed;
    };
    const Case cases[] = {
        {"bare", "<m:Msg xmlns:m=\"urn:m\"><m:a>x</m:a></m:Msg>", SoapVersion::None, "{urn:m}Msg@1:1", {}, 0,
         std::nullopt, {"Msg", "a", "'x'", "/", "/"}},
        {"SOAP 1.1, a block for us and one for another actor",
         "<e:Envelope " + soap11 + ">\n<e:Header><a:One xmlns:a=\"urn:a\" e:mustUnderstand=\"1\"/>"
         "<a:Two xmlns:a=\"urn:a\" e:actor=\"urn:other\" e:mustUnderstand=\"1\"/></e:Header>\n"
         "<e:Body><m:Msg xmlns:m=\"urn:m\"><m:a/></m:Msg></e:Body></e:Envelope>",
         SoapVersion::Soap11, "{urn:m}Msg@3:9", {"{urn:a}One!", "{urn:a}Two"}, 2, SoapEnvelopeError::MustUnderstand,
         {"Msg", "a", "/", "/"}},
        {"SOAP 1.2, role none",
         "<e:Envelope " + soap12 + "><e:Header><a:One xmlns:a=\"urn:a\" e:mustUnderstand=\"true\" "
         "e:role=\"http://www.w3.org/2003/05/soap-envelope/role/none\"/></e:Header><e:Body><Msg/></e:Body></e:Envelope>",
         SoapVersion::Soap12, "{}Msg@1:199", {"{urn:a}One"}, 1, std::nullopt, {"Msg", "/"}},
        {"SOAP 1.2, mustUnderstand no boolean",
         "<e:Envelope " + soap12 + "><e:Header><a:One xmlns:a=\"urn:a\" e:mustUnderstand=\"maybe\"/></e:Header>"
         "<e:Body><Msg/></e:Body></e:Envelope>",
         SoapVersion::Soap12, "{}Msg@1:141", {"{urn:a}One"}, 1, SoapEnvelopeError::BadMustUnderstand, {"Msg", "/"}},
        {"an Envelope in no SOAP namespace", "<Envelope xmlns=\"urn:x\"><Body><Msg/></Body></Envelope>",
         SoapVersion::None, "{urn:x}Envelope@1:1", {}, 0, SoapEnvelopeError::UnknownNamespace, {}},
        {"an empty Body", "<e:Envelope " + soap11 + "><e:Body> </e:Body></e:Envelope>", SoapVersion::Soap11, "", {}, 0,
         SoapEnvelopeError::NoMessage, {}},
        {"a Fault, which is no message to hand on",
         "<e:Envelope " + soap11 + "><e:Body><e:Fault><faultstring>no</faultstring></e:Fault></e:Body></e:Envelope>",
         SoapVersion::Soap11, "{http://schemas.xmlsoap.org/soap/envelope/}Fault@1:73", {}, 0, std::nullopt, {}},
        {"more blocks than are kept",
         "<e:Envelope " + soap11 + "><e:Header>" + blocks(SoapEnvelopeReader::maxKeptBlocks + 3) +
             "</e:Header><e:Body><Msg/><Second/></e:Body></e:Envelope>",
         SoapVersion::Soap11, "", {}, SoapEnvelopeReader::maxKeptBlocks + 3, SoapEnvelopeError::SecondElement,
         {"Msg", "/"}},
        {"bare, after envelopes", "<Msg>y<a/></Msg>", SoapVersion::None, "{}Msg@1:1", {}, 0, std::nullopt,
         {"Msg", "'y'", "a", "/", "/"}},
    };
    // One parser and one envelope reader for all: a bare document's events
    // bypass the envelope reader, and the next document goes through it again.
    XMLEventReader parser;
    Names handed;
    SoapEnvelopeReader envelope(parser, &handed);
    for (const Case& test : cases) {
        SCOPED_TRACE(test.name);
        handed.names.clear();
        parser.read(test.text, envelope);
        const SoapEnvelopeHead& head = envelope.head();
        EXPECT_TRUE(envelope.headComplete());
        EXPECT_EQ(head.version, test.version);
        if (!test.message.empty() || test.blockCount <= SoapEnvelopeReader::maxKeptBlocks) {
            const std::string message = head.name.empty() ? "" : "{" + head.uri + "}" + head.name + "@" +
                                                                     std::to_string(head.at.line) + ":" +
                                                                     std::to_string(head.at.column);
            EXPECT_EQ(message, test.message);
            std::vector<std::string> kept;
            for (const SoapHeaderBlock& block : head.headerBlocks) {
                kept.push_back("{" + block.uri + "}" + block.name + (block.mandatory ? "!" : ""));
            }
            EXPECT_EQ(kept, test.blocks);
        } else {
            EXPECT_EQ(head.headerBlocks.size(), SoapEnvelopeReader::maxKeptBlocks);
        }
        EXPECT_EQ(head.headerBlockCount, test.blockCount);
        const SoapEnvelopeProblem* problem = envelope.problem();
        EXPECT_EQ(problem ? std::optional(problem->error) : std::nullopt, test.problem);
        EXPECT_EQ(handed.names, test.handed);
    }
}

// A kept block carries its markup, namespaces declared, as long as it is small.
TEST(SoapEnvelopeReader, KeepsEachBlockAsMarkupWithinItsBound)
{
    const std::string big(SoapEnvelopeReader::maxBlockMarkup, 'x');
    const std::string text = "<e:Envelope " + soap11 +
                             "><e:Header><a:One xmlns:a=\"urn:a\" a:id=\"7\">t<a:In>v</a:In></a:One>" + blocks(1, big) +
                             "</e:Header><e:Body><Msg/></e:Body></e:Envelope>";
    XMLEventReader parser;
    SoapEnvelopeReader envelope(parser);
    parser.read(text, envelope);
    const auto& kept = envelope.head().headerBlocks;
    ASSERT_EQ(kept.size(), 2u);
    const XMLDocument again(kept[0].markup);
    EXPECT_EQ(again.root().uri, "urn:a");
    EXPECT_EQ(again.root().name, "One");
    EXPECT_EQ(again.root().getAttr("{urn:a}id"), "7");
    ASSERT_EQ(again.root().children.size(), 1u);
    EXPECT_EQ(again.root().children[0]->uri, "urn:a");
    EXPECT_EQ(again.root().children[0]->text, "v");
    ASSERT_EQ(kept[0].attributes.size(), 1u);
    EXPECT_EQ(kept[0].attributes[0].value, "7");
    EXPECT_TRUE(kept[1].markup.empty());
}

// Stopped after the head, it reads no further: what follows is not judged.
TEST(SoapEnvelopeReader, StoppedAfterTheHeadReadsNoFurther)
{
    const std::string text = "<e:Envelope " + soap11 + "><e:Body><Msg/><Second/></e:Body><broken>";
    XMLEventReader parser;
    SoapEnvelopeReader envelope(parser);
    envelope.stopAfterHead();
    parser.read(text, envelope);
    EXPECT_EQ(envelope.head().name, "Msg");
    EXPECT_EQ(envelope.problem(), nullptr);
    EXPECT_NO_THROW(envelope.raise());
}

// A block the receiver reads is no MustUnderstand problem; others still are.
TEST(SoapEnvelopeReader, UnderstoodBlocksAreNoProblem)
{
    const std::string mandatory = "xmlns:a=\"urn:a\" e:mustUnderstand=\"1\"";
    struct Row {
        const char* name;
        std::string header;
        bool problem;
    };
    const Row rows[] = {
        {"understood", "<a:Token " + mandatory + "/>", false},
        {"understood and another", "<a:Token " + mandatory + "/><a:Other " + mandatory + "/>", true},
        {"same name, other namespace", "<b:Token xmlns:b=\"urn:b\" e:mustUnderstand=\"1\"/>", true},
        {"understood, bad mustUnderstand", "<a:Token xmlns:a=\"urn:a\" e:mustUnderstand=\"maybe\"/>", true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        XMLEventReader parser;
        SoapEnvelopeReader envelope(parser);
        envelope.understand("urn:a", "Token");
        parser.read("<e:Envelope " + soap11 + "><e:Header>" + row.header + "</e:Header><e:Body><Msg/></e:Body></e:Envelope>",
                    envelope);
        EXPECT_EQ(envelope.problem() != nullptr, row.problem);
        EXPECT_EQ(envelope.understands(envelope.head().headerBlocks.at(0)), row.header.rfind("<a:Token", 0) == 0);
        EXPECT_EQ(envelope.head().headerBlocks.at(0).mandatory, row.header.find("\"1\"") != std::string::npos);
        if (row.problem) {
            EXPECT_THROW(envelope.raise(), DomException);
        } else {
            EXPECT_NO_THROW(envelope.raise());
        }
    }
}

} // namespace
