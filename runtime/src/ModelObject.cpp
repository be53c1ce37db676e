#include "kvsoa/ModelObject.hpp"

#include "kvsoa/Conversions.hpp"
#include "kvsoa/Monitor.hpp"
#include "kvsoa/ObjectClone.hpp"
#include "kvsoa/XMLEventReader.hpp"
#include "kvsoa/XMLNode.hpp"
#include "kvsoa/XmlStream.hpp"
#include "Attributes.hpp"

namespace Kavella::Schemas::Soa::_2006_03::Base {

using namespace ::Kavella::Soa::Common;
using namespace ::Kavella::Soa::Common::Xml;

#define MODEL_OBJECT "Kavella::Schemas::Soa::_2006_03::Base::ModelObject"

namespace {

// Interned on first use, then constructing costs nothing for it.
BaseObject::InternedNamespace baseNamespace()
{
    static const BaseObject::InternedNamespace interned = BaseObject::internNamespace(NamespaceUri);
    return interned;
}

// The element's attributes, from a node or a start tag alike.
void readUid(std::string& uid, const XMLAttributes& attributes)
{
    uid.assign(::Kavella::Soa::Common::detail::unprefixedAttribute(attributes, "uid"));
}

} // namespace

KVSOA_DEFINE_ALLOCATION_OPERATORS(ModelObject, MODEL_OBJECT)

ModelObject::ModelObject() : BaseObject(baseNamespace()) {}

ModelObject::ModelObject(const std::string& uid) : BaseObject(baseNamespace()), m_uid(uid) {}

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
    static const std::string trace = parseTrace;
    MonitorListener* const heard = node.traceSuppression == 0 ? Monitor::markStartHeard(trace) : nullptr;
    readUid(m_uid, node.attributes());
    if (heard) Monitor::markEnd(heard, trace);
}

void ModelObject::readStartTag(const XMLStartTag& tag)
{
    readUid(m_uid, tag.attributes);
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
