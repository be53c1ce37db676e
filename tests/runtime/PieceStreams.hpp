#pragma once

// A text handed over as a slow network hands it over: a few bytes per read,
// and a read that asks for more gets only what has arrived, a short count
// that is not the end.

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <streambuf>
#include <string_view>

namespace reader_test {

class PieceBuffer : public std::streambuf {
public:
    /// text must outlive the buffer.
    PieceBuffer(std::string_view text, std::size_t piece) : m_text(text), m_piece(std::max<std::size_t>(piece, 1)) {}

protected:
    int_type underflow() override
    {
        if (gptr() < egptr()) return traits_type::to_int_type(*gptr());
        if (m_at >= m_text.size()) return traits_type::eof();
        char* const begin = const_cast<char*>(m_text.data()) + m_at;
        const std::size_t count = std::min(m_piece, m_text.size() - m_at);
        m_at += count;
        setg(begin, begin, begin + count);
        return traits_type::to_int_type(*gptr());
    }

    std::streamsize xsgetn(char* out, std::streamsize wanted) override
    {
        if (gptr() == egptr() && traits_type::eq_int_type(underflow(), traits_type::eof())) return 0;
        const std::streamsize count = std::min<std::streamsize>(wanted, egptr() - gptr());
        std::memcpy(out, gptr(), static_cast<std::size_t>(count));
        gbump(static_cast<int>(count));
        return count;
    }

private:
    std::string_view m_text;
    std::size_t m_piece;
    std::size_t m_at = 0;
};

} // namespace reader_test
