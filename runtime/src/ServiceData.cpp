#include "kvsoa/ServiceData.hpp"

#include "kvsoa/Conversions.hpp"
#include "kvsoa/DomException.hpp"
#include "kvsoa/Monitor.hpp"
#include "kvsoa/ObjectClone.hpp"
#include "kvsoa/XMLNode.hpp"
#include "kvsoa/XmlStream.hpp"

namespace Kavella::Schemas::Soa::_2006_03::Base {

using namespace ::Kavella::Soa::Common;
using namespace ::Kavella::Soa::Common::Xml;

#define SERVICE_DATA "Kavella::Schemas::Soa::_2006_03::Base::ServiceData"

namespace {

void writeUids(XmlStream& stream, const std::string& elementName, const std::vector<std::string>& uids)
{
    for (const auto& uid : uids) {
        stream.beginElement(elementName, {});
        stream.appendEscapedAttribute("uid", uid);
        stream.appendStartTagEnd(true);
    }
}

int readInt(const XMLNode& node, const char* attributeName)
{
    try {
        return lexical_cast<int>(node.getAttr(attributeName));
    } catch (DomException& error) {
        error.locate(node.line, node.column);
        throw;
    }
}

} // namespace

KVSOA_DEFINE_ALLOCATION_OPERATORS(ServiceData, SERVICE_DATA)

ServiceData::ServiceData() : BaseObject(NamespaceUri) {}

void ServiceData::outputXML(XmlStream& stream, const std::string& elementName) const
{
    static const char* const trace = SERVICE_DATA "::outputXML";
    const bool traced = outputXMLBase(stream, elementName, trace);
    stream.appendStartTagEnd(false);
    const std::string prefix = stream.getNamespacePrefix(namespaceUri()) + ":";
    writeUids(stream, prefix + "created", m_created);
    writeUids(stream, prefix + "updated", m_updated);
    writeUids(stream, prefix + "deleted", m_deleted);
    const std::string errorName = prefix + "partialErrors";
    for (const auto& error : m_partialErrors) {
        stream.beginElement(errorName, {});
        stream.appendEscapedAttribute("uid", error.uid);
        stream.appendAttribute("code", lexical_cast<std::string>(error.code));
        stream.appendAttribute("level", lexical_cast<std::string>(error.level));
        stream.appendEscapedAttribute("message", error.message);
        stream.appendStartTagEnd(true);
    }
    stream.appendEndTag(elementName);
    if (traced) Monitor::markEnd(trace);
}

void ServiceData::parse(const XMLNode& node)
{
    static const std::string trace = SERVICE_DATA "::parse";
    if (node.traceSuppression == 0 && Monitor::isActive()) Monitor::markStart(trace);
    // Names first: an unknown child is refused before any value is judged, as
    // a reader that refuses it when it starts does.
    for (const XMLNode* child : node.children) {
        if (!readsChild(child->name)) throwUnexpectedNode(*child);
    }
    for (const XMLNode* child : node.children) {
        if (child->name == "created") {
            m_created.push_back(child->getAttr("uid"));
        } else if (child->name == "updated") {
            m_updated.push_back(child->getAttr("uid"));
        } else if (child->name == "deleted") {
            m_deleted.push_back(child->getAttr("uid"));
        } else if (child->name == "partialErrors") {
            PartialError error;
            error.uid = child->getAttr("uid");
            error.code = readInt(*child, "code");
            error.level = readInt(*child, "level");
            error.message = child->getAttr("message");
            m_partialErrors.push_back(std::move(error));
        } else {
            throwUnexpectedNode(*child);
        }
    }
    if (node.traceSuppression == 0 && Monitor::isActive()) Monitor::markEnd(trace);
}

bool ServiceData::readsChild(std::string_view localName) noexcept
{
    return localName == "created" || localName == "updated" || localName == "deleted" || localName == "partialErrors";
}

void ServiceData::getNamespaces(std::set<std::string>& namespaces) const
{
    namespaces.insert(namespaceUri());
}

ServiceData* ServiceData::reallyClone() const
{
    return cloneObject(*this, SERVICE_DATA);
}

} // namespace Kavella::Schemas::Soa::_2006_03::Base
