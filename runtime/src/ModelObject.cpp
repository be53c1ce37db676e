#include "kvsoa/ModelObject.hpp"

#include "kvsoa/Conversions.hpp"
#include "kvsoa/Monitor.hpp"
#include "kvsoa/ObjectClone.hpp"
#include "kvsoa/XMLNode.hpp"
#include "kvsoa/XmlStream.hpp"

namespace Kavella::Schemas::Soa::_2006_03::Base {

using namespace ::Kavella::Soa::Common;
using namespace ::Kavella::Soa::Common::Xml;

#define MODEL_OBJECT "Kavella::Schemas::Soa::_2006_03::Base::ModelObject"

KVSOA_DEFINE_ALLOCATION_OPERATORS(ModelObject, MODEL_OBJECT)

ModelObject::ModelObject() : BaseObject(NamespaceUri) {}

ModelObject::ModelObject(const std::string& uid) : BaseObject(NamespaceUri), m_uid(uid) {}

void ModelObject::outputXML(XmlStream& stream, const std::string& elementName) const
{
    static const char* const trace = MODEL_OBJECT "::outputXML";
    const bool traced = outputXMLBase(stream, elementName, trace);
    stream.appendEscapedAttribute("uid", m_uid);
    stream.appendStartTagEnd(true);
    if (traced) Monitor::markEnd(trace);
}

void ModelObject::parse(const XMLNode& node)
{
    static const std::string trace = MODEL_OBJECT "::parse";
    if (node.traceSuppression == 0 && Monitor::isActive()) Monitor::markStart(trace);
    m_uid = node.getAttr("uid");
    if (node.traceSuppression == 0 && Monitor::isActive()) Monitor::markEnd(trace);
}

void ModelObject::getNamespaces(std::set<std::string>& namespaces) const
{
    namespaces.insert(namespaceUri());
}

ModelObject* ModelObject::reallyClone() const
{
    return cloneObject(*this, MODEL_OBJECT);
}

} // namespace Kavella::Schemas::Soa::_2006_03::Base
