// The reader takes a document a piece at a time. Whatever falls across the edge
// of a piece (a tag, a reference, a refusal, a CR LF, a surrogate pair, the
// start tag of an element that ends pieces later) reads as it does in a short
// document: from memory, from a stream, and in UTF-16.

#include <gtest/gtest.h>

#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

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

enum class Source { memory, stream, utf16Memory, utf16Stream };

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
        {"a NUL", std::string("<a>x") + '\0' + "y</a></r>", {}},
        {"CR LF", "<a>x\r\ny\r\n</a>\r\n<b/>\r<c/></r>", {}},
        {"references", "<a v='&lt;&#38;&#x10000;'>&amp;&#65;&#x1F600;</a></r>", {}},
        {"surrogate pair", "<a>\xF0\x9F\x98\x80\xF0\x9F\x98\x80</a><b/></r>", {}},
        {"a comment and CDATA", "<!--" + std::string(300, 'c') + "--><![CDATA[<&>]]><a/></r>", {}},
        {"an error after a long start tag", "<a v='" + std::string(5000, 'v') + "'><b></a></r>", {}},
        {"unfinished", "<a><b>", {}},
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
            for (const Source source : {Source::memory, Source::stream, Source::utf16Memory, Source::utf16Stream}) {
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
    for (const Source source : {Source::memory, Source::stream, Source::utf16Stream}) {
        const std::string events = outcome(text + "</e5></e4></e3></e2></e1></r>", source, {});
        for (int depth = 5; depth >= 1; --depth) {
            const std::string end = "</@" + std::to_string(depth + 1) + ":2>";
            EXPECT_NE(events.find(end), std::string::npos) << "e" << depth << " in " << static_cast<int>(source);
        }
        EXPECT_NE(events.find("</@1:1>"), std::string::npos) << static_cast<int>(source);
    }
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

} // namespace
