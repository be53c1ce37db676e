// The event reader as its handlers see it, whichever parser is underneath
// (KVSOA_XML_PARSER): the same events, positions, encodings and refusals.

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "kvsoa/DomException.hpp"
#include "kvsoa/XMLEventReader.hpp"

using namespace Kavella::Soa::Common::Xml;

namespace {

/// Writes every event down as text, with the position the reader gives during it.
class Recorder : public XMLEventHandler {
public:
    explicit Recorder(XMLEventReader& reader, int throwAtStart = 0) : m_reader(reader), m_throwAtStart(throwAtStart) {}

    void startElement(const XMLStartTag& tag) override
    {
        const XMLPosition at = m_reader.elementPosition();
        events += "<" + std::string(tag.name);
        if (!tag.uri.empty()) events += "{" + std::string(tag.uri) + "}";
        events += "@" + std::to_string(at.line) + ":" + std::to_string(at.column);
        for (const XMLAttribute& attribute : tag.attributes)
            events += " " + attribute.qualifiedName() + "=" + std::string(attribute.value);
        events += ">";
        if (++m_starts == m_throwAtStart) throw std::runtime_error("handler refused");
    }
    void endElement() override
    {
        const XMLPosition at = m_reader.elementPosition();
        events += "</@" + std::to_string(at.line) + ":" + std::to_string(at.column) + ">";
    }
    void characters(std::string_view text) override { events += "[" + std::string(text) + "]"; }

    std::string events;

private:
    XMLEventReader& m_reader;
    int m_throwAtStart;
    int m_starts = 0;
};

std::string eventsOf(const std::string& text)
{
    XMLEventReader reader;
    Recorder recorder(reader);
    reader.read(text, recorder);
    // Adjacent character pieces are one text, however the parser splits them.
    std::string merged;
    for (std::size_t i = 0; i < recorder.events.size(); ++i) {
        if (recorder.events.compare(i, 2, "][") == 0) {
            ++i;
            continue;
        }
        merged += recorder.events[i];
    }
    return merged;
}

std::string refusalOf(const std::string& text)
{
    try {
        eventsOf(text);
    } catch (const DomException& error) {
        return error.getMessage();
    }
    return "read";
}

std::string utf16(const std::string& ascii, bool bigEndian, bool mark)
{
    std::string out = mark ? (bigEndian ? std::string("\xFE\xFF") : std::string("\xFF\xFE")) : std::string();
    for (const char c : ascii) out += bigEndian ? std::string{'\0', c} : std::string{c, '\0'};
    return out;
}

} // namespace

TEST(XMLEventReaderTest, EventsCarryNamesNamespacesAttributesAndPositions)
{
    EXPECT_EQ(eventsOf("<r xmlns:p='urn:p' a='&lt;&amp;&#38;x' p:b='1'>\r\n <p:c/>t&amp;u</r>"),
              "<r@1:1 a=<&&x {urn:p}b=1>[\n ]<c{urn:p}@2:2></@2:2>[t&u]</@1:1>");
}

TEST(XMLEventReaderTest, EndEventsComeWhileTheirElementIsInnermost)
{
    EXPECT_EQ(eventsOf("<a>\n <b>\n  <c/>\n </b>\n</a>"),
              "<a@1:1>[\n ]<b@2:2>[\n  ]<c@3:3></@3:3>[\n ]</@2:2>[\n]</@1:1>");
}

