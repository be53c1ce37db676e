// The stream's buffer and state, and the escaped and formatted pieces it
// appends. Prefixes, elements and indentation are in XmlStreamElements.cpp.

#include "kvsoa/XmlStream.hpp"

#include <algorithm>
#include <climits>
#include <ios>

#include "kvsoa/Conversions.hpp"
#include "ValueText.hpp"

namespace Kavella::Soa::Common::Xml {

void XmlStream::Buffer::grow(std::size_t size)
{
    const std::size_t used = static_cast<std::size_t>(pptr() - pbase());
    if (static_cast<std::size_t>(epptr() - pptr()) >= size) return;
    // The string's size runs only a little ahead of what is written: its
    // capacity doubles, but memory is zeroed (and so touched) a step at a time.
    constexpr std::size_t kMinStep = 1024;
    constexpr std::size_t kMaxStep = std::size_t{1} << 20;
    constexpr std::size_t kLarge = std::size_t{1} << 20;
    const std::size_t step = std::max(size, std::min(std::max(used, kMinStep), kMaxStep));
    const std::size_t wanted = used + step;
    if (wanted > m_storage.capacity()) {
        m_storage.resize(used); // only what was written moves to the larger block
        // Doubling while small; by half once large, which keeps a big text's
        // block within 1.5 times its size.
        const std::size_t capacity = m_storage.capacity();
        const std::size_t larger = capacity < kLarge ? 2 * capacity : capacity + capacity / 2;
        m_storage.reserve(std::max({wanted, larger, std::size_t{4096}}));
    }
    m_storage.resize(wanted);
    place(used);
}

void XmlStream::Buffer::place(std::size_t used) noexcept
{
    char* data = m_storage.empty() ? nullptr : &m_storage[0];
    setp(data, data + m_storage.size());
    // pbump takes an int: move past what was kept in steps.
    for (std::size_t left = used; left > 0;) {
        const std::size_t step = left < INT_MAX ? left : INT_MAX;
        pbump(static_cast<int>(step));
        left -= step;
    }
}

std::string XmlStream::Buffer::take()
{
    m_storage.resize(static_cast<std::size_t>(pptr() - pbase()));
    std::string text = std::move(m_storage);
    m_storage = std::string();
    place(0);
    return text;
}

XmlStream::Buffer::int_type XmlStream::Buffer::overflow(int_type c)
{
    if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
    grow(1);
    *pptr() = traits_type::to_char_type(c);
    pbump(1);
    return c;
}

std::streamsize XmlStream::Buffer::xsputn(const char* data, std::streamsize size)
{
    for (std::size_t left = static_cast<std::size_t>(size); left > 0;) {
        const std::size_t step = left < INT_MAX ? left : INT_MAX;
        grow(step);
        tryWrite(data, step);
        data += step;
        left -= step;
    }
    return size;
}

XmlStream::XmlStream() : std::ostream(nullptr)
{
    rdbuf(&m_buffer);
    m_ownBuffer = true;
    m_direct = true;
}

XmlStream::XmlStream(std::ostream& target) : std::ostream(target.rdbuf()), m_target(&target)
{
    // A target that is not good takes nothing through this stream, and the
    // write fails visibly, as an inserter's sentry would make it: an eofbit
    // alone would leave the target testing true with nothing written.
    if (!target.rdbuf() || target.good()) return;
    clear(target.rdstate() | failbit);
    try {
        target.setstate(failbit);
    } catch (const std::ios_base::failure&) {
        // Set before the mask throws; the caller sees the state.
    }
}

void XmlStream::abandon() noexcept
{
    m_open.clear();
    markBad();
}

XmlStream::~XmlStream()
{
    if (!m_target) return;
    try {
        if (bad() || rdbuf()->pubsync() == -1) markBad(); // bad() also when there is no buffer
    } catch (...) {
        markBad();
    }
}

std::string XmlStream::str() const
{
    return m_buffer.text();
}

std::string XmlStream::take()
{
    return m_buffer.take();
}

void XmlStream::appendSlowly(std::string_view text)
{
    if (!good()) return;
    const auto size = static_cast<std::streamsize>(text.size());
    if (m_ownBuffer) {
        // The own buffer grows in xsputn, in pieces an int can count.
        m_direct = true;
        m_buffer.sputn(text.data(), size);
        return;
    }
    bool written = false;
    try {
        written = rdbuf()->sputn(text.data(), size) == size;
    } catch (...) {
        // As the inserters of std::ostream: recorded, and passed on only when asked for.
        markBad();
        if (exceptions() & badbit) throw;
        return;
    }
    if (!written) {
        markBad();
        if (exceptions() & badbit) throw std::ios_base::failure("XmlStream: the target refused the output");
    }
}

void XmlStream::markBad() noexcept
{
    m_direct = false;
    for (std::ostream* stream : {static_cast<std::ostream*>(this), m_target}) {
        if (!stream) continue;
        try {
            stream->setstate(badbit);
        } catch (const std::ios_base::failure&) {
            // The state is set before the mask throws; our caller decides what to throw.
        }
    }
}

std::string_view XmlStream::escape(std::string_view text)
{
    // Most texts need no escaping: then they go out as they are, copied once.
    if (detail::plainXmlPrefix(text) == text.size()) return text;
    m_escaped.clear();
    appendXmlString(m_escaped, text);
    return m_escaped;
}

std::string XmlStream::writeAttribute(const std::string& name, const std::string& value) const
{
    std::string text;
    text.reserve(name.size() + value.size() + 4);
    text.append(" ").append(name).append("=\"").append(value).append("\"");
    return text;
}

void XmlStream::appendAttribute(std::string_view name, std::string_view value)
{
    // One bounds check for the five pieces when they fit.
    const std::size_t size = name.size() + value.size() + 4;
    if (char* out = directRoom(size)) {
        *out++ = ' ';
        out = put(out, name);
        *out++ = '=';
        *out++ = '"';
        out = put(out, value);
        *out = '"';
        m_buffer.advance(size);
        return;
    }
    append(" ");
    append(name);
    append("=\"");
    append(value);
    append("\"");
}

void XmlStream::appendEscapedAttribute(std::string_view name, std::string_view rawValue)
{
    appendAttribute(name, escape(rawValue));
}

namespace {
template <typename T>
void appendNumberAttribute(XmlStream& stream, std::string_view name, T value)
{
    detail::NumberText buffer;
    stream.appendAttribute(name, detail::formatValue(buffer, value));
}
template <typename T>
void appendNumber(XmlStream& stream, T value)
{
    detail::NumberText buffer;
    stream.append(detail::formatValue(buffer, value));
}
} // namespace

void XmlStream::appendAttribute(std::string_view name, int value) { appendNumberAttribute(*this, name, value); }
void XmlStream::appendAttribute(std::string_view name, float value) { appendNumberAttribute(*this, name, value); }
void XmlStream::appendAttribute(std::string_view name, double value) { appendNumberAttribute(*this, name, value); }
void XmlStream::appendAttribute(std::string_view name, bool value) { appendNumberAttribute(*this, name, value); }
void XmlStream::appendValue(int value) { appendNumber(*this, value); }
void XmlStream::appendValue(float value) { appendNumber(*this, value); }
void XmlStream::appendValue(double value) { appendNumber(*this, value); }
void XmlStream::appendValue(bool value) { appendNumber(*this, value); }

void XmlStream::appendEscaped(std::string_view rawText)
{
    append(escape(rawText));
}

} // namespace Kavella::Soa::Common::Xml
