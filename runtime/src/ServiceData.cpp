#include "kvsoa/ServiceData.hpp"

#include "kvsoa/Conversions.hpp"
#include "kvsoa/DomException.hpp"
#include "kvsoa/Monitor.hpp"
#include "kvsoa/ObjectClone.hpp"
#include "kvsoa/XMLEventReader.hpp"
#include "kvsoa/XMLNode.hpp"
#include "kvsoa/XmlStream.hpp"
#include "Attributes.hpp"

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

enum class Child { Created, Updated, Deleted, PartialErrors, Unknown };

// The one place that knows the children's names.
Child childNamed(std::string_view localName) noexcept
{
    if (localName == "created") return Child::Created;
    if (localName == "updated") return Child::Updated;
    if (localName == "deleted") return Child::Deleted;
    if (localName == "partialErrors") return Child::PartialErrors;
    return Child::Unknown;
}

/// Room for count more entries when the vector is empty: then the count is
/// the exact size. One read into a filled vector grows it as appending does.
template <typename T>
void reserveEmpty(std::vector<T>& entries, std::size_t count)
{
    if (entries.empty()) entries.reserve(count);
}

std::string readText(const XMLAttributes& attributes, std::string_view name)
{
    return std::string(::Kavella::Soa::Common::detail::unprefixedAttribute(attributes, name));
}

int readInt(const XMLAttributes& attributes, std::string_view name)
{
    return lexical_cast<int>(::Kavella::Soa::Common::detail::unprefixedAttribute(attributes, name));
}

// Interned on first use, then constructing costs nothing for it.
BaseObject::InternedNamespace baseNamespace()
{
    static const BaseObject::InternedNamespace interned = BaseObject::internNamespace(NamespaceUri);
    return interned;
}

} // namespace

KVSOA_DEFINE_ALLOCATION_OPERATORS(ServiceData, SERVICE_DATA)

ServiceData::ServiceData() : BaseObject(baseNamespace()) {}

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
    static const std::string trace = parseTrace;
    MonitorListener* const heard = node.traceSuppression == 0 ? Monitor::markStartHeard(trace) : nullptr;
    // Names first: an unknown child is refused before any value is judged, as
    // a reader that refuses it when it starts does.
    std::size_t counts[static_cast<int>(Child::Unknown)] = {};
    for (const XMLNode* child : node.children) {
        const Child kind = childNamed(child->name);
        if (kind == Child::Unknown) throwUnexpectedNode(*child);
        ++counts[static_cast<int>(kind)];
    }
    reserveEmpty(m_created, counts[static_cast<int>(Child::Created)]);
    reserveEmpty(m_updated, counts[static_cast<int>(Child::Updated)]);
    reserveEmpty(m_deleted, counts[static_cast<int>(Child::Deleted)]);
    reserveEmpty(m_partialErrors, counts[static_cast<int>(Child::PartialErrors)]);
    for (const XMLNode* child : node.children) {
        try {
            readChildElement(child->name, child->attributes());
        } catch (DomException& error) {
            error.locate(child->line, child->column);
            throw;
        }
    }
    if (heard) Monitor::markEnd(heard, trace);
}

void ServiceData::readChild(const XMLStartTag& child)
{
    readChildElement(child.name, child.attributes);
}

void ServiceData::readChildElement(std::string_view name, const XMLAttributes& attributes)
{
    switch (childNamed(name)) {
    case Child::Created:
        m_created.emplace_back(::Kavella::Soa::Common::detail::unprefixedAttribute(attributes, "uid"));
        break;
    case Child::Updated:
        m_updated.emplace_back(::Kavella::Soa::Common::detail::unprefixedAttribute(attributes, "uid"));
        break;
    case Child::Deleted:
        m_deleted.emplace_back(::Kavella::Soa::Common::detail::unprefixedAttribute(attributes, "uid"));
        break;
    case Child::PartialErrors: {
        PartialError error;
        error.uid = readText(attributes, "uid");
        error.code = readInt(attributes, "code");
        error.level = readInt(attributes, "level");
        error.message = readText(attributes, "message");
        m_partialErrors.push_back(std::move(error));
        break;
    }
    case Child::Unknown:
        throwUnexpectedNode(name, 0, 0);
    }
}

bool ServiceData::readsChild(std::string_view localName) noexcept
{
    return childNamed(localName) != Child::Unknown;
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
