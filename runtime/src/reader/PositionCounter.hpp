#pragma once

// Line and column of offsets in the decoded text, counted only when asked for.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "kvsoa/XMLEventReader.hpp"

namespace Kavella::Soa::Common::Xml::detail {

/// UTF-8 characters in [byte, end): the bytes that are not continuation bytes.
inline std::size_t characters(const unsigned char* byte, const unsigned char* end) noexcept
{
    std::size_t count = 0;
    for (; end - byte >= 8; byte += 8) {
        std::uint64_t word;
        std::memcpy(&word, byte, sizeof word);
        // ASCII needs no count.
        if ((word & 0x8080808080808080ull) == 0) {
            count += 8;
            continue;
        }
        // A continuation byte is 10xxxxxx: top bit set, next bit clear.
        const std::uint64_t continuation = word & ~(word << 1) & 0x8080808080808080ull;
        // One bit per byte at most: a multiply sums them without a popcount instruction.
        count += 8 - static_cast<std::size_t>(((continuation >> 7) * 0x0101010101010101ull) >> 56);
    }
    for (; byte < end; ++byte) count += (*byte & 0xC0) != 0x80;
    return count;
}

/// Line and column of byte offsets in UTF-8 text, as expat counts them
/// (characters; CR, LF and CR LF end a line). The text may be a window that
/// moves on through the document: offsets are the document's, and the window
/// is given with each call. Offsets asked for in order cost one pass over the
/// text; an earlier one is counted back from the last.
class PositionCounter {
public:
    void reset()
    {
        m_offset = m_base.offset = 0;
        m_line = m_base.line = 1;
        m_column = m_base.column = 0;
    }

    /// window holds the document's text from offset windowStart on.
    XMLPosition at(std::size_t offset, std::string_view window, std::size_t windowStart)
    {
        see(window, windowStart);
        if (offset > m_end) offset = m_end;
        if (offset >= m_offset) {
            forward(offset);
            return {m_line, m_column + 1};
        }
        // Back to the start of the line that holds the offset, then forward.
        const unsigned char* begin = byte(offset);
        const unsigned char* last = byte(m_offset);
        int breaks = 0;
        for (const unsigned char* c = begin; c < last; ++c) {
            if (*c == '\n' || (*c == '\r' && !(c + 1 < byte(m_end) && c[1] == '\n'))) ++breaks;
        }
        if (breaks == 0) return {m_line, m_column + 1 - static_cast<int>(characters(begin, last))};
        const unsigned char* first = byte(m_base.offset);
        const unsigned char* lineStart = begin;
        while (lineStart > first && lineStart[-1] != '\n' && lineStart[-1] != '\r') --lineStart;
        // A line that began before the window goes on from the window's start.
        const int before = lineStart == first ? m_base.column : 0;
        return {m_line - breaks, before + static_cast<int>(characters(lineStart, begin)) + 1};
    }

    /// The text before offset is about to leave the window: counts up to it,
    /// so that every later count can start there. Returns where the window
    /// must start from now on (offset, or before a CR that an LF may follow).
    std::size_t keepFrom(std::size_t offset, std::string_view window, std::size_t windowStart)
    {
        see(window, windowStart);
        if (offset > m_end) offset = m_end;
        if (offset == m_end && offset > windowStart && *byte(offset - 1) == '\r') --offset;
        if (offset < m_offset) {
            const XMLPosition where = at(offset, window, windowStart);
            m_offset = offset;
            m_line = where.line;
            m_column = where.column - 1;
        } else {
            forward(offset);
        }
        m_base = {m_offset, m_line, m_column};
        return offset;
    }

private:
    struct Mark {
        std::size_t offset;
        int line;
        int column;
    };

    void see(std::string_view window, std::size_t windowStart)
    {
        m_window = reinterpret_cast<const unsigned char*>(window.data());
        m_windowStart = windowStart;
        m_end = windowStart + window.size();
    }

    const unsigned char* byte(std::size_t offset) const { return m_window + (offset - m_windowStart); }

    void forward(std::size_t offset)
    {
        const unsigned char* c = byte(m_offset);
        const unsigned char* stop = byte(offset);
        const std::size_t length = offset - m_offset;
        if (!std::memchr(c, '\n', length) && !std::memchr(c, '\r', length)) {
            // The usual case, and all of a compact document: no line break.
            m_column += static_cast<int>(characters(c, stop));
            m_offset = offset;
            return;
        }
        const unsigned char* end = byte(m_end);
        int column = m_column;
        for (; c < stop; ++c) {
            if (*c == '\n' || (*c == '\r' && !(c + 1 < end && c[1] == '\n'))) {
                ++m_line;
                column = 0;
            } else if (*c != '\r') {
                column += (*c & 0xC0) != 0x80; // continuation bytes add no column
            }
        }
        m_column = column;
        m_offset = offset;
    }

    const unsigned char* m_window = nullptr;
    std::size_t m_windowStart = 0;
    std::size_t m_end = 0;
    std::size_t m_offset = 0;
    int m_line = 1;
    int m_column = 0;
    Mark m_base{0, 1, 0}; // where the window starts: counts start here at the earliest
};

} // namespace Kavella::Soa::Common::Xml::detail
