#include "MarkupLimits.hpp"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace Kavella::Soa::Common::Xml::detail {

namespace {

// One table lookup per byte in the loops that every tag goes through.
enum : std::uint8_t { space = 1, delimiter = 2 };
constexpr std::array<std::uint8_t, 256> classes = [] {
    std::array<std::uint8_t, 256> table{};
    for (const unsigned char c : {' ', '\t', '\n', '\r'}) table[c] = space | delimiter;
    for (const unsigned char c : {'/', '>', '=', '?'}) table[c] = delimiter;
    return table;
}();

bool is(char c, std::uint8_t kind) { return (classes[static_cast<unsigned char>(c)] & kind) != 0; }

} // namespace

std::size_t MarkupScanner::scan(std::string_view text, std::size_t start, bool final, std::size_t wanted)
{
    m_chars = text.data();
    m_start = start;
    m_end = start + text.size();
    if (m_refusal) return m_judged;
    if (m_gaveUp) return m_end;
    if (!final && m_end < m_retryAt) return judged();
    while (m_at < m_end && m_at < wanted) {
        if (!m_until.empty()) {
            if (skipToEnd(final)) continue;
            if (final) m_gaveUp = true; // unfinished: the parser says so
            return m_gaveUp ? m_end : judged();
        }
        const std::size_t tag = find('<', m_at);
        if (!m_declared.empty() && misplacedCdataEnd(m_at, tag)) return m_judged;
        if (tag >= m_end) {
            // A ']' at the end may begin a "]]>" that the next piece ends.
            m_judged = m_end;
            std::size_t held = 0;
            while (!final && held < 2 && m_end - held > m_at && at(m_end - held - 1) == ']') ++held;
            m_at = m_end - held;
            break;
        }
        Step step = Step::needMore;
        if (tag + 1 < m_end) {
            switch (at(tag + 1)) {
            case '/': step = endTag(tag); break;
            case '?': step = processingInstruction(tag); break;
            case '!': step = declaration(tag); break;
            default: step = startTag(tag); break;
            }
        }
        if (m_refusal) return m_judged;
        if (step == Step::needMore && final) step = Step::giveUp; // unfinished: the parser says so
        if (step == Step::giveUp) {
            m_gaveUp = true;
            return m_end;
        }
        if (step == Step::needMore) {
            m_at = tag;
            m_retryAt = tag + 2 * (m_end - tag);
            return judged();
        }
    }
    return judged();
}

/// Inside a comment, CDATA section or processing instruction, from m_at: true
/// past its end; otherwise all that arrived is judged fit (nothing in it counts
/// against a limit) and the search resumes where the end may begin.
bool MarkupScanner::skipToEnd(bool final)
{
    const std::string_view rest(m_chars + (m_at - m_start), m_end - m_at);
    const std::size_t found = rest.find(m_until);
    if (found != std::string_view::npos) {
        m_at += found + m_until.size();
        m_until = {};
        return true;
    }
    m_judged = m_end;
    if (!final) m_at = std::max(m_at, m_end - std::min(m_end, m_until.size() - 1));
    return false;
}

/// Refuses "]]>" in the character data in [from, to), at its '>' as the parser places it.
bool MarkupScanner::misplacedCdataEnd(std::size_t from, std::size_t to)
{
    const std::string_view run(m_chars + (from - m_start), std::min(to, m_end) - from);
    const std::size_t found = run.find("]]>");
    if (found == std::string_view::npos) return false;
    refuse(from + found + 2, cdataEndInContent);
    return true;
}

MarkupScanner::Step MarkupScanner::endTag(std::size_t tag)
{
    const std::size_t close = find('>', tag + 2);
    if (close >= m_end) return Step::needMore;
    m_at = close + 1;
    if (!m_declared.empty()) {
        m_inScope -= m_declared.back();
        m_declared.pop_back();
    }
    return Step::done;
}

MarkupScanner::Step MarkupScanner::processingInstruction(std::size_t tag)
{
    const std::size_t end = nameEnd(tag + 2);
    if (end - (tag + 2) > m_limits.maxNameLength) return refuse(tag, longName());
    if (end >= m_end) return Step::needMore;
    m_at = end;
    m_until = "?>";
    return Step::done;
}

MarkupScanner::Step MarkupScanner::declaration(std::size_t tag)
{
    const std::string_view rest(m_chars + (tag - m_start), m_end - tag);
    const auto opens = [&](std::string_view opening) {
        return rest.substr(0, opening.size()) == opening.substr(0, rest.size());
    };
    const auto enter = [&](std::string_view opening, std::string_view end) {
        if (rest.size() < opening.size()) return Step::needMore;
        m_at = tag + opening.size();
        m_until = end;
        return Step::done;
    };
    if (opens("<!--")) return enter("<!--", "-->");
    if (opens("<![CDATA[")) return enter("<![CDATA[", "]]>");
    return Step::giveUp; // a DOCTYPE, which the reader refuses as it starts, or malformed
}

