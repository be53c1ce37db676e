#pragma once

// The parser sees UTF-8 only: a document in UTF-16, ISO-8859-1 or US-ASCII is
// decoded piece by piece, with exactly the encodings, byte order marks and
// declarations that the reader has always accepted.

#include <cstddef>
#include <string>
#include <string_view>

#include "MarkupLimits.hpp"

namespace Kavella::Soa::Common::Xml::detail {

// Stands in for every byte that cannot be read (a NUL, a character the
// declared encoding cannot hold, a lone surrogate): not UTF-8 anywhere, so
// libxml2 stops right there, and it is where expat stops too.
constexpr char unreadable = '\xFF';

/// Where no byte was put in for one that could not be read.
constexpr std::size_t noUnreadable = static_cast<std::size_t>(-1);

/// An XML declaration must end within this many bytes of the document's start,
/// on every path: a stream is read on until it does, a text in memory looked
/// at no further.
constexpr std::size_t declarationLimit = 1024 * 1024;

/// XML's white space: space, tab, line feed, carriage return.
inline bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

/// Decodes a document into UTF-8, a piece at a time. A piece may end anywhere,
/// inside a UTF-16 unit or between the halves of a surrogate pair.
class TextDecoder {
public:
    /// How the text is to be decoded, as the first bytes and the declaration say.
    enum class Mode { utf8, ascii, latin1, utf16BigEndian, utf16LittleEndian };

    enum class Start { decode, refused, refusedEncoding, needMore };

    /// Judges the encoding on the head of the document, which its declaration
    /// must lie within; whole says the head is all there is. refused, with the
    /// refusal, when the encoding is refused (EBCDIC, a declaration that does
    /// not end, a second byte order mark); refusedEncoding when the name the
    /// declaration gives is refused (unknown, unsupported or contradicted),
    /// at the name: the declaration before it may hold an earlier error.
    /// refusedText() then holds the head as far as it could be decoded. needMore
    /// when the head is too short to tell, or ends inside a declaration that
    /// may yet end within declarationLimit. Decoding starts after the byte
    /// order mark.
    Start begin(std::string_view head, bool whole, Refusal& refusal);

    /// After a refusal: the head, decoded as far as it could be.
    const std::string& refusedText() const { return m_refusedText; }

    /// Bytes of head that begin() took as the byte order mark.
    std::size_t markSize() const { return m_markSize; }
    Mode mode() const { return m_mode; }

    /// Appends raw, decoded, to out (whose first byte is at offset outStart of
    /// the decoded text). The first byte put in for one that could not be read
    /// sets firstUnreadable, when it is still noUnreadable: the parser stops there.
    void decode(std::string_view raw, std::string& out, std::size_t outStart, std::size_t& firstUnreadable);

    /// The document ends: what an unfinished unit or surrogate pair left.
    void finish(std::string& out, std::size_t outStart, std::size_t& firstUnreadable);

private:
    void decodeUtf16(std::string_view raw, std::string& out, std::size_t outStart, std::size_t& firstUnreadable);

    Mode m_mode = Mode::utf8;
    std::string m_refusedText;
    std::size_t m_markSize = 0;
    int m_oddByte = -1;         // the first byte of a unit split between pieces
    unsigned m_highSurrogate = 0; // a high surrogate whose partner is in the next piece
};

} // namespace Kavella::Soa::Common::Xml::detail
