#include "MessageHead.hpp"

#include <ios>

#include "kvsoa/DomException.hpp"
#include "kvsoa/Soap.hpp"
#include "workinstructions/SchemaObject.hpp"

namespace Velmora::Schemas::Mes::_2010_09::Workinstructions::detail {

namespace {

using ::Kavella::Soa::Common::Xml::DomException;
using ::Kavella::Soa::Common::Xml::SoapVersion;
using ::Kavella::Soa::Common::Xml::soapVersionOf;
using ::Kavella::Soa::Common::Xml::XMLEventHandler;
using ::Kavella::Soa::Common::Xml::XMLEventReader;
using ::Kavella::Soa::Common::Xml::XMLReadLimits;
using ::Kavella::Soa::Common::Xml::XMLStartTag;

class HeadFinder : public XMLEventHandler {
public:
    HeadFinder(XMLEventReader& reader, MessageHead& head) : m_reader(reader), m_head(head) {}

    void startElement(const XMLStartTag& tag) override
    {
        ++m_depth;
        if (m_depth == 1 && tag.name == "Envelope" && soapVersionOf(tag.uri) != SoapVersion::None) {
            m_head.enveloped = true;
            m_envelopeUri.assign(tag.uri);
            return;
        }
        if (m_head.enveloped) {
            if (m_depth == 2) m_inBody = tag.name == "Body" && tag.uri == m_envelopeUri;
            if (m_depth != 3 || !m_inBody) return;
            m_head.fault = tag.name == "Fault" && tag.uri == m_envelopeUri;
        }
        m_head.found = true;
        m_head.name.assign(tag.name);
        m_head.uri.assign(tag.uri);
        m_head.position = m_reader.elementPosition();
        m_reader.stop(); // the rest is the object reader's
    }
    void endElement() override { --m_depth; }
    void characters(std::string_view) override {}

private:
    XMLEventReader& m_reader;
    MessageHead& m_head;
    int m_depth = 0;
    bool m_inBody = false;
    std::string m_envelopeUri;
};

template <class Text>
MessageHead find(Text& text, const XMLReadLimits& limits)
{
    MessageHead head;
    XMLEventReader reader(limits);
    HeadFinder finder(reader, head);
    try {
        reader.read(text, finder);
    } catch (const DomException&) {
        return {}; // malformed before the message element: the full read reports it in place
    }
    return head;
}

std::string described(std::string_view name, std::string_view uri)
{
    std::string text = "<";
    text.append(name).append("> ");
    if (uri.empty()) return text + "in no namespace";
    return text.append("in ").append(uri);
}

} // namespace

MessageHead findMessageHead(std::string_view text, const XMLReadLimits& limits)
{
    return find(text, limits);
}

MessageHead findMessageHead(std::istream& text, const XMLReadLimits& limits)
{
    return find(text, limits);
}

void ReplayBuffer::replay()
{
    m_recording = false;
    char* start = m_record.data();
    setg(start, start, start + m_record.size());
}

ReplayBuffer::int_type ReplayBuffer::underflow()
{
    if (gptr() < egptr()) return traits_type::to_int_type(*gptr());
    if (!m_recording) std::string().swap(m_record); // handed out again already
    m_piece.resize(64 * 1024);
    std::streamsize got = 0;
    try {
        got = m_source->sgetn(m_piece.data(), static_cast<std::streamsize>(m_piece.size()));
    } catch (...) {
        throw std::ios_base::failure("the document could not be read from its stream");
    }
    m_piece.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
    if (m_piece.empty()) return traits_type::eof();
    if (m_recording) m_record += m_piece;
    setg(m_piece.data(), m_piece.data(), m_piece.data() + m_piece.size());
    return traits_type::to_int_type(m_piece[0]);
}

bool MessageHead::admits(std::string_view expected) const
{
    return !found || fault || (name == expected && uri == NamespaceUri);
}

void throwNotTheMessage(const MessageHead& head, std::string_view expected)
{
    throw DomException((head.enveloped ? "The message element " : "The root element ") + described(head.name, head.uri) +
                           " is not a " + std::string(expected) + ": expected " + described(expected, NamespaceUri),
                       head.position.line, head.position.column);
}

} // namespace Velmora::Schemas::Mes::_2010_09::Workinstructions::detail
