// The reader takes a document a piece at a time. Whatever falls across the edge
// of a piece (a tag, a reference, a refusal, a CR LF, a surrogate pair, the
// start tag of an element that ends pieces later) reads as it does in a short
// document: from memory, from a stream, from a stream that arrives a few bytes
// at a time, and in UTF-16.

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "PieceStreams.hpp"
#include "kvsoa/DomException.hpp"
#include "kvsoa/XMLEventReader.hpp"

using namespace Kavella::Soa::Common::Xml;

namespace {

constexpr std::size_t piece = 64 * 1024;

/// Start tags and text as they come; an element's position only as it ends,
/// so that the reader must have kept it since its start tag.
class EndPositions : public XMLEventHandler {
public:
    explicit EndPositions(XMLEventReader& reader) : m_reader(reader) {}

    void startElement(const XMLStartTag& tag) override
    {
        events += "<" + std::string(tag.name);
        for (const XMLAttribute& attribute : tag.attributes)
            events += " " + attribute.qualifiedName() + "=" + std::string(attribute.value);
        events += ">";
    }
    void endElement() override
    {
        const XMLPosition at = m_reader.elementPosition();
        events += "</@" + std::to_string(at.line) + ":" + std::to_string(at.column) + ">";
    }
    void characters(std::string_view text) override
    {
        if (events.empty() || events.back() != ']') events += "[]";
        events.insert(events.size() - 1, text);
    }

