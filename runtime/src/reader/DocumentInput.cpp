#include "DocumentInput.hpp"

#include <algorithm>
#include <cstring>
#include <ios>
#include <streambuf>

namespace Kavella::Soa::Common::Xml::detail {

TextDecoder::Start DocumentInput::begin(std::string_view head, bool whole, Refusal& refusal)
{
    m_window = m_whole = {};
    m_windowStart = m_given = 0;
    m_decoded.clear();
    m_firstUnreadable = noUnreadable;
    m_scanner.reset();
    m_encodingRefusal.reset();
    const TextDecoder::Start start = m_decoder.begin(head, whole, refusal);
    if (start == TextDecoder::Start::refused) m_window = m_decoder.refusedText();
    if (start == TextDecoder::Start::refusedEncoding) {
        // The parser reads the declaration up to the refused name: an error
        // before it is the first. Nothing after it is read.
        m_inPlace = false;
        m_rawDone = true;
        m_decoded.assign(m_decoder.refusedText(), 0, refusal.offset);
        m_window = m_whole = m_decoded;
        m_given = m_decoded.size();
        m_encodingRefusal = std::move(refusal);
    }
    return start;
}

void DocumentInput::takeWhole(std::string_view text)
{
    // Short: one copy costs less than the parser's calls for more, many per
    // small message.
    m_inPlace = false;
    m_rawDone = true;
    m_decoder.decode(text, m_decoded, 0, m_firstUnreadable);
    m_window = m_decoded;
    m_given = m_scanner.scan(m_window, 0, true, m_window.size());
    m_decoded[m_given] = '\0'; // only ever what a limit cut off
    m_whole = std::string_view(m_decoded.data(), m_given);
}

bool DocumentInput::open(std::string_view text, Refusal& refusal)
{
    m_stream = nullptr;
    m_rawDone = false;
    const TextDecoder::Start start = begin(text, true, refusal);
    if (start == TextDecoder::Start::refused) return false;
    if (start == TextDecoder::Start::refusedEncoding) return true;
    text.remove_prefix(m_decoder.markSize());
    m_inPlace = m_decoder.mode() == TextDecoder::Mode::utf8;
    if (m_inPlace && text.size() <= pieceSize) {
        takeWhole(text);
        return true;
    }
    if (m_inPlace) {
        // NULs are made unreadable as the parser is given them.
        m_window = text;
        m_rawDone = true;
    } else {
        m_rawRest = text;
    }
    return true;
}

char* RawBuffer::extend(std::size_t more)
{
    if (m_size + more > m_capacity) {
        const std::size_t capacity = std::max(m_size + more, 2 * m_capacity);
        std::unique_ptr<char[]> grown(new char[capacity]);
        if (m_size) std::memcpy(grown.get(), m_data.get(), m_size);
        m_data = std::move(grown);
        m_capacity = capacity;
    }
    return m_data.get() + m_size;
}

void RawBuffer::release(std::size_t limit)
{
    m_size = 0;
    if (m_capacity > limit) {
        m_data.reset();
        m_capacity = 0;
    }
}

std::size_t DocumentInput::readStream(std::size_t size)
{
    // Through the buffer, not the stream: reaching the end sets no failbit that
    // the caller's exception mask could turn into an error. What has arrived is
    // taken, waiting only when nothing has, so that a message over a slow
    // network is read as it comes; only a count of 0 ends the stream.
    using Traits = std::streambuf::traits_type;
    std::streambuf* const buffer = m_stream->rdbuf();
    if (!buffer) return 0;
    std::streamsize ready = buffer->in_avail();
    if (ready == 0) {
        if (Traits::eq_int_type(buffer->sgetc(), Traits::eof())) return 0;
        // A buffer that holds nothing itself (one over C's stdio) cannot say
        // what has arrived: it is read as far as asked.
        ready = std::max<std::streamsize>(buffer->in_avail(), 0);
        if (ready == 0) ready = static_cast<std::streamsize>(size);
    }
    if (ready < 0) return 0;
    const auto wanted = static_cast<std::size_t>(std::min(ready, static_cast<std::streamsize>(size)));
    char* const room = m_raw.extend(wanted);
    const std::streamsize got = buffer->sgetn(room, static_cast<std::streamsize>(wanted));
    const auto added = static_cast<std::size_t>(std::max<std::streamsize>(got, 0));
    m_raw.commit(added);
    return added;
}

bool DocumentInput::open(std::istream& stream, Refusal& refusal)
{
    if (stream.fail() || !stream.rdbuf())
        throw std::ios_base::failure("the document could not be read from its stream: it has failed already");
    m_stream = &stream;
    m_inPlace = false;
    m_rawDone = false;
    m_raw.clear();
    // The head must hold the declaration whole, as a text in memory does.
    bool ended = false;
    TextDecoder::Start start;
    while ((start = begin(m_raw.view(), ended, refusal)) == TextDecoder::Start::needMore) {
        // Judged again once the head has doubled: a declaration that arrives
        // in many pieces costs linear time.
        const std::size_t enough = 2 * m_raw.view().size();
        do ended = readStream(pieceSize) == 0;
        while (!ended && m_raw.view().size() < enough);
    }
    if (start == TextDecoder::Start::refused) return false;
    if (start == TextDecoder::Start::refusedEncoding) return true;
    // The head is decoded like the rest, the byte order mark left out.
    m_rawRest = m_raw.view().substr(m_decoder.markSize());
    if (ended && m_decoder.mode() == TextDecoder::Mode::utf8 && m_rawRest.size() <= pieceSize) {
        // A short message, all read: as one in memory.
        takeWhole(m_rawRest);
        m_rawRest = {};
        return true;
    }
    m_rawDone = false;
    m_streamEnded = ended;
    return true;
}

bool DocumentInput::readMore()
{
    if (m_rawDone) return false;
    std::string_view piece;
    if (!m_rawRest.empty()) {
        piece = m_rawRest.substr(0, m_stream ? m_rawRest.size() : pieceSize);
        m_rawRest.remove_prefix(piece.size());
    } else if (m_stream && !m_streamEnded) {
        m_raw.clear();
        m_streamEnded = readStream(pieceSize) == 0;
        piece = m_raw.view();
    }
    const std::size_t decodedStart = m_windowStart;
    if (piece.empty()) {
        m_decoder.finish(m_decoded, decodedStart, m_firstUnreadable);
        m_rawDone = true;
    } else {
        m_decoder.decode(piece, m_decoded, decodedStart, m_firstUnreadable);
    }
    m_window = m_decoded;
    return true;
}

void DocumentInput::letGo(std::size_t parserStart)
{
    // Neither the parser nor the limit pass looks before these again.
    const std::size_t keepFrom = std::min({parserStart, m_scanner.resumesAt(), m_given});
    const std::size_t going = keepFrom - m_windowStart;
    // Only once there is as much to let go as to keep: moving the rest costs no more than reading it.
    if (keepFrom <= m_windowStart || going < pieceSize || going < m_decoded.size() - going) return;
    const std::size_t from = m_keeper.letGo(keepFrom);
    if (from <= m_windowStart) return;
    m_decoded.erase(0, from - m_windowStart);
    m_windowStart = from;
    m_window = m_decoded;
}

std::size_t DocumentInput::fill(char* buffer, std::size_t size, std::size_t parserStart, std::size_t parserNeeds)
{
    std::size_t judged = m_given;
    for (;;) {
        const std::size_t end = m_windowStart + m_window.size();
        judged = m_scanner.scan(m_window, m_windowStart, m_rawDone, m_inPlace ? m_given + size + pieceSize : end);
        const bool enough = judged > m_given && judged >= std::min(m_given + size, parserNeeds);
        if (enough || m_rawDone || m_scanner.refusal()) break;
        letGo(parserStart);
        readMore();
    }
    const std::size_t count = std::min(size, judged > m_given ? judged - m_given : 0);
    const char* from = m_window.data() + (m_given - m_windowStart);
    std::memcpy(buffer, from, count);
    if (m_inPlace) {
        // What decoding would have done: a NUL stands for a byte that cannot be read.
        for (char* nul = static_cast<char*>(std::memchr(buffer, '\0', count)); nul;
             nul = static_cast<char*>(std::memchr(nul, '\0', count - static_cast<std::size_t>(nul - buffer)))) {
            *nul = unreadable;
        }
    }
    m_given += count;
    return count;
}

bool DocumentInput::unreadableAt(std::size_t offset) const
{
    if (m_inPlace) return offset < m_window.size() && m_window[offset] == '\0';
    return offset == m_firstUnreadable;
}

void DocumentInput::release()
{
    m_window = m_whole = {};
    m_rawRest = {};
    m_stream = nullptr;
    if (m_decoded.capacity() > 4 * pieceSize) std::string().swap(m_decoded);
    m_raw.release(pieceSize);
}

} // namespace Kavella::Soa::Common::Xml::detail
