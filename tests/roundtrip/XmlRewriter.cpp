#include "XmlRewriter.hpp"

#include <cstdio>
#include <random>

namespace roundtrip {

namespace {

// The writer's escapes back to raw text: the five entities and decimal references.
std::string unescape(const std::string& text)
{
    std::string raw;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '&') {
            raw += text[i];
            continue;
        }
        const std::size_t end = text.find(';', i);
        const std::string name = text.substr(i + 1, end - i - 1);
        raw += name == "amp" ? '&' : name == "lt" ? '<' : name == "gt" ? '>' : name == "quot" ? '"'
             : name == "apos" ? '\'' : static_cast<char>(std::stoi(name.substr(1)));
        i = end;
    }
    return raw;
}

unsigned codePoint(const std::string& character)
{
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(character[i]) & 0x3Fu; };
    const auto lead = static_cast<unsigned char>(character[0]);
    switch (character.size()) {
    case 1: return lead;
    case 2: return (lead & 0x1Fu) << 6 | byte(1);
    case 3: return (lead & 0x0Fu) << 12 | byte(1) << 6 | byte(2);
    default: return (lead & 0x07u) << 18 | byte(1) << 12 | byte(2) << 6 | byte(3);
    }
}

class Rewriter {
public:
    Rewriter(const Variation& variation, std::uint64_t seed) : m_variation(variation), m_random(seed) {}

    std::string run(const std::string& xml)
    {
        // Something changes in every text, however small the tree.
        if (m_variation.comments) m_out += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!-- a message -->";
        if (m_variation.whitespace) m_out += "\n";
        between(true);
        for (std::size_t i = 0; i < xml.size();) {
            const std::size_t end = xml[i] == '<' ? xml.find('>', i) + 1 : xml.find('<', i);
            if (xml[i] != '<') {
                text(unescape(xml.substr(i, end - i)));
                i = end;
                continue;
            }
            const std::string tag = xml.substr(i, end - i);
            i = end;
            this->tag(tag);
            if (i < xml.size() && xml[i] != '<') continue; // text follows: no markup may go in between
            // In the writer's output an element holds either text or elements; whitespace goes
            // only where elements are held.
            const bool startTag = tag[1] != '/' && tag[tag.size() - 2] != '/';
            between(i == xml.size() || !startTag || xml[i + 1] != '/');
        }
        return m_out;
    }

private:
    bool chance(unsigned n) { return std::uniform_int_distribution<unsigned>(1, n)(m_random) == 1; }

    // Markup that adds no character data, and whitespace where no text is read.
    void between(bool whitespaceAllowed)
    {
        if (m_variation.whitespace && whitespaceAllowed && chance(2)) m_out += chance(2) ? "\n  " : " \t\r\n";
        if (m_variation.comments && chance(3)) m_out += chance(2) ? "<!-- a - <note> & -->" : "<?wi-note a=\"1\"?>";
    }

    std::string prefix(const std::string& written) const
    {
        return written == "ns1" ? m_variation.schemaPrefix : written == "ns2" ? m_variation.basePrefix : written;
    }

    // Renames prefixes in the element name and the namespace declarations; spreads the tag out.
    void tag(const std::string& tag)
    {
        std::size_t i = tag[1] == '/' ? 2 : 1;
        m_out += tag.substr(0, i);
        const std::size_t nameEnd = tag.find_first_of(" />", i);
        const std::size_t colon = tag.find(':', i);
        if (colon < nameEnd) {
            const std::string renamed = prefix(tag.substr(i, colon - i));
            m_out += renamed.empty() ? "" : renamed + ":";
            i = colon + 1;
        }
        bool quoted = false;
        for (; i < tag.size(); ++i) {
            const char c = tag[i];
            if (c == '"') quoted = !quoted;
            if (!quoted && c == ' ' && tag.compare(i, 7, " xmlns:") == 0) {
                const std::size_t equals = tag.find('=', i);
                const std::string renamed = prefix(tag.substr(i + 7, equals - i - 7));
                m_out += renamed.empty() ? " xmlns=\"" : " xmlns:" + renamed + "=\"";
                const std::size_t close = tag.find('"', equals + 2);
                attributeText(tag.substr(equals + 2, close - equals - 2)); // a namespace URI: nothing escaped
                m_out += '"';
                i = close;
            } else if (!quoted && m_variation.whitespace && (c == ' ' || c == '/' || c == '>')) {
                m_out += chance(2) ? "\n    " : " ";
                if (c != ' ') m_out += tag.substr(i); // "/>" or ">"
                if (c != ' ') break;
            } else {
                m_out += c;
            }
        }
    }

    void attributeText(const std::string& raw)
    {
        for (const char c : raw) m_out += m_variation.texts && chance(3) ? reference(std::string(1, c)) : std::string(1, c);
    }

    std::string reference(const std::string& character)
    {
        char text[16];
        std::snprintf(text, sizeof text, chance(2) ? "&#x%X;" : "&#%u;", codePoint(character));
        return text;
    }

    // Element text, each character as CDATA, a character reference or escaped
    // text; empty comments may split it anywhere between characters.
    void text(const std::string& raw)
    {
        bool inCdata = false;
        for (std::size_t i = 0; i < raw.size();) {
            const auto lead = static_cast<unsigned char>(raw[i]);
            const std::string character = raw.substr(i, lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4);
            i += character.size();
            // A CR stays a reference: a parser turns a literal one into LF.
            const unsigned mode = m_variation.texts && character != "\r" ? m_random() % 3 : 2;
            if (mode != 0 && inCdata) m_out += "]]>";
            if (mode == 0) {
                // "]]>" would end the section: split it between the brackets and '>'.
                if (inCdata && character == ">" && m_out.compare(m_out.size() - 2, 2, "]]") == 0) m_out += "]]><![CDATA[";
                if (!inCdata) m_out += "<![CDATA[";
                m_out += character;
            } else if (mode == 1) {
                m_out += reference(character);
            } else {
                const char c = character[0];
                m_out += c == '&' ? "&amp;" : c == '<' ? "&lt;" : c == '>' ? "&gt;" : c == '\r' ? "&#13;" : character;
                if (m_variation.comments && chance(4)) m_out += "<!---->";
            }
            inCdata = mode == 0;
        }
        if (inCdata) m_out += "]]>";
    }

    const Variation& m_variation;
    std::mt19937_64 m_random;
    std::string m_out;
};

} // namespace

std::string rewrite(const std::string& canonical, const Variation& variation, std::uint64_t seed)
{
    return Rewriter(variation, seed).run(canonical);
}

} // namespace roundtrip