TEST(XMLEventReaderTest, EncodingsReadAsExpatReadsThem)
{
    const std::string expected = "<r@1:1>[\xC3\xA9]</@1:1>";
    EXPECT_EQ(eventsOf("<?xml version='1.0' encoding='ISO-8859-1'?><r>\xE9</r>"),
              "<r@1:44>[\xC3\xA9]</@1:44>");
    EXPECT_EQ(eventsOf("\xEF\xBB\xBF<r>\xC3\xA9</r>"), expected);
    for (const bool bigEndian : {false, true}) {
        for (const bool mark : {false, true}) {
            SCOPED_TRACE(std::string(bigEndian ? "big" : "little") + (mark ? " endian, marked" : " endian"));
            EXPECT_EQ(eventsOf(utf16("<r>x</r>", bigEndian, mark)), "<r@1:1>[x]</@1:1>");
            EXPECT_EQ(eventsOf(utf16("<?xml version='1.0' encoding='UTF-16'?><r/>", bigEndian, mark)),
                      "<r@1:40></@1:40>");
            const char* other = bigEndian ? "UTF-16LE" : "UTF-16BE";
            EXPECT_NE(refusalOf(utf16(std::string("<?xml version='1.0' encoding='") + other + "'?><r/>", bigEndian, mark)),
                      "read");
            EXPECT_NE(refusalOf(utf16("<?xml version='1.0' encoding='UTF-8'?><r/>", bigEndian, mark)), "read");
        }
    }
    EXPECT_NE(refusalOf("<?xml version='1.0' encoding='US-ASCII'?><r>\xC3\xA9</r>"), "read");
    EXPECT_NE(refusalOf("<?xml version='1.0' encoding='UTF-16'?><r/>"), "read");
    EXPECT_EQ(refusalOf("<?xml version='1.0' encoding='KOI8-R'?><r/>"),
              "Malformed XML at line 1, column 31: encoding KOI8-R is not supported");
    // An error in the declaration before the encoding's name comes first.
    EXPECT_EQ(refusalOf("<?xml versio='1.0' encoding='KOI8-R'?><r/>"),
              "Malformed XML at line 1, column 7: Malformed declaration expecting version");
    EXPECT_EQ(refusalOf(utf16("<?xml versio='1.0' encoding='KOI8-R'?><r/>", false, true)),
              "Malformed XML at line 1, column 7: Malformed declaration expecting version");
    // A catalog instruction names no catalog that a message could use: read as any other.
    EXPECT_EQ(eventsOf("<?oasis-xml-catalog href='c.xml'?><r/>"), "<r@1:35></@1:35>");
    EXPECT_NE(refusalOf("\xEF\xBB\xBF<?xml version='1.0' encoding='ISO-8859-1'?><r/>").find("contradicts"),
              std::string::npos);
    EXPECT_NE(refusalOf(std::string("<r>a\0b</r>", 10)), "read");
}

TEST(XMLEventReaderTest, SharedErrorsAreWordedAlike)
{
    EXPECT_EQ(refusalOf("<a>\n</b>"), "Malformed XML at line 2, column 3: mismatched tag");
    EXPECT_EQ(refusalOf("<a x='1' x='2'/>"), "Malformed XML at line 1, column 10: duplicate attribute");
    EXPECT_EQ(refusalOf("<r a='1' b='2' a='3' c='4' d='5'/>"), "Malformed XML at line 1, column 16: duplicate attribute");
    EXPECT_EQ(refusalOf("<a>&#0;</a>"), "Malformed XML at line 1, column 4: reference to invalid character number");
    EXPECT_EQ(refusalOf("<a>&#12a;</a>"), "Malformed XML at line 1, column 8: not well-formed (invalid token)");
    EXPECT_EQ(refusalOf("<a v='&#x;'/>"), "Malformed XML at line 1, column 10: not well-formed (invalid token)");
    EXPECT_EQ(refusalOf("<a>&#x12</a>"), "Malformed XML at line 1, column 9: not well-formed (invalid token)");
    EXPECT_EQ(refusalOf("<a>x]]>y</a>"), "Malformed XML at line 1, column 7: Sequence ']]>' not allowed in content");
    EXPECT_EQ(refusalOf("<a>&x;</a>"), "Malformed XML at line 1, column 4: undefined entity");
    EXPECT_EQ(refusalOf("<p:a/>"), "Malformed XML at line 1, column 1: unbound prefix");
    EXPECT_EQ(refusalOf("<a/><b/>"), "Malformed XML at line 1, column 5: junk after document element");
}

TEST(XMLEventReaderTest, AfterAHandlerThrowsNoEventReachesItAndTheTextIsStillChecked)
{
    XMLEventReader reader;
    Recorder recorder(reader, 2);
    EXPECT_THROW(reader.read("<a><b><c/></b>t</a>", recorder), std::runtime_error);
    EXPECT_EQ(recorder.events, "<a@1:1><b@1:4>");

    XMLEventReader malformedReader;
    Recorder malformed(malformedReader, 1);
    EXPECT_THROW(malformedReader.read("<a><b></a>", malformed), DomException);
    EXPECT_EQ(malformed.events, "<a@1:1>");
}
