#include "Framing.hpp"

#include <cstddef>

#include "SoapBinding.hpp"

namespace Velmora::Schemas::Mes::_2010_09::Workinstructions::serving {

namespace {

// libmicrohttpd glues a folded line to the name before it
// ("Transfer-Encoding:\r\n chunked" becomes a header "Transfer-Encodingchunked"
// with no value); a peer that unfolds it reads chunked framing there.
bool gluedToFraming(std::string_view name)
{
    for (const std::string_view framing : {std::string_view("Content-Length"), std::string_view("Transfer-Encoding")}) {
        if (name.size() > framing.size() && sameIgnoringCase(name.substr(0, framing.size()), framing)) return true;
    }
    return false;
}

FramingVerdict refuse(int status, std::string reason)
{
    return {status, std::move(reason)};
}

FramingVerdict checkCodings(std::string_view value)
{
    std::vector<std::string_view> codings;
    for (std::size_t start = 0;;) {
        const std::size_t comma = value.find(',', start);
        const std::string_view coding = trimmed(value.substr(start, comma - start));
        if (!coding.empty()) codings.push_back(coding);
        if (comma == std::string_view::npos) break;
        start = comma + 1;
    }
    if (codings.empty()) return refuse(400, "Transfer-Encoding names no coding");
    for (const std::string_view coding : codings) {
        if (!sameIgnoringCase(coding, "chunked")) {
            return refuse(501, "Transfer-Encoding '" + std::string(coding) + "' is not a coding this server reads");
        }
    }
    if (codings.size() > 1) return refuse(400, "Transfer-Encoding names chunked more than once");
    return {};
}

} // namespace

FramingVerdict checkFraming(const HeaderFields& fields, bool http11)
{
    int lengths = 0, encodings = 0, hosts = 0;
    std::string_view length, encoding;
    for (const auto& [name, value] : fields) {
        if (!isToken(name)) return refuse(400, "the header name '" + std::string(name) + "' is not a token");
        if (gluedToFraming(name) || value.find_first_of("\r\n") != std::string_view::npos) {
            return refuse(400, "the header " + std::string(name) + " is folded over several lines");
        }
        if (sameIgnoringCase(name, "Content-Length")) {
            ++lengths;
            length = trimmed(value);
        } else if (sameIgnoringCase(name, "Transfer-Encoding")) {
            ++encodings;
            encoding = value;
        } else if (sameIgnoringCase(name, "Host")) {
            ++hosts;
        }
    }
    if (lengths > 1) return refuse(400, "Content-Length is given " + std::to_string(lengths) + " times");
    if (lengths == 1 && (length.empty() || length.find_first_not_of("0123456789") != std::string_view::npos)) {
        return refuse(400, "Content-Length '" + std::string(length) + "' is not a number of bytes");
    }
    if (encodings > 1) return refuse(400, "Transfer-Encoding is given " + std::to_string(encodings) + " times");
    if (encodings == 1) {
        if (!http11) return refuse(400, "Transfer-Encoding in an HTTP/1.0 request");
        if (lengths == 1) return refuse(400, "Content-Length and Transfer-Encoding together");
        FramingVerdict codings = checkCodings(encoding);
        if (codings.status != 0) return codings;
        // libmicrohttpd decodes chunks only for the bare word; with white space
        // around it, it would read the body as unframed, up to the client's close.
        if (!sameIgnoringCase(encoding, "chunked")) {
            return refuse(400, "Transfer-Encoding '" + std::string(encoding) + "' has white space around chunked");
        }
    }
    if (hosts > 1) return refuse(400, "Host is given " + std::to_string(hosts) + " times");
    if (http11 && hosts == 0) return refuse(400, "an HTTP/1.1 request without Host");
    return {};
}

FramingVerdict checkLineEnds(std::string_view version, const HeaderFields& fields)
{
    if (!fields.empty() && version.data() + version.size() + 2 != fields.front().first.data()) {
        return refuse(400, "the request line does not end in CR LF");
    }
    for (std::size_t i = 0; i < fields.size(); ++i) {
        const auto& [name, value] = fields[i];
        const char* end = value.data() + value.size();
        // CR and LF of the line, then the next name; after the last line, the
        // CR LF of the empty line.
        const bool last = i + 1 == fields.size();
        const bool crlf = last ? end[0] == '\0' && end[1] == '\0' && end[2] == '\0' && end[3] == '\0'
                               : end + 2 == fields[i + 1].first.data();
        if (crlf) continue;
        if (!last && end + 1 == fields[i + 1].first.data()) {
            return refuse(400, "the header " + std::string(name) + " ends in a bare LF, not CR LF");
        }
        return refuse(400, "the header " + std::string(name) + " holds a NUL or a line break in its value");
    }
    return {};
}

} // namespace Velmora::Schemas::Mes::_2010_09::Workinstructions::serving
