#include "ReplyStream.hpp"

namespace Velmora::Schemas::Mes::_2010_09::Workinstructions::detail {

void ReplyStream::rewind()
{
    m_keeping = false;
    m_replaying = true;
    setg(m_kept.data(), m_kept.data(), m_kept.data() + m_kept.size());
}

ReplyStream::int_type ReplyStream::underflow()
{
    if (gptr() < egptr()) return traits_type::to_int_type(*gptr());
    if (m_replaying) {
        // The kept start has been read again; nothing points into it any more.
        m_replaying = false;
        std::string().swap(m_kept);
    }
    if (!m_transfer.next(m_piece)) {
        setg(nullptr, nullptr, nullptr);
        return traits_type::eof();
    }
    if (m_keeping) {
        const std::size_t start = m_kept.size();
        m_kept += m_piece;
        setg(m_kept.data(), m_kept.data() + start, m_kept.data() + m_kept.size());
    } else {
        setg(m_piece.data(), m_piece.data(), m_piece.data() + m_piece.size());
    }
    return traits_type::to_int_type(*gptr());
}

} // namespace Velmora::Schemas::Mes::_2010_09::Workinstructions::detail
