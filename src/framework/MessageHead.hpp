#pragma once

// The start of a document, read only as far as its message element: enough to
// tell which message it holds before any object is made. A stream's start is
// kept and handed out again, so that the object's reader then reads it whole.

#include <istream>
#include <optional>
#include <streambuf>
#include <string>
#include <string_view>

#include "kvsoa/XMLEventReader.hpp"

namespace Velmora::Schemas::Mes::_2010_09::Workinstructions::detail {

struct MessageHead {
    bool found = false;
    bool fault = false; // a SOAP Fault in the Body: the object's reader raises it
    bool enveloped = false;
    std::string name;
    std::string uri;
    ::Kavella::Soa::Common::Xml::XMLPosition position;

    /// True unless an element was found that is not expected in the schema's
    /// namespace (a Fault is the reader's to raise).
    bool admits(std::string_view expected) const;
};

/// The same from a UTF-8 text in memory by a plain look at its markup, without
/// the parser's set-up, which would cost a small message a third of its read.
/// Empty when unsure (another encoding, a DOCTYPE, an undeclared prefix...).
/// Right for well-formed text only: the head it finds may be wrong for other
/// text, which the object's reader refuses anyway; it has no position.
std::optional<MessageHead> scanMessageHead(std::string_view text);

/// The root, or the one element in a SOAP envelope's Body. Not found when the
/// start is malformed or holds no such element: the object's reader says why.
MessageHead findMessageHead(std::string_view text, const ::Kavella::Soa::Common::Xml::XMLReadLimits& limits);
MessageHead findMessageHead(std::istream& text, const ::Kavella::Soa::Common::Xml::XMLReadLimits& limits);

/// Reads a source stream's buffer straight, so that the source's exception mask
/// and state stay as they were; records until replay(), then hands out the
/// record followed by the rest, which it no longer keeps.
class ReplayBuffer : public std::streambuf {
public:
    explicit ReplayBuffer(std::streambuf* source) : m_source(source) {}
    void replay();

protected:
    int_type underflow() override;

private:
    std::streambuf* m_source;
    bool m_recording = true;
    std::string m_record;
    std::string m_piece;
};

/// The DomException for a message element other than expected, naming both.
[[noreturn]] void throwNotTheMessage(const MessageHead& head, std::string_view expected);

} // namespace Velmora::Schemas::Mes::_2010_09::Workinstructions::detail
