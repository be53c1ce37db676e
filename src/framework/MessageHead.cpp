#include "workinstructions/MessageHead.hpp"

#include "kvsoa/Soap.hpp"

namespace Velmora::Schemas::Mes::_2010_09::Workinstructions {

namespace {

using ::Kavella::Soa::Common::Xml::soapNamespaceUri;
using ::Kavella::Soa::Common::Xml::SoapVersion;
using ::Kavella::Soa::Common::Xml::soapVersionOf;
using ::Kavella::Soa::Common::Xml::XMLEventHandler;
using ::Kavella::Soa::Common::Xml::XMLEventReader;
using ::Kavella::Soa::Common::Xml::XMLStartTag;

/// Follows the start tags down to the message's and stops the reader there.
class HeadReader final : public XMLEventHandler {
public:
    explicit HeadReader(XMLEventReader& reader) : m_reader(reader) {}

    void startElement(const XMLStartTag& tag) override
    {
        ++m_depth;
        if (m_depth == 1) {
            const SoapVersion version = tag.name == "Envelope" ? soapVersionOf(tag.uri) : SoapVersion::None;
            if (version != SoapVersion::None) {
                head.envelope = version == SoapVersion::Soap11 ? Envelope::Soap11 : Envelope::Soap12;
                m_soapUri = soapNamespaceUri(version);
                return;
            }
        } else if (m_depth == 2) {
            m_inBody = tag.name == "Body" && tag.uri == m_soapUri;
            return;
        } else if (m_depth > 3 || !m_inBody) {
            return;
        }
        head.name.assign(tag.name);
        head.uri.assign(tag.uri);
        head.at = m_reader.elementPosition();
        m_reader.stop();
    }
    void endElement() override
    {
        // The Body ended empty: no message follows that readXml would take.
        if (m_depth-- == 2 && m_inBody) m_reader.stop();
    }
    void characters(std::string_view) override {}

    MessageHead head;

private:
    XMLEventReader& m_reader;
    std::string_view m_soapUri; // a literal of the runtime's, not the tag's view
    int m_depth = 0;
    bool m_inBody = false;
};

template <class Text>
MessageHead peek(Text& text, const XMLReadLimits& limits)
{
    XMLEventReader reader(limits);
    HeadReader head(reader);
    reader.read(text, head);
    return head.head;
}

} // namespace

MessageHead peekMessage(std::string_view text, const XMLReadLimits& limits)
{
    return peek(text, limits);
}

MessageHead peekMessage(std::istream& text, const XMLReadLimits& limits)
{
    return peek(text, limits);
}

} // namespace Velmora::Schemas::Mes::_2010_09::Workinstructions
