#pragma once

// The access log of the server: one line per exchange on standard error,
//   POST save 200 received 4628 sent 812 bytes in 153 us
// written by one system call, so that lines of several workers never mix.
// The method comes from the client: control bytes, spaces and bytes that are
// not UTF-8 are written as \xHH and every field is capped, so that no request
// can forge a line, drive a terminal or fill the log.

#include <cstddef>
#include <string>
#include <string_view>

namespace Velmora::Schemas::Mes::_2010_09::Workinstructions::serving {

struct AccessRecord {
    std::string method;
    std::string operation = "-"; // load, save, wsdl, xsd, or - when none was recognised
    std::string status;          // the HTTP status, or what cut the exchange short
    std::size_t received = 0;    // request body bytes
    std::size_t sent = 0;        // answer body bytes
    long long microseconds = 0;  // from the request line to the end of the answer
};

/// The bytes most of a field that is written; a longer one ends in "...".
constexpr std::size_t accessFieldCap = 64;

/// text as one log field: printable ASCII and well-formed UTF-8 as they are,
/// other bytes, spaces and backslashes as \xHH; cut after accessFieldCap bytes.
std::string logField(std::string_view text);

std::string accessLine(const AccessRecord& record);
void logAccess(const AccessRecord& record);

} // namespace Velmora::Schemas::Mes::_2010_09::Workinstructions::serving
