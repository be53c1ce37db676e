#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace Kavella::Soa::Common::Xml {

/// Line and column of a byte offset in UTF-8 input, counted forward from the
/// last offset asked for, as expat counts them (characters; CR, LF and CR LF
/// end a line). expat's own position functions scan from its last report on
/// every call, which costs more than the parse on big documents.
class PositionCounter {
public:
    explicit PositionCounter(std::size_t start) : m_offset(start) {}

    void advance(std::string_view input, std::size_t offset)
    {
        if (offset <= m_offset || offset > input.size()) return;
        const auto* byte = reinterpret_cast<const unsigned char*>(input.data()) + m_offset;
        const auto* end = reinterpret_cast<const unsigned char*>(input.data()) + offset;
        if (byte < end && m_afterCarriageReturn && *byte == '\n') ++byte;
        m_afterCarriageReturn = false;
        const std::size_t length = static_cast<std::size_t>(end - byte);
        if (!std::memchr(byte, '\n', length) && !std::memchr(byte, '\r', length)) {
            // The usual case, and all of a compact document: no line break.
            m_column += characters(byte, end);
            m_offset = offset;
            return;
        }
        int column = m_column;
        for (; byte < end; ++byte) {
            if (*byte <= '\r' && (*byte == '\n' || *byte == '\r')) {
                ++m_line;
                column = 0;
                if (*byte == '\r') {
                    if (byte + 1 == end) {
                        m_afterCarriageReturn = true;
                    } else if (byte[1] == '\n') {
                        ++byte;
                    }
                }
                continue;
            }
            column += (*byte & 0xC0) != 0x80; // UTF-8 continuation bytes add no column
        }
        m_column = column;
        m_offset = offset;
    }
    std::size_t offset() const noexcept { return m_offset; }
    int line() const noexcept { return m_line; }
    /// UTF-8 characters in [byte, end): the bytes that are not continuation bytes.
    static int characters(const unsigned char* byte, const unsigned char* end) noexcept
    {
        std::size_t count = 0;
        for (; end - byte >= 8; byte += 8) {
            std::uint64_t word;
            std::memcpy(&word, byte, sizeof word);
            // A continuation byte is 10xxxxxx: top bit set, next bit clear.
            const std::uint64_t continuation = word & ~(word << 1) & 0x8080808080808080ull;
            count += 8 - static_cast<std::size_t>(__builtin_popcountll(continuation));
        }
        for (; byte < end; ++byte) count += (*byte & 0xC0) != 0x80;
        return static_cast<int>(count);
    }
    int column() const noexcept { return m_column + 1; }

private:
    std::size_t m_offset;
    int m_line = 1;
    int m_column = 0;
    bool m_afterCarriageReturn = false;
};

} // namespace Kavella::Soa::Common::Xml
