#include "AccessLog.hpp"

#include <unistd.h>

namespace Velmora::Schemas::Mes::_2010_09::Workinstructions::serving {

namespace {

// The length of the well-formed UTF-8 sequence at text[at] of two bytes or
// more, 0 when there is none (overlong forms, surrogates and values past
// U+10FFFF are not well formed).
std::size_t utf8Sequence(std::string_view text, std::size_t at)
{
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(at);
    std::size_t length = 0;
    unsigned char low = 0x80, high = 0xBF; // the range of the second byte
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;
        if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;
    } else {
        return 0;
    }
    if (at + length > text.size() || byte(at + 1) < low || byte(at + 1) > high) return 0;
    for (std::size_t i = 2; i < length; ++i) {
        if (byte(at + i) < 0x80 || byte(at + i) > 0xBF) return 0;
    }
    return length;
}

} // namespace

namespace {

// Printable ASCII and well-formed UTF-8 as they are, other bytes as \xHH,
// spaces too unless kept; cut after cap bytes.
std::string escaped(std::string_view text, bool keepSpaces, std::size_t cap)
{
    static const char hex[] = "0123456789abcdef";
    std::string field;
    std::size_t at = 0;
    while (at < text.size()) {
        const auto c = static_cast<unsigned char>(text[at]);
        std::size_t length = 1;
        std::string piece;
        if ((c > 0x20 || (keepSpaces && c == ' ')) && c < 0x7F && c != '\\') {
            piece.assign(1, static_cast<char>(c));
        } else if (c >= 0x80 && (length = utf8Sequence(text, at)) != 0) {
            piece.assign(text.substr(at, length));
        } else {
            length = 1;
            piece = {'\\', 'x', hex[c >> 4], hex[c & 0xF]};
        }
        if (field.size() + piece.size() > cap) return field + "...";
        field += piece;
        at += length;
    }
    return field;
}

// One write per line: below PIPE_BUF, lines of several threads never tear
// into each other on a pipe, and a terminal or file gets them whole too.
void writeLine(const std::string& line)
{
    // A log that cannot be written must not stop the service.
    std::size_t written = 0;
    while (written < line.size()) {
        const ssize_t now = ::write(STDERR_FILENO, line.data() + written, line.size() - written);
        if (now <= 0) return;
        written += static_cast<std::size_t>(now);
    }
}

} // namespace

std::string logField(std::string_view text)
{
    std::string field = escaped(text, false, accessFieldCap);
    return field.empty() ? "-" : field;
}

std::string accessLine(const AccessRecord& record)
{
    std::string status = record.status == 0 ? "cut:" + record.outcome : std::to_string(record.status);
    if (record.status != 0 && record.outcome == "unsent") status += ",unsent";
    const std::string peer =
        record.peerAddress.empty() ? std::string() : record.peerAddress + ":" + std::to_string(record.peerPort);
    return logField(record.method) + " " + logField(record.operation) + " " + logField(status) + " received " +
           std::to_string(record.received) + " sent " + std::to_string(record.sent) + " bytes in " +
           std::to_string(record.duration.count()) + " us peer " + logField(peer) + " user " +
           logField(record.user) + " id " + logField(record.requestId) + "\n";
}

void logAccess(const AccessRecord& record)
{
    writeLine(accessLine(record));
}

void logLine(std::string_view prefix, std::string_view message)
{
    try {
        writeLine(escaped(prefix, true, accessFieldCap) + escaped(message, true, logMessageCap) + "\n");
    } catch (...) {
        // Out of memory for the line: it goes unwritten rather than the server down.
    }
}

} // namespace Velmora::Schemas::Mes::_2010_09::Workinstructions::serving
