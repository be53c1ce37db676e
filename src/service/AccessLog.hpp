#pragma once

// The server's log on standard error: one line per exchange,
//   POST save 200 received 4628 sent 812 bytes in 153 us peer 10.0.0.7:51324 user alice id 5f0c2a9e81d3b447
// and the server's own lines (a handler that failed, a refused caller), each
// written by one system call, so that lines of several workers never mix.
// Much of it comes from clients: control bytes and bytes that are not UTF-8
// are written as \xHH (in access fields spaces too) and every field is capped,
// so that no request can forge a line, drive a terminal or fill the log.

#include <cstddef>
#include <string>
#include <string_view>

#include "workinstructions/Server.hpp"

namespace Velmora::Schemas::Mes::_2010_09::Workinstructions::serving {

/// The bytes most of a field that is written; a longer one ends in "...".
constexpr std::size_t accessFieldCap = 64;

/// text as one log field: printable ASCII and well-formed UTF-8 as they are,
/// other bytes, spaces and backslashes as \xHH; cut after accessFieldCap bytes.
std::string logField(std::string_view text);

/// The bytes most of the message of one of the server's own lines.
constexpr std::size_t logMessageCap = 1024;

/// The record's line, its fields escaped; the status field is the status
/// ("200,unsent" when its client did not take it), or "cut:" and the outcome.
std::string accessLine(const AccessRecord& record);
void logAccess(const AccessRecord& record);

/// One line of the server's own: prefix and message escaped as access
/// fields are, but with their spaces, the message cut after logMessageCap.
void logLine(std::string_view prefix, std::string_view message);

} // namespace Velmora::Schemas::Mes::_2010_09::Workinstructions::serving