    std::string events;

private:
    XMLEventReader& m_reader;
};

enum class Source { memory, stream, utf16Memory, utf16Stream, trickle };

/// How many bytes a trickling stream hands over per read.
constexpr std::size_t trickle = 7;

std::string utf16(const std::string& utf8)
{
    std::string out = "\xFF\xFE";
    for (std::size_t i = 0; i < utf8.size();) {
        const auto byte = static_cast<unsigned char>(utf8[i]);
        unsigned code = byte;
        std::size_t length = 1;
        if (byte >= 0xF0) code = byte & 0x07u, length = 4;
        else if (byte >= 0xE0) code = byte & 0x0Fu, length = 3;
        else if (byte >= 0xC0) code = byte & 0x1Fu, length = 2;
        for (std::size_t k = 1; k < length; ++k) code = (code << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3Fu);
        i += length;
        const auto unit = [&](unsigned u) {
            out += static_cast<char>(u & 0xFF);
            out += static_cast<char>(u >> 8);
        };
        if (code >= 0x10000) {
            unit(0xD800 + ((code - 0x10000) >> 10));
            unit(0xDC00 + ((code - 0x10000) & 0x3FF));
        } else {
            unit(code);
        }
    }
    return out;
}

/// The events, or the refusal, of reading text.
std::string outcome(const std::string& text, Source source, const XMLReadLimits& limits)
{
    XMLEventReader reader(limits);
    EndPositions handler(reader);
    try {
        const bool sixteen = source == Source::utf16Memory || source == Source::utf16Stream;
        const std::string input = sixteen ? utf16(text) : text;
        if (source == Source::memory || source == Source::utf16Memory) {
            reader.read(input, handler);
        } else if (source == Source::trickle) {
            reader_test::PieceBuffer buffer(input, trickle);
            std::istream stream(&buffer);
            reader.read(stream, handler);
        } else {
            std::istringstream stream(input);
            reader.read(stream, handler);
        }
    } catch (const DomException& error) {
        return handler.events + " !" + error.what();
    }
    return handler.events;
}

struct Fragment {
    const char* name;
    std::string text; // follows the padding inside <r>
    XMLReadLimits limits;
};

XMLReadLimits fewAttributes()
{
    XMLReadLimits limits;
    limits.maxAttributes = 3;
    return limits;
}

std::vector<Fragment> fragments()
{
    return {
        {"mismatched tag", "<a><b>x</a></r>", {}},
        {"undefined entity", "<a>x&nope;y</a></r>", {}},
        {"duplicate attribute", "<a one='1' two='2' one='3'/></r>", {}},
        {"unbound prefix", "<p:a/></r>", {}},
        {"attributes over the limit", "<a w='1' x='2' y='3' z='4'/></r>", fewAttributes()},
        {"an error in a long tag over the limit", "<a w='<" + std::string(400, 'v') + "' x='2' y='3' z='4'/></r>",
         fewAttributes()},
        {"a NUL", std::string("<a>x") + '\0' + "y</a></r>", {}},
        {"CR LF", "<a>x\r\ny\r\n</a>\r\n<b/>\r<c/></r>", {}},
        {"references", "<a v='&lt;&#38;&#x10000;'>&amp;&#65;&#x1F600;</a></r>", {}},
        {"surrogate pair", "<a>\xF0\x9F\x98\x80\xF0\x9F\x98\x80</a><b/></r>", {}},
        {"a comment and CDATA", "<!--" + std::string(300, 'c') + "--><![CDATA[<&>]]><a/></r>", {}},
        {"an error after a long start tag", "<a v='" + std::string(5000, 'v') + "'><b></a></r>", {}},
        {"unfinished", "<a><b>", {}},
        {"]]> in text", "<a>x]]>y</a></r>", {}},
        {"a misspelt character reference", "<a>&#12a;</a></r>", {}},
    };
}

/// Puts fragment so that it starts shift characters before the first piece's
/// end (in UTF-16, a piece holds half as many), or right after a short padding
/// when shift is negative.
std::string document(const Fragment& fragment, long shift, bool sixteen = false)
{
    const std::string head = "<r><far>\n<!--";
    const std::string tail = "-->\n";
    std::size_t padding = 1;
    if (shift >= 0) padding = (sixteen ? piece / 2 : piece) - head.size() - tail.size() - static_cast<std::size_t>(shift);
    return head + std::string(padding, 'x') + tail + "</far>" + fragment.text;
}

TEST(ReaderPieces, WhatFallsAcrossAPieceEdgeReadsAsInAShortDocument)
{
    for (const Fragment& fragment : fragments()) {
        const std::string expected = outcome(document(fragment, -1), Source::memory, fragment.limits);
        ASSERT_FALSE(expected.empty()) << fragment.name;
        for (long shift = 0; shift <= static_cast<long>(fragment.text.size()) + 2; ++shift) {
            for (const Source source :
                 {Source::memory, Source::stream, Source::utf16Memory, Source::utf16Stream, Source::trickle}) {
                if (shift > 40 && source != Source::stream) continue; // one source is enough for a long fragment
                const bool sixteen = source == Source::utf16Memory || source == Source::utf16Stream;
                EXPECT_EQ(outcome(document(fragment, shift, sixteen), source, fragment.limits), expected)
                    << fragment.name << ", shifted " << shift << ", source " << static_cast<int>(source);
            }
        }
    }
}

TEST(ReaderPieces, ElementsOpenOverManyPiecesKeepTheirPositions)
{
    // Each element's start tag lies pieces before its end.
    std::string text = "<r>";
    for (int depth = 1; depth <= 5; ++depth) text += "\n <e" + std::to_string(depth) + ">" + std::string(3 * piece, 'x');
    for (const Source source : {Source::memory, Source::stream, Source::utf16Stream, Source::trickle}) {
        const std::string events = outcome(text + "</e5></e4></e3></e2></e1></r>", source, {});
        for (int depth = 5; depth >= 1; --depth) {
            const std::string end = "</@" + std::to_string(depth + 1) + ":2>";
            EXPECT_NE(events.find(end), std::string::npos) << "e" << depth << " in " << static_cast<int>(source);
        }
        EXPECT_NE(events.find("</@1:1>"), std::string::npos) << static_cast<int>(source);
    }
}

// Reading stops at the first error and places it there, whatever comes after
// it and however far the window has moved on by then; the caller's exception
// mask neither breaks a read nor changes.
TEST(ReaderPieces, WhatIsRefusedIsRefusedAlikeFromEveryInput)
{
    XMLReadLimits fewNames;
    fewNames.maxDistinctNames = 8;
    std::string pis = "<r>";
    for (int i = 0; i < 12; ++i) pis += "<?t" + std::to_string(i) + " <\r\n\r\n?>";
    const std::string spaces(70000, ' ');
    struct Case {
        const char* name;
        std::string text;
        std::string refusal; // what the message ends with; empty when the text reads
        XMLReadLimits limits;
        bool ascii;          // also read as UTF-16
    };
    const std::vector<Case> cases = {
        {"an error, then many elements", "<r><e a='1' a='2'/>" + std::string(40000 * 4, 'x') + "</r>",
         "line 1, column 13: duplicate attribute", {}, true},
        {"an error, then many distinct names",
         "<r><a></b>" + [] {
             std::string names;
             for (int i = 0; i < 50000; ++i) names += "<e" + std::to_string(i) + "/>";
             return names;
         }() + "</r>",
         "line 1, column 9: mismatched tag", {}, true},
        {"NULs", "<r>" + std::string(1 << 20, '\0') + "</r>", "line 1, column 4: not well-formed (invalid token)", {}, false},
        {"EBCDIC", std::string("\x4C\x6F\xA7\x94\x93\x40\xA5\x85\x99\xA2\x89\x96\x95\x7E\x7F\xF1\x4B\xF0\x7F\x40\x85\x95"
                               "\x83\x96\x84\x89\x95\x87\x7E\x7F\xC9\xC2\xD4\xF0\xF3\xF7\x7F\x6F\x6E\x4C\x99") +
                       std::string(70000, '\x40'),
         "line 1, column 31: encoding IBM037 is not supported", {}, false},
        {"a long declaration", "<?xml version='1.0'" + spaces + "encoding='ISO-8859-1'?><r>\xE9</r>", "", {}, false},
        {"a declaration that does not end",
         "<?xml version='1.0'" + std::string(1 << 20, ' ') + "encoding='ISO-8859-1'?><r/>",
         "line 1, column 1: the XML declaration does not end within the first 1048576 bytes", {}, false},
        {"invalid UTF-8", std::string("<?xml version=\"1.0\"?>\xFE\xFF\x00<r/>", 28) + spaces,
         "line 1, column 22: not well-formed: invalid UTF-8 byte 0xFE where the document element must start", {}, false},
        {"names over the limit at a processing instruction", pis + "</r>",
         "line 9, column 3: more distinct names than the limit of 8", fewNames, true},
        {"an element left open", "<r>\n  <a x='1'>" + std::string(100000, 't'),
         "no element found: the text ends inside element \"a\", opened at line 2, column 3", {}, true},
    };
    const std::string file = ::testing::TempDir() + "reader-pieces-refusal.xml";
    for (const Case& c : cases) {
        std::vector<std::pair<std::string, std::string>> outcomes;
        const auto read = [&](const char* path, auto&& input) {
            XMLEventReader reader(c.limits);
            EndPositions handler(reader);
            std::string what = "read";
            try {
                input(reader, handler);
            } catch (const DomException& error) {
                what = error.what();
            }
            outcomes.emplace_back(path, what);
        };
        read("memory", [&](XMLEventReader& reader, EndPositions& handler) { reader.read(c.text, handler); });
        read("stream", [&](XMLEventReader& reader, EndPositions& handler) {
            std::istringstream stream(c.text);
            const auto mask = std::ios::failbit | std::ios::badbit;
            stream.exceptions(mask);
            reader.read(stream, handler);
            EXPECT_EQ(stream.exceptions(), mask) << c.name;
        });
        {
            std::ofstream(file, std::ios::binary) << c.text;
        }
        read("file", [&](XMLEventReader& reader, EndPositions& handler) {
            std::ifstream in(file, std::ios::binary);
            in.exceptions(std::ios::failbit | std::ios::badbit);
            reader.read(in, handler);
        });
        if (c.ascii) {
            read("UTF-16", [&](XMLEventReader& reader, EndPositions& handler) { reader.read(utf16(c.text), handler); });
        }
        for (const auto& [path, what] : outcomes) {
            if (c.refusal.empty()) {
                EXPECT_EQ(what, "read") << c.name << " from " << path;
            } else {
                EXPECT_NE(what.find(c.refusal), std::string::npos) << c.name << " from " << path << ": " << what;
            }
        }
    }
    std::remove(file.c_str());
}

TEST(ReaderPieces, AStreamThatFailsMidwayIsReportedAsSuch)
{
    // Gives the start of a document, then fails.
    struct FailingBuffer : std::streambuf {
        std::string text = "<r>" + std::string(3 * piece, 'x');
        bool given = false;
        int_type underflow() override
        {
            if (given) throw std::runtime_error("disk gone");
            given = true;
            setg(text.data(), text.data(), text.data() + text.size());
            return traits_type::to_int_type(text[0]);
        }
    };
    for (const bool exceptions : {false, true}) {
        FailingBuffer buffer;
        std::istream stream(&buffer);
        if (exceptions) stream.exceptions(std::ios_base::badbit);
        XMLEventReader reader;
        EndPositions handler(reader);
        EXPECT_ANY_THROW(reader.read(stream, handler));
        try {
            FailingBuffer again;
            std::istream second(&again);
            reader.read(second, handler);
        } catch (const DomException& error) {
            ADD_FAILURE() << "reported as malformed: " << error.what();
        } catch (...) {
        }
    }
}

// The parser is given a long text 4000 bytes at a time; "]]>" is refused
// wherever it falls against those edges and the pieces', and from every input.
TEST(ReaderPieces, ACdataEndInTextIsRefusedWhereverItFalls)
{
    const std::string file = ::testing::TempDir() + "reader-pieces-cdata-end.xml";
    std::vector<std::size_t> places;
    for (std::size_t edge = 4000; edge < 140000; edge += 4000) {
        for (std::size_t at = edge - 4; at <= edge + 2; ++at) places.push_back(at);
    }
    for (std::size_t at = piece - 4; at <= piece + 2; ++at) places.push_back(at);
    for (const std::size_t at : places) {
        std::string text = "<r>" + std::string(140000, 'x') + "</r>";
        text.replace(at, 3, "]]>");
        const std::string expected =
            "line 1, column " + std::to_string(at + 3) + ": Sequence ']]>' not allowed in content";
        {
            std::ofstream(file, std::ios::binary) << text;
        }
        std::istringstream stream(text);
        std::ifstream in(file, std::ios::binary);
        const std::vector<std::pair<const char*, std::string>> outcomes = {
            {"memory", outcome(text, Source::memory, {})},
            {"stream", outcome(text, Source::stream, {})},
            {"file", [&] {
                 XMLEventReader reader;
                 EndPositions handler(reader);
                 try {
                     reader.read(in, handler);
                 } catch (const DomException& error) {
                     return std::string(error.what());
                 }
                 return std::string("read");
             }()},
        };
        for (const auto& [path, what] : outcomes)
            EXPECT_NE(what.find(expected), std::string::npos) << "at " << at << " from " << path << ": " << what;
    }
    std::remove(file.c_str());
}

} // namespace
