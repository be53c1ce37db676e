#include "MessageHead.hpp"

#include "kvsoa/Soap.hpp"

namespace Velmora::Schemas::Mes::_2010_09::Workinstructions::detail {

namespace {

using ::Kavella::Soa::Common::Xml::SoapVersion;
using ::Kavella::Soa::Common::Xml::soapVersionOf;
using ::Kavella::Soa::Common::Xml::XMLEventReader;
using ::Kavella::Soa::Common::Xml::XMLStartTag;

class HeadFinder final : public ::Kavella::Soa::Common::Xml::XMLEventHandler {
public:
    explicit HeadFinder(XMLEventReader& reader) : m_reader(reader) {}

    void startElement(const XMLStartTag& tag) override
    {
        ++m_depth;
        if (m_depth == 1) {
            m_envelope = tag.name == "Envelope" ? soapVersionOf(tag.uri) : SoapVersion::None;
            m_envelopeUri.assign(tag.uri);
            if (m_envelope == SoapVersion::None) found(tag);
        } else if (m_depth == 2) {
            m_inBody = tag.name == "Body" && tag.uri == m_envelopeUri;
        } else if (m_depth == 3 && m_inBody) {
            head.fault = tag.name == "Fault" && tag.uri == m_envelopeUri;
            found(tag);
        }
    }
    void endElement() override { --m_depth; }
    void characters(std::string_view) override {}

    MessageHead head;

private:
    void found(const XMLStartTag& tag)
    {
        head.found = true;
        head.name.assign(tag.name);
        head.uri.assign(tag.uri);
        head.at = m_reader.elementPosition();
        m_reader.stop();
    }

    XMLEventReader& m_reader;
    int m_depth = 0;
    SoapVersion m_envelope = SoapVersion::None;
    std::string m_envelopeUri;
    bool m_inBody = false;
};

} // namespace

MessageHead peekMessageHead(std::istream& text, const ::Kavella::Soa::Common::Xml::XMLReadLimits& limits)
{
    XMLEventReader reader(limits);
    HeadFinder finder(reader);
    reader.read(text, finder);
    return finder.head;
}

} // namespace Velmora::Schemas::Mes::_2010_09::Workinstructions::detail
