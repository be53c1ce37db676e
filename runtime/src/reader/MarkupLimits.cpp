#include "MarkupLimits.hpp"

#include <array>
#include <cstdint>
#include <cstring>
#include <vector>

namespace Kavella::Soa::Common::Xml::detail {

namespace {

// One table lookup per byte in the loops that every tag goes through.
enum : std::uint8_t { space = 1, delimiter = 2 };
constexpr std::array<std::uint8_t, 256> classes = [] {
    std::array<std::uint8_t, 256> table{};
    for (const unsigned char c : {' ', '\t', '\n', '\r'}) table[c] = space | delimiter;
    for (const unsigned char c : {'/', '>', '=', '?', '\0'}) table[c] = delimiter;
    return table;
}();

bool is(char c, std::uint8_t kind) { return (classes[static_cast<unsigned char>(c)] & kind) != 0; }

/// Follows the markup of one text: tags, their attributes and the namespace
/// declarations in scope. Only what the limits need is looked at, so a name
/// is whatever runs up to the next delimiter.
class Scanner {
public:
    Scanner(std::string_view text, const XMLReadLimits& limits) : m_text(text), m_chars(text.data()), m_limits(limits)
    {
    }

    std::optional<Refusal> run()
    {
        while (m_at < m_text.size()) {
            const std::size_t tag = find('<', m_at);
            if (tag >= m_text.size()) return std::nullopt;
            if (tag + 1 >= m_text.size()) return std::nullopt;
            bool followed = true;
            switch (m_text[tag + 1]) {
            case '/': followed = endTag(tag); break;
            case '?': followed = processingInstruction(tag); break;
            case '!': followed = declaration(tag); break;
            default: followed = startTag(tag); break;
            }
            if (m_refusal) return m_refusal;
            if (!followed) return std::nullopt;
        }
        return std::nullopt;
    }

private:
    bool skipPast(std::string_view end)
    {
        const std::size_t found = m_text.find(end, m_at);
        if (found == std::string_view::npos) return false;
        m_at = found + end.size();
        return true;
    }

    bool endTag(std::size_t tag)
    {
        if (!m_declared.empty()) {
            m_inScope -= m_declared.back();
            m_declared.pop_back();
        }
        m_at = tag + 2;
        return skipPast(">");
    }

    bool processingInstruction(std::size_t tag)
    {
        m_at = tag + 2;
        if (nameEnd(m_at) - m_at > m_limits.maxNameLength) return refuse(tag, longName());
        return skipPast("?>");
    }

    bool declaration(std::size_t tag)
    {
        const std::string_view rest = m_text.substr(tag);
        if (rest.compare(0, 4, "<!--") == 0) {
            m_at = tag + 4;
            return skipPast("-->");
        }
        if (rest.compare(0, 9, "<![CDATA[") == 0) {
            m_at = tag + 9;
            return skipPast("]]>");
        }
        return false; // a DOCTYPE, which the reader refuses as it starts, or malformed
    }

    bool startTag(std::size_t tag)
    {
        std::size_t at = tag + 1;
        const std::size_t end = nameEnd(at);
        if (end == at) return false;
        if (end - at > m_limits.maxNameLength) return refuse(tag, longName());
        at = end;
        std::size_t attributes = 0;
        std::size_t declared = 0;
        for (;;) {
            while (is(m_chars[at], space)) ++at;
            if (at >= m_text.size()) return false;
            if (m_chars[at] == '>') {
                // Deeper than the limit, the parser refuses this very element.
                if (m_declared.size() >= m_limits.maxDepth) return false;
                m_declared.push_back(declared);
                m_inScope += declared;
                m_at = at + 1;
                return true;
            }
            if (m_chars[at] == '/') {
                m_at = at + 1;
                return true;
            }
            const std::size_t nameStart = at;
            at = nameEnd(at);
            if (at == nameStart) return false;
            if (at - nameStart > m_limits.maxNameLength) return refuse(tag, longName());
            const std::string_view name = m_text.substr(nameStart, at - nameStart);
            while (is(m_chars[at], space)) ++at;
            if (at >= m_text.size() || m_chars[at] != '=') return false;
            ++at;
            while (is(m_chars[at], space)) ++at;
            if (at >= m_text.size() || (m_chars[at] != '"' && m_chars[at] != '\'')) return false;
            const std::size_t valueEnd = find(m_chars[at], at + 1);
            if (valueEnd >= m_text.size()) return false;
            const std::size_t valueSize = valueEnd - at - 1;
            at = valueEnd + 1;
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
                return refuse(tag, "a namespace URI longer than the limit of " +
                                       std::to_string(m_limits.maxUriLength) + " bytes");
            }
        }
    }

    /// The offset of c from at on, or the text's size.
    std::size_t find(char c, std::size_t at) const
    {
        if (at >= m_text.size()) return m_text.size();
        const void* found = std::memchr(m_chars + at, c, m_text.size() - at);
        return found ? static_cast<std::size_t>(static_cast<const char*>(found) - m_chars) : m_text.size();
    }

    /// Past a name: up to space, '/', '>', '=', '?' or the end.
    std::size_t nameEnd(std::size_t at) const
    {
        while (!is(m_chars[at], delimiter)) ++at;
        return at < m_text.size() ? at : m_text.size();
    }

    std::string longName() const
    {
        return "a name longer than the limit of " + std::to_string(m_limits.maxNameLength) + " bytes";
    }

    bool refuse(std::size_t offset, std::string reason)
    {
        m_refusal = Refusal{offset, std::move(reason)};
        return false;
    }

    std::string_view m_text;
    const char* m_chars; // m_text, read up to its terminating NUL without bounds checks
    const XMLReadLimits& m_limits;
    std::size_t m_at = 0;
    std::vector<std::size_t> m_declared; // per open element: the declarations it made
    std::size_t m_inScope = 0;
    std::optional<Refusal> m_refusal;
};

} // namespace

std::optional<Refusal> findLimitExcess(std::string_view text, const XMLReadLimits& limits)
{
    return Scanner(text, limits).run();
}

std::string tooManyDistinctNames(std::size_t limit)
{
    return "more distinct names than the limit of " + std::to_string(limit) +
           " (element, attribute and target names, prefixes and namespace URIs together)";
}

} // namespace Kavella::Soa::Common::Xml::detail
