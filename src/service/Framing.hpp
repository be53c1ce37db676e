#pragma once

// Whether a request's headers frame its body in one way only. Behind a proxy
// that reads the framing differently, two Content-Lengths, a Content-Length
// beside Transfer-Encoding or a coding one side does not know let a second
// request ride in the first one's body; such a request is refused and its
// connection closed (RFC 9112, sections 3.2, 5, 6.1 and 6.3).

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace Velmora::Schemas::Mes::_2010_09::Workinstructions::serving {

using HeaderFields = std::vector<std::pair<std::string_view, std::string_view>>;

struct FramingVerdict {
    int status = 0;     // 0 when the framing is sound, else 400 or 501
    std::string reason; // names the header and what is wrong with it
};

/// Checks the header fields of a request as received, in order and with
/// repeats; http11 for HTTP/1.1, false for HTTP/1.0.
FramingVerdict checkFraming(const HeaderFields& fields, bool http11);

/// Checks that the request line and every header line ended in CR LF and no
/// value held a NUL.
/// libmicrohttpd 0.9.75 takes a bare LF for a line end and a NUL for a
/// value's end (a Content-Length of "12\0 99" is 12 to it, 1299 to a peer
/// that drops the NUL); it reads the lines in place, writing a NUL over each
/// CR and LF, so the fields given as it holds them, in order, show the bytes
/// between them. Valid only for the HTTP version and fields as libmicrohttpd
/// hands them to the request's first call (MHD_get_connection_values_n).
FramingVerdict checkLineEnds(std::string_view version, const HeaderFields& fields);

} // namespace Velmora::Schemas::Mes::_2010_09::Workinstructions::serving
