#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "kvsoa/Conversions.hpp"
#include "kvsoa/XMLDocument.hpp"
#include "kvsoa/XmlStream.hpp"
#include "runtime/RuntimeTestSupport.hpp"
#include "workinstructions/WorkInstructions.hpp"

using namespace Velmora::Schemas::Mes::_2010_09::Workinstructions;
using Kavella::Schemas::Soa::_2006_03::Base::PartialError;
using Kavella::Soa::Common::toXmlString;
using Kavella::Soa::Common::Xml::XMLDocument;
using namespace runtime_test;

namespace {

/// Puts a text into one place of a message, writes it (indented or not),
/// reads it back and returns what arrived in that place.
struct Carrier {
    const char* label;
    std::function<std::string(const std::string& text, int indent)> roundTrip;
};

// Which half of the last round trip was running: a refusal must come from writing.
enum class Stage { Writing, Reading };
Stage lastStage = Stage::Writing;

template <typename T>
AutoPtr<T> writeAndRead(const T& object, int indent)
{
    XmlStream stream;
    stream.setIndent(indent);
    lastStage = Stage::Writing;
    object.outputXML(stream, stream.getNamespacePrefix(object.namespaceUri()) + ":x");
    lastStage = Stage::Reading;
    const XMLDocument document(stream.str());
    AutoPtr<T> back(new T);
    back->parse(document.root());
    return back;
}

const std::vector<Carrier>& carriers()
{
    static const std::vector<Carrier> all = {
        {"ModelObject uid", [](const std::string& text, int indent) {
             return writeAndRead(ModelObject(text), indent)->getUid();
         }},
        {"StringMap key", [](const std::string& text, int indent) {
             StringMap entry;
             entry.setKey(text);
             return writeAndRead(entry, indent)->getKey();
         }},
        {"StringMap value", [](const std::string& text, int indent) {
             StringMap entry;
             entry.setValue(text);
             return writeAndRead(entry, indent)->getValue();
         }},
        {"StringVectorMap element content", [](const std::string& text, int indent) {
             StringVectorMap entry;
             entry.addValue(text);
             entry.addValue("second");
             const auto back = writeAndRead(entry, indent);
             return back->getValueArray().size() == 2 ? back->getValueArray()[0] : "<entries lost>";
         }},
        {"TagMap nested uid", [](const std::string& text, int indent) {
             TagMap entry;
             entry.getValue()->setUid(text);
             return writeAndRead(entry, indent)->getValue()->getUid();
         }},
        {"PartialError message", [](const std::string& text, int indent) {
             ServiceData data;
             data.addPartialError(PartialError{"", text, 1, 1});
             const auto back = writeAndRead(data, indent);
             return back->getPartialErrorArray().empty() ? "<error lost>" : back->getPartialErrorArray()[0].message;
         }},
    };
    return all;
}

} // namespace

TEST(XmlEscapingTest, AwkwardTextsComeBackByteIdentical)
{
    const std::vector<std::string> texts = {
        "",
        "<tag attr=\"v\">&amp;</tag>",
        "single ' and double \" quotes",
        "tab\there",
        "cr\ronly",
        "lf\nonly",
        "crlf\r\nand\n\rmixed",
        "  leading and trailing  ",
        "\t\r\n",
        "]]>",
        "a]]>b]]]]>",
        "&#65; &lt; stays literal",
        "\xC3\xA4\xC3\xB6\xC3\xBC \xE2\x82\xAC \xF0\x9D\x84\x9E \xE4\xB8\xAD",
        "del \x7F and next-line \xC2\x85 are XML 1.0 characters",
    };
    for (const Carrier& carrier : carriers())
        for (int indent : {0, 2})
            for (const std::string& text : texts)
                EXPECT_EQ(carrier.roundTrip(text, indent), text) << carrier.label << ", indent " << indent;
}

TEST(XmlEscapingTest, TextsXmlCannotCarryAreRefusedAtWriteTime)
{
    const std::vector<std::string> refused = {
        std::string("nul \0 inside", 12),
        "bell \x07",
        "unit separator \x1F",
        "stray continuation \x80",
        "truncated \xC3",
        "overlong \xC0\xAF",
        "surrogate \xED\xA0\x80",
        "above max \xF4\x90\x80\x80",
        "byte \xFF",
        "non-character \xEF\xBF\xBF",
    };
    for (const Carrier& carrier : carriers()) {
        for (const std::string& text : refused) {
            const auto error = domErrorOf([&] { carrier.roundTrip(text, 0); });
            ASSERT_TRUE(error.has_value()) << carrier.label << " wrote " << text;
            EXPECT_EQ(lastStage, Stage::Writing) << carrier.label << ": " << error->getMessage();
        }
    }
}

namespace {

std::string referenceEscape(const std::string& text)
{
    std::string out;
    for (const char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '\t': out += "&#9;"; break;
        case '\n': out += "&#10;"; break;
        case '\r': out += "&#13;"; break;
        default: out += c;
        }
    }
    return out;
}

} // namespace

// Plain stretches are checked eight bytes at a time: every byte that needs
// escaping or refusing is caught at every place in and across those words.
TEST(XmlEscaping, EveryByteAtEveryPlaceOfAWordIsSeen)
{
    for (std::size_t place = 0; place < 19; ++place) {
        for (int byte = 0x01; byte < 0x80; ++byte) {
            std::string text(19, 'a');
            text[place] = static_cast<char>(byte);
            XmlStream stream;
            const bool control = byte < 0x20 && byte != '\t' && byte != '\n' && byte != '\r';
            if (control) {
                EXPECT_THROW(toXmlString(text), DomException) << byte << " at " << place;
                EXPECT_THROW(stream.appendEscaped(text), DomException) << byte << " at " << place;
                EXPECT_EQ(stream.str(), "") << "a refused text leaves nothing behind";
                continue;
            }
            EXPECT_EQ(toXmlString(text), referenceEscape(text)) << byte << " at " << place;
            stream.appendEscaped(text);
            EXPECT_EQ(stream.str(), referenceEscape(text)) << byte << " at " << place;
        }
        // A broken UTF-8 sequence is refused wherever it stands; a whole one passes.
        std::string broken(19, 'a');
        broken[place] = '\xC3';
        EXPECT_THROW(toXmlString(broken), DomException) << "at " << place;
        std::string whole = std::string(place, 'a') + "\xC3\xA9" + std::string(19 - place, 'a');
        EXPECT_EQ(toXmlString(whole), whole) << "at " << place;
    }
}
