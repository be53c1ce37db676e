#pragma once

// The access log of `wixml serve`: one line per request on standard error,
//   POST save 200 received 4628 sent 812 bytes in 153 us
// written by one system call, so that lines of several workers never mix.

#include <cstddef>
#include <string>

namespace wixml {

struct AccessRecord {
    std::string method;
    std::string operation = "-"; // load, save, wsdl, xsd, or - when none was recognised
    std::string status;          // the HTTP status, or what cut the exchange short
    std::size_t received = 0;    // request body bytes
    std::size_t sent = 0;        // answer body bytes
    long long microseconds = 0;  // from the request line to the end of the answer
};

std::string accessLine(const AccessRecord& record);
void logAccess(const AccessRecord& record);

} // namespace wixml
