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
/// (characters; CR, LF and CR LF end a line). Offsets asked for in order cost
/// one pass over the text; an earlier one is counted back from the last.
class PositionCounter {
public:
    void reset(std::string_view text)
    {
        m_text = reinterpret_cast<const unsigned char*>(text.data());
        m_size = text.size();
        m_offset = 0;
        m_line = 1;
        m_column = 0;
    }

    XMLPosition at(std::size_t offset)
    {
        if (offset > m_size) offset = m_size;
        if (offset >= m_offset) {
            forward(offset);
            return {m_line, m_column + 1};
        }
        // Back to the start of the line that holds the offset, then forward.
        const unsigned char* begin = m_text + offset;
        int breaks = 0;
        for (const unsigned char* byte = begin; byte < m_text + m_offset; ++byte) {
            if (*byte == '\n') ++breaks;
            else if (*byte == '\r' && !(byte + 1 < m_text + m_size && byte[1] == '\n')) ++breaks;
        }
        if (breaks == 0) {
            return {m_line, m_column + 1 - static_cast<int>(characters(begin, m_text + m_offset))};
        }
        const unsigned char* lineStart = begin;
        while (lineStart > m_text && lineStart[-1] != '\n' && lineStart[-1] != '\r') --lineStart;
        return {m_line - breaks, static_cast<int>(characters(lineStart, begin)) + 1};
    }

private:
    void forward(std::size_t offset)
    {
        const unsigned char* byte = m_text + m_offset;
        const unsigned char* end = m_text + offset;
        const std::size_t length = static_cast<std::size_t>(end - byte);
        if (!std::memchr(byte, '\n', length) && !std::memchr(byte, '\r', length)) {
            // The usual case, and all of a compact document: no line break.
            m_column += static_cast<int>(characters(byte, end));
            m_offset = offset;
            return;
        }
        int column = m_column;
        for (; byte < end; ++byte) {
            if (*byte == '\n' || (*byte == '\r' && !(byte + 1 < m_text + m_size && byte[1] == '\n'))) {
                ++m_line;
                column = 0;
            } else if (*byte != '\r') {
                column += (*byte & 0xC0) != 0x80; // continuation bytes add no column
            }
        }
        m_column = column;
        m_offset = offset;
    }

    const unsigned char* m_text = nullptr;
    std::size_t m_size = 0;
    std::size_t m_offset = 0;
    int m_line = 1;
    int m_column = 0;
};

} // namespace Kavella::Soa::Common::Xml::detail
