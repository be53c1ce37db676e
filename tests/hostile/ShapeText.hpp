#pragma once

// The pieces hostile shapes are built from: repeated units, attributes and
// declarations, message, envelope and fault skeletons, other encodings.

#include <algorithm>
#include <cstddef>
#include <string>
#include <string_view>

#include "kvsoa/Common.hpp"
#include "kvsoa/Soap.hpp"
#include "workinstructions/WorkInstructions.hpp"

namespace hostile::shape_text {

namespace wi = ::Velmora::Schemas::Mes::_2010_09::Workinstructions;
using ::Kavella::Soa::Common::Xml::Soap11NamespaceUri;
using ::Kavella::Soa::Common::Xml::Soap12NamespaceUri;

inline const std::string kBase = ::Kavella::Schemas::Soa::_2006_03::Base::NamespaceUri;

// Elements nested in one block of the deep shapes: the root and the few
// message elements around the block stay within the default depth limit.
constexpr std::size_t kBlockDepth = 240;
// Levels of the nested declaration shapes, each declaring its share of n.
constexpr std::size_t kDeclaringLevels = 200;

inline std::string num(std::size_t i) { return std::to_string(i); }

template <typename Piece>
inline std::string repeated(std::size_t n, Piece piece)
{
    std::string out;
    for (std::size_t i = 0; i < n; ++i) out += piece(i);
    return out;
}

inline std::string times(std::size_t n, std::string_view piece)
{
    std::string out;
    out.reserve(n * piece.size());
    for (std::size_t i = 0; i < n; ++i) out.append(piece);
    return out;
}

/// ` a0="v" a1="v"...`, each name under prefix when there is one.
inline std::string attributes(std::size_t n, const std::string& prefix = "")
{
    return repeated(n, [&](std::size_t i) { return " " + prefix + "a" + num(i) + "=\"v\""; });
}

/// ` xmlns:p0="urn:p0"...`, the prefixes starting with stem.
inline std::string declarations(std::size_t n, const std::string& stem = "p")
{
    return repeated(n, [&](std::size_t i) {
        const std::string prefix = stem + num(i);
        return " xmlns:" + prefix + "=\"urn:" + prefix + "\"";
    });
}

/// A namespace URI of about length bytes.
inline std::string longUri(std::size_t length) { return "urn:" + std::string(length, 'u'); }

/// Half of n, at least one: shapes that spend n on two things.
inline std::size_t half(std::size_t n) { return std::max<std::size_t>(1, n / 2); }

/// n elements nested in blocks of kBlockDepth, open(i) opening the i-th of a block.
inline std::string nestedBlocks(std::size_t n, const std::string& open, const std::string& close)
{
    const std::size_t blocks = std::max<std::size_t>(1, n / kBlockDepth);
    return times(blocks, times(kBlockDepth, open) + times(kBlockDepth, close));
}

inline std::string messageDeclarations()
{
    return std::string(" xmlns:wi=\"") + wi::NamespaceUri + "\" xmlns:base=\"" + kBase + "\"";
}

/// The message element wi:local with rootExtra in its start tag around children.
inline std::string message(const std::string& local, const std::string& rootExtra, const std::string& children)
{
    const std::string open = "<wi:" + local + messageDeclarations() + rootExtra;
    if (children.empty()) return open + "/>";
    return open + ">" + children + "</wi:" + local + ">";
}

inline std::string createInput(const std::string& rootExtra, const std::string& children)
{
    return message("CreateInput", " type=\"t\"" + rootExtra, children);
}

// A StringMap has no children: whatever its element holds is skipped unread.
inline std::string skipped(const std::string& inner, const std::string& rootExtra = "")
{
    return createInput(rootExtra, "<wi:stringProps key=\"k\" value=\"v\">" + inner + "</wi:stringProps>");
}

// A TagMap's value is a ModelObject, read from a tree kept of its element.
inline std::string modelObject(const std::string& valueAttributes, const std::string& inner,
                        const std::string& rootExtra = "")
{
    const std::string value = "<wi:value uid=\"u\"" + valueAttributes + (inner.empty() ? "/>" : ">" + inner + "</wi:value>");
    return createInput(rootExtra, "<wi:tagProps key=\"k\">" + value + "</wi:tagProps>");
}

inline std::string serviceData(const std::string& local, const std::string& rootExtra, const std::string& children)
{
    return message(local, rootExtra, "<ServiceData>" + children + "</ServiceData>");
}

inline std::string soap11(const std::string& envelopeExtra, const std::string& header, const std::string& body)
{
    std::string text = std::string("<soapenv:Envelope xmlns:soapenv=\"") + Soap11NamespaceUri + "\"" + envelopeExtra + ">";
    if (!header.empty()) text += "<soapenv:Header xmlns:h=\"urn:h\">" + header + "</soapenv:Header>";
    return text + "<soapenv:Body>" + body + "</soapenv:Body></soapenv:Envelope>";
}

inline std::string soap11Fault(const std::string& detail)
{
    return soap11("", "",
                  "<soapenv:Fault><faultcode>soapenv:Server</faultcode><faultstring>failed</faultstring><detail>" +
                      detail + "</detail></soapenv:Fault>");
}

inline std::string utf16le(const std::string& ascii)
{
    std::string out = "\xFF\xFE";
    out.reserve(2 + 2 * ascii.size());
    for (const char c : ascii) {
        out += c;
        out += '\0';
    }
    return out;
}

inline std::string element(const std::string& name) { return "<" + name + "/>"; }

/// The characters of the shapes below in EBCDIC (code page 037).
inline std::string ebcdic(const std::string& ascii)
{
    std::string out;
    out.reserve(ascii.size());
    for (const char c : ascii) {
        if (c >= 'a' && c <= 'i') out += static_cast<char>(0x81 + (c - 'a'));
        else if (c >= 'j' && c <= 'r') out += static_cast<char>(0x91 + (c - 'j'));
        else if (c >= 's' && c <= 'z') out += static_cast<char>(0xA2 + (c - 's'));
        else if (c >= 'A' && c <= 'I') out += static_cast<char>(0xC1 + (c - 'A'));
        else if (c >= 'J' && c <= 'R') out += static_cast<char>(0xD1 + (c - 'J'));
        else if (c >= '0' && c <= '9') out += static_cast<char>(0xF0 + (c - '0'));
        else out += std::string_view("\x40\x4C\x6F\x6E\x7E\x7F\x4B\x61").at(std::string_view(" <?>=\"./").find(c));
    }
    return out;
}


} // namespace hostile::shape_text
