#include "MarkupLimits.hpp"

#include <array>
#include <cstdint>
#include <cstring>

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
    if (m_refusal) return m_refusal->offset;
    if (m_gaveUp) return m_end;
    if (!final && m_end < m_retryAt) return m_at;
    while (m_at < m_end && m_at < wanted) {
        const std::size_t tag = find('<', m_at);
        if (tag >= m_end) {
            m_at = m_end;
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
        if (m_refusal) return m_refusal->offset;
        if (step == Step::needMore && final) step = Step::giveUp; // unfinished: the parser says so
        if (step == Step::giveUp) {
            m_gaveUp = true;
            return m_end;
        }
        if (step == Step::needMore) {
            m_at = tag;
            m_retryAt = tag + 2 * (m_end - tag);
            return tag;
        }
    }
    return m_at;
}

MarkupScanner::Step MarkupScanner::skipPast(std::size_t from, std::string_view end)
{
    const std::string_view rest(m_chars + (from - m_start), from < m_end ? m_end - from : 0);
    const std::size_t found = rest.find(end);
    if (found == std::string_view::npos) return Step::needMore;
    m_at = from + found + end.size();
    return Step::done;
}

MarkupScanner::Step MarkupScanner::endTag(std::size_t tag)
{
    const Step step = skipPast(tag + 2, ">");
    if (step == Step::done && !m_declared.empty()) {
        m_inScope -= m_declared.back();
        m_declared.pop_back();
    }
    return step;
}

MarkupScanner::Step MarkupScanner::processingInstruction(std::size_t tag)
{
    const std::size_t end = nameEnd(tag + 2);
    if (end - (tag + 2) > m_limits.maxNameLength) return refuse(tag, longName());
    if (end >= m_end) return Step::needMore;
    return skipPast(end, "?>");
}

MarkupScanner::Step MarkupScanner::declaration(std::size_t tag)
{
    const std::string_view rest(m_chars + (tag - m_start), m_end - tag);
    const auto opens = [&](std::string_view opening) {
        return rest.substr(0, opening.size()) == opening.substr(0, rest.size());
    };
    if (opens("<!--")) return rest.size() < 4 ? Step::needMore : skipPast(tag + 4, "-->");
    if (opens("<![CDATA[")) return rest.size() < 9 ? Step::needMore : skipPast(tag + 9, "]]>");
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
        if (!skipSpace()) return Step::needMore;
        if (at(pos) != '=') return Step::giveUp;
        ++pos;
        if (!skipSpace()) return Step::needMore;
        if (at(pos) != '"' && at(pos) != '\'') return Step::giveUp;
        const std::size_t valueEnd = find(at(pos), pos + 1);
        if (valueEnd >= m_end) return Step::needMore;
        const std::size_t valueSize = valueEnd - pos - 1;
        pos = valueEnd + 1;
        if (++attributes > m_limits.maxAttributes) {
            return refuse(tag, "an element with more attributes than the limit of " +
                                   std::to_string(m_limits.maxAttributes) + ", namespace declarations included");
        }
        if (name.compare(0, 5, "xmlns") != 0 || (name.size() > 5 && name[5] != ':')) continue;
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
    while (from < m_end && !is(at(from), delimiter)) ++from;
    return from;
}

std::string MarkupScanner::longName() const
{
    return "a name longer than the limit of " + std::to_string(m_limits.maxNameLength) + " bytes";
}

MarkupScanner::Step MarkupScanner::refuse(std::size_t offset, std::string reason)
{
    m_refusal = Refusal{offset, std::move(reason)};
    return Step::done;
}

std::string tooManyDistinctNames(std::size_t limit)
{
    return "more distinct names than the limit of " + std::to_string(limit) +
           " (element, attribute and target names, prefixes and namespace URIs together)";
}

} // namespace Kavella::Soa::Common::Xml::detail
