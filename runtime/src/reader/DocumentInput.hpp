#pragma once

// What the parser reads: the document's text, decoded and judged by the limit
// pass, handed over a piece at a time. A UTF-8 text in memory is handed over
// from where it stands; any other text (another encoding, or a stream) is
// decoded into a window that moves on through the document, so that a
// document is never held twice, and one from a stream never whole.

#include <cstddef>
#include <istream>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "MarkupLimits.hpp"
#include "TextDecoder.hpp"

namespace Kavella::Soa::Common::Xml::detail {

/// Told before the window lets text go, so that positions can still be counted.
class WindowKeeper {
public:
    virtual ~WindowKeeper() = default;
    /// The text before keepFrom is about to go; returns where the window must
    /// start instead (at most keepFrom).
    virtual std::size_t letGo(std::size_t keepFrom) = 0;
};

/// Bytes read from a stream, grown without being filled first: zeroing a
/// piece's worth would cost a small message more than reading it.
class RawBuffer {
public:
    std::string_view view() const { return {m_data.get(), m_size}; }
    void clear() { m_size = 0; }
    /// Room for more bytes at the end.
    char* extend(std::size_t more);
    /// The first added bytes of that room now hold text.
    void commit(std::size_t added) { m_size += added; }
    /// Gives a buffer grown past limit back.
    void release(std::size_t limit);

private:
    std::unique_ptr<char[]> m_data;
    std::size_t m_size = 0;
    std::size_t m_capacity = 0;
};

class DocumentInput {
public:
    /// How much is read from a stream, or decoded, at a time.
    static constexpr std::size_t pieceSize = 64 * 1024;

    DocumentInput(const XMLReadLimits& limits, WindowKeeper& keeper) : m_scanner(limits), m_keeper(keeper) {}

    /// Starts on a text in memory, which must outlive the read. False, with
    /// the refusal, when its encoding is refused before anything is read; a
    /// refused encoding name is read up to, and reported as limitExcess().
    bool open(std::string_view text, Refusal& refusal);
    /// Starts on a stream, read as the parser needs it through its buffer, so
    /// that neither its state nor its exception mask changes.
    bool open(std::istream& stream, Refusal& refusal);

    /// A short UTF-8 text (in memory, or a stream that ended within its first
    /// piece), judged whole and copied once (its NULs made
    /// unreadable) for the parser to read where it stands: the part before the
    /// first place over a limit, followed by a NUL. Null when the text is read
    /// in pieces through fill().
    std::string_view wholeText() const { return m_whole; }

    /// Copies up to size bytes of judged text into buffer, for the parser,
    /// whose own copy starts at parserStart; 0 at the end of the text or at the
    /// first place over a limit. Text that has arrived is given without
    /// waiting for more, but never so little that the parser's copy ends
    /// before parserNeeds: it looks that far ahead without asking again.
    std::size_t fill(char* buffer, std::size_t size, std::size_t parserStart, std::size_t parserNeeds);

    /// The text known, from windowStart() on.
    std::string_view window() const { return m_window; }
    std::size_t windowStart() const { return m_windowStart; }
    /// The end of what the parser was given.
    std::size_t given() const { return m_given; }
    /// Whether the byte at offset was put in for one that could not be read.
    /// Only the first such byte is known: the parser stops there at the latest.
    bool unreadableAt(std::size_t offset) const;
    /// The first place over a limit, once the pass has come to it, or the
    /// encoding refused, which the text given ends at.
    const std::optional<Refusal>& limitExcess() const
    {
        return m_encodingRefusal ? m_encodingRefusal : m_scanner.refusal();
    }

    /// Gives big buffers back once a read is over.
    void release();

private:
    TextDecoder::Start begin(std::string_view head, bool whole, Refusal& refusal);
    void takeWhole(std::string_view text);
    /// Appends what the stream has ready, up to size bytes; 0 at its end.
    std::size_t readStream(std::size_t size);
    bool readMore();
    void letGo(std::size_t parserStart);

    MarkupScanner m_scanner;
    std::optional<Refusal> m_encodingRefusal;
    WindowKeeper& m_keeper;
    TextDecoder m_decoder;
    std::string_view m_window;
    std::size_t m_windowStart = 0;
    std::size_t m_given = 0;
    bool m_inPlace = false;  // m_window is the caller's text
    std::string_view m_whole;
    bool m_rawDone = false;  // no more raw text follows
    std::string m_decoded;   // the window, when not in place
    std::size_t m_firstUnreadable = noUnreadable;
    // Where raw text comes from: the rest of a text in memory, or a stream.
    std::string_view m_rawRest;
    std::istream* m_stream = nullptr;
    bool m_streamEnded = false;
    RawBuffer m_raw;
};

} // namespace Kavella::Soa::Common::Xml::detail