MarkupScanner::Step MarkupScanner::startTag(std::size_t tag)
{
    std::size_t pos = tag + 1;
    const std::size_t end = nameEnd(pos);
    if (end - pos > m_limits.maxNameLength) return refuse(tag, longName());
    if (end >= m_end) return Step::needMore;
    if (end == pos) return Step::giveUp;
    pos = end;
    std::size_t attributes = 0;
    std::size_t declared = 0;
    // What of an unfinished tag is within the limits so far, for the parser
    // to read while the rest arrives: up to the first attribute that would
    // take it over one. Always inside a value, which the parser cannot take
    // for the end of the tag should the text be cut there.
    bool fits = true;
    const auto fitUpTo = [&](std::size_t offset) {
        if (fits) m_judged = std::max(m_judged, offset);
    };
    const auto skipSpace = [&] {
        while (pos < m_end && is(at(pos), space)) ++pos;
        return pos < m_end;
    };
    for (;;) {
        if (!skipSpace()) return Step::needMore;
        if (at(pos) == '>') {
            // Deeper than the limit, the parser refuses this very element.
            if (m_declared.size() >= m_limits.maxDepth) return Step::giveUp;
            m_declared.push_back(declared);
            m_inScope += declared;
            m_at = pos + 1;
            return Step::done;
        }
        if (at(pos) == '/') {
            m_at = pos + 1;
            return Step::done;
        }
        const std::size_t nameStart = pos;
        pos = nameEnd(pos);
        if (pos - nameStart > m_limits.maxNameLength) return refuse(tag, longName());
        if (pos >= m_end) return Step::needMore;
        if (pos == nameStart) return Step::giveUp;
        const std::string_view name(m_chars + (nameStart - m_start), pos - nameStart);
        // A compare of fixed length, made in place rather than by a call for every attribute.
        const bool isDeclaration =
            name.size() >= 5 && std::memcmp(name.data(), "xmlns", 5) == 0 && (name.size() == 5 || name[5] == ':');
        fits = fits && attributes < m_limits.maxAttributes &&
               (!isDeclaration || m_inScope + declared < m_limits.maxNamespaces);
        if (!skipSpace()) return Step::needMore;
        if (at(pos) != '=') return Step::giveUp;
        ++pos;
        if (!skipSpace()) return Step::needMore;
        if (at(pos) != '"' && at(pos) != '\'') return Step::giveUp;
        const std::size_t valueEnd = find(at(pos), pos + 1);
        fitUpTo(isDeclaration ? std::min(valueEnd, pos + 1 + m_limits.maxUriLength) : valueEnd);
        if (valueEnd >= m_end) return Step::needMore;
        const std::size_t valueSize = valueEnd - pos - 1;
        pos = valueEnd + 1;
        if (++attributes > m_limits.maxAttributes) {
            return refuse(tag, "an element with more attributes than the limit of " +
                                   std::to_string(m_limits.maxAttributes) + ", namespace declarations included");
        }
        if (!isDeclaration) continue;
        if (m_inScope + ++declared > m_limits.maxNamespaces) {
            return refuse(tag, "more namespace declarations in scope than the limit of " +
                                   std::to_string(m_limits.maxNamespaces));
        }
        if (valueSize > m_limits.maxUriLength) {
            return refuse(tag, "a namespace URI longer than the limit of " + std::to_string(m_limits.maxUriLength) +
                                   " bytes");
        }
    }
}

/// The offset of c from at on, or the end.
std::size_t MarkupScanner::find(char c, std::size_t from) const
{
    if (from >= m_end) return m_end;
    const void* found = std::memchr(m_chars + (from - m_start), c, m_end - from);
    return found ? m_start + static_cast<std::size_t>(static_cast<const char*>(found) - m_chars) : m_end;
}

/// Past a name: up to space, '/', '>', '=', '?' or the end.
std::size_t MarkupScanner::nameEnd(std::size_t from) const
{
#if defined(__SSE2__)
    // Every tag's names go through here: sixteen bytes a step where the text
    // holds that many, the table for the rest.
    const __m128i blank = _mm_set1_epi8(' ');
    const __m128i tab = _mm_set1_epi8('\t');
    const __m128i lineFeed = _mm_set1_epi8('\n');
    const __m128i carriageReturn = _mm_set1_epi8('\r');
    const __m128i slash = _mm_set1_epi8('/');
    const __m128i equals = _mm_set1_epi8('=');
    const __m128i greater = _mm_set1_epi8('>');
    const __m128i question = _mm_set1_epi8('?');
    for (; m_end - from >= 16; from += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(m_chars + (from - m_start)));
        const __m128i spaces = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, blank), _mm_cmpeq_epi8(v, tab)),
                                            _mm_or_si128(_mm_cmpeq_epi8(v, lineFeed), _mm_cmpeq_epi8(v, carriageReturn)));
        const __m128i marks = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, slash), _mm_cmpeq_epi8(v, equals)),
                                           _mm_or_si128(_mm_cmpeq_epi8(v, greater), _mm_cmpeq_epi8(v, question)));
        const int mask = _mm_movemask_epi8(_mm_or_si128(spaces, marks));
        if (mask != 0) return from + static_cast<std::size_t>(__builtin_ctz(static_cast<unsigned>(mask)));
    }
#endif
    while (from < m_end && !is(at(from), delimiter)) ++from;
    return from;
}

std::string MarkupScanner::longName() const
{
    return "a name longer than the limit of " + std::to_string(m_limits.maxNameLength) + " bytes";
}

MarkupScanner::Step MarkupScanner::refuse(std::size_t offset, std::string reason)
{
    // What of a refused tag was within the limits stays fit: a stream may
    // have given it to the parser before the rest of the tag arrived.
    m_judged = std::max(m_judged, offset);
    m_refusal = Refusal{offset, std::move(reason), m_judged};
    return Step::done;
}

std::string tooManyDistinctNames(std::size_t limit)
{
    return "more distinct names than the limit of " + std::to_string(limit) +
           " (element, attribute and target names, prefixes and namespace URIs together)";
}

} // namespace Kavella::Soa::Common::Xml::detail
