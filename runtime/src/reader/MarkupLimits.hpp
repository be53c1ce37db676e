#pragma once

// A linear pass over the markup that finds the first place where a document
// exceeds the reader's limits on attributes, namespaces and name lengths,
// before the parser spends more than linear time on it. It judges the text as
// it arrives, so that the parser is only ever given text already judged.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "kvsoa/XMLEventReader.hpp"

namespace Kavella::Soa::Common::Xml::detail {

/// A refusal found before parsing: where (an offset in the text) and why.
struct Refusal {
    std::size_t offset = 0;
    std::string reason;
    /// The parser is given the text before this (offset, or more of a refused
    /// start tag): an error it finds there comes first, on every path alike.
    std::size_t givenTo = 0;
};

/// Follows the markup of one document, piece by piece: tags, their attributes
/// and the namespace declarations in scope. Only what the limits need is looked
/// at, so a name is whatever runs up to the next delimiter. Markup the pass
/// cannot follow is malformed, which the parser reports at or before that
/// place: from there on the pass gives up and judges everything fit. It also
/// refuses "]]>" in character data, which the parser misses where the
/// sequence straddles the edge of what it was given.
class MarkupScanner {
public:
    /// limits must outlive the scanner.
    explicit MarkupScanner(const XMLReadLimits& limits) : m_limits(limits) {}

    /// Starts on a new document.
    void reset()
    {
        m_at = m_retryAt = m_inScope = m_judged = 0;
        m_until = {};
        m_gaveUp = false;
        m_declared.clear();
        m_refusal.reset();
    }

    /// Judges text, which starts at offset start of the document and runs to
    /// what is known of it so far (all of it when final), from where the last
    /// call stopped to at least wanted, or as far as it goes. Returns the
    /// offset up to which the text is judged fit. In a start tag that the text
    /// does not yet hold whole, or that is refused, that is the end of what in
    /// it is within the limits (inside an attribute value, before the first
    /// attribute over one); otherwise a refusal's offset. Comments, CDATA sections and processing
    /// instructions are judged as they arrive. A tag held back is looked at
    /// again only once the text after its start has doubled, so that a tag
    /// over many pieces costs linear time; meanwhile the parser reads its
    /// start, and stops at an error in it without waiting for its end.
    std::size_t scan(std::string_view text, std::size_t start, bool final, std::size_t wanted);

    /// The first start tag (or processing instruction) over the limits, at its '<'.
    const std::optional<Refusal>& refusal() const { return m_refusal; }

    /// Where judging resumes: the text before it is no longer looked at.
    std::size_t resumesAt() const { return m_at; }

private:
    enum class Step { done, needMore, giveUp };

    Step endTag(std::size_t tag);
    Step processingInstruction(std::size_t tag);
    Step declaration(std::size_t tag);
    Step startTag(std::size_t tag);
    bool skipToEnd(bool final);
    bool misplacedCdataEnd(std::size_t from, std::size_t to);
    std::size_t judged() const { return m_at > m_judged ? m_at : m_judged; }
    std::size_t find(char c, std::size_t at) const;
    std::size_t nameEnd(std::size_t at) const;
    Step refuse(std::size_t offset, std::string reason);
    std::string longName() const;
    char at(std::size_t offset) const { return m_chars[offset - m_start]; }

    const XMLReadLimits& m_limits;
    // The text of the current call, in offsets of the document.
    const char* m_chars = nullptr;
    std::size_t m_start = 0;
    std::size_t m_end = 0;
    std::size_t m_at = 0;
    std::size_t m_retryAt = 0; // a held-back tag waits for the text to reach here
    std::size_t m_judged = 0;  // judged fit, where it is past m_at (which a held-back tag restarts from)
    std::string_view m_until;  // the end of the comment, CDATA section or PI being read
    bool m_gaveUp = false;
    std::vector<std::size_t> m_declared; // per open element: the declarations it made
    std::size_t m_inScope = 0;
    std::optional<Refusal> m_refusal;
};

/// The refusal texts, shared with the checks made while parsing.
std::string tooManyDistinctNames(std::size_t limit);
/// The parser's own words for "]]>" in character data.
constexpr const char* cdataEndInContent = "Sequence ']]>' not allowed in content";

} // namespace Kavella::Soa::Common::Xml::detail
