#pragma once

// The parser sees UTF-8 only: a document in UTF-16, ISO-8859-1 or US-ASCII is
// decoded first, with exactly the encodings, byte order marks and declarations
// that the reader has always accepted.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "MarkupLimits.hpp"

namespace Kavella::Soa::Common::Xml::detail {

// Stands in for every byte that cannot be read (a NUL, a character the
// declared encoding cannot hold, a lone surrogate): not UTF-8 anywhere, so
// libxml2 stops right there, and it is where expat stops too.
constexpr char unreadable = '\xFF';

/// XML's white space: space, tab, line feed, carriage return.
inline bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

/// A document as UTF-8, NUL-terminated as the parser wants it.
struct DecodedText {
    std::string buffer;
    std::vector<std::size_t> unreadable; // offsets of the bytes decoding put in, ascending
};

/// Decodes text into out. False, with the refusal, when the encoding itself is
/// refused (an unknown or contradicted declaration, a second byte order mark);
/// out then holds the text as far as it could be decoded, for positions.
bool decode(std::string_view text, DecodedText& out, Refusal& refusal);

} // namespace Kavella::Soa::Common::Xml::detail
