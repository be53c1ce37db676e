#include "RequestHead.hpp"

#include "kvsoa/XMLEventReader.hpp"

namespace Velmora::Schemas::Mes::_2010_09::Workinstructions::serving {

using ::Kavella::Soa::Common::Xml::checkSoapHeaderBlock;
using ::Kavella::Soa::Common::Xml::DomException;
using ::Kavella::Soa::Common::Xml::soapHeaderBlockIsMandatory;
using ::Kavella::Soa::Common::Xml::soapNamespaceUri;
using ::Kavella::Soa::Common::Xml::soapVersionOf;
using ::Kavella::Soa::Common::Xml::SoapEnvelopeError;
using ::Kavella::Soa::Common::Xml::throwSoapEnvelopeError;
using ::Kavella::Soa::Common::Xml::XMLEventHandler;
using ::Kavella::Soa::Common::Xml::XMLEventReader;
using ::Kavella::Soa::Common::Xml::XMLStartTag;

namespace {

constexpr OperationInfo operations[operationCount] = {
    {"load", "LoadWorkInstructionDocInput", "LoadedObjectsResponse",
     "http://velmora.com/Schemas/MES/2010-09/WorkInstructions/load"},
    {"save", "SaveWorkInstructionDocInput", "SavedObjectsResponse",
     "http://velmora.com/Schemas/MES/2010-09/WorkInstructions/save"},
};

// Judges no more than it must: the first few mandatory header blocks make the fault.
constexpr std::size_t notUnderstoodNamed = 20;

struct HeadReader : XMLEventHandler {
    HeadReader(XMLEventReader& source, bool toEnd) : reader(source), whole(toEnd) {}

    void startElement(const XMLStartTag& tag) override
    {
        ++depth;
        if (depth == 1 && tag.name == "Envelope" && soapVersionOf(tag.uri) == SoapVersion::None) {
            unknownEnvelope(tag);
            return;
        }
        const bool envelope = depth == 1 && tag.name == "Envelope";
        if (envelope) head.envelope = soapVersionOf(tag.uri);
        const std::string_view envelopeUri = soapNamespaceUri(head.envelope);
        if (depth == 2) {
            inHeader = tag.name == "Header" && tag.uri == envelopeUri && envelopeChildren == 0;
            inBody = tag.name == "Body" && tag.uri == envelopeUri;
            ++envelopeChildren;
        }
        if (depth == 3 && inHeader) headerBlock(tag, envelopeUri);
        const bool message = depth == 1 ? !envelope : depth == 3 && inBody;
        if (!message || !head.name.empty()) return;
        head.name.assign(tag.name);
        head.uri.assign(tag.uri);
        if (!whole) reader.stop();
    }
    void endElement() override { --depth; }
    void characters(std::string_view) override {}

    void unknownEnvelope(const XMLStartTag& tag)
    {
        head.unknownEnvelope = true;
        try {
            const auto at = reader.elementPosition();
            throwSoapEnvelopeError(SoapEnvelopeError::UnknownNamespace, at.line, at.column, tag.uri);
        } catch (const DomException& error) {
            head.unknownEnvelopeReason = error.getMessage();
        }
        if (!whole) reader.stop();
    }

    void headerBlock(const XMLStartTag& tag, std::string_view envelopeUri)
    {
        if (head.notUnderstood.size() >= notUnderstoodNamed) return;
        const auto at = reader.elementPosition();
        // A mustUnderstand that is no boolean raises here: the request is malformed.
        if (!soapHeaderBlockIsMandatory(envelopeUri, tag.uri, tag.name, tag.attributes, at.line, at.column)) return;
        if (head.notUnderstood.empty()) {
            try {
                checkSoapHeaderBlock(envelopeUri, tag.uri, tag.name, tag.attributes, at.line, at.column);
            } catch (const DomException& error) {
                head.notUnderstoodReason = error.getMessage();
            }
        }
        head.notUnderstood.push_back("{" + std::string(tag.uri) + "}" + std::string(tag.name));
    }

    XMLEventReader& reader;
    bool whole;
    RequestHead head;
    int depth = 0;
    int envelopeChildren = 0;
    bool inHeader = false;
    bool inBody = false;
};

} // namespace

const OperationInfo& operationInfo(Operation operation)
{
    return operations[static_cast<int>(operation)];
}

RequestHead peekRequest(std::string_view text, const XMLReadLimits& limits, bool whole)
{
    XMLEventReader reader(limits);
    HeadReader head(reader, whole);
    reader.read(text, head);
    return head.head;
}

const char* contentTypeOf(SoapVersion version)
{
    return version == SoapVersion::Soap12 ? "application/soap+xml; charset=utf-8" : "text/xml; charset=utf-8";
}

} // namespace Velmora::Schemas::Mes::_2010_09::Workinstructions::serving
