#include <memory>

#include "NamespacePlan.hpp"
#include "kvsoa/Monitor.hpp"

namespace Velmora::Schemas::Mes::_2010_09::Workinstructions::detail {

using ::Kavella::Soa::Common::Monitor;
using ::Kavella::Soa::Common::MonitorListener;

namespace {

/// One write, from the element a caller asked for down: the namespace
/// declarations of an outermost element from the plan, and the names of
/// nested elements from the tables of the prefixes in force.
class ObjectWriter {
public:
    ObjectWriter(XmlStream& stream, const NamespacePlan& plan) : m_stream(stream), m_plan(plan) {}

    void write(const BaseObject& object, int classIndex, const std::string& elementName)
    {
        const ClassPlan& plan = m_plan.classes[static_cast<std::size_t>(classIndex)];
        const ClassSchema& schema = *plan.schema;
        // The end goes only to the listener that heard the start, as the reader's do.
        MonitorListener* const heard = Monitor::isActive() ? Monitor::markStartHeard(schema.outputTrace) : nullptr;
        if (m_stream.depth() == 0) declareNamespaces(object, plan, elementName);
        m_stream.beginElement(elementName, {});
        try {
            writeContent(object, classIndex, plan);
            if (schema.hasChildren) m_stream.appendEndTag(elementName);
        } catch (...) {
            // The element is cut short: neither the stream nor its target may pass for whole.
            m_stream.abandon();
            throw;
        }
        if (heard) Monitor::markEnd(heard, schema.outputTrace);
    }

private:
    void writeContent(const BaseObject& object, int classIndex, const ClassPlan& plan)
    {
        const ClassSchema& schema = *plan.schema;
        for (const Member& member : schema) {
            if (!member.isChild()) member.values.write(object, m_stream, {{member.name, member.nameLength}, nullptr, {}, {}});
        }
        m_stream.appendStartTagEnd(!schema.hasChildren);
        if (!schema.hasChildren) return;
        // Asked for even when no child follows: an undeclared namespace is refused here.
        const std::vector<NameTable::Row>& names =
            namesOf(plan.ownBit, object.namespaceUri()).classes[static_cast<std::size_t>(classIndex)];
        for (std::size_t m = 0; m < schema.memberCount; ++m) {
            const Member& member = schema.members[m];
            if (!member.isChild()) continue;
            const NameTable::Row& name = names[m];
            if (!member.holdsObjects()) {
                member.values.write(object, m_stream, {name.element, &name.element, name.open, name.close});
                continue;
            }
            const int nested = plan.members[m].nested;
            const std::size_t count = member.objects.entryCount(object);
            for (std::size_t i = 0; i < count; ++i) {
                const BaseObject& entry = member.objects.entry(object, i);
                if (nested >= 0) {
                    write(entry, nested, name.element);
                } else {
                    member.runtime.write(entry, m_stream, name.element);
                }
            }
        }
    }

    const NameTable& namesOf(int bit, const std::string& uri)
    {
        const NameTable*& known = m_names[bit];
        if (!known) known = &nameTableFor(m_plan, bit, m_stream.getNamespacePrefix(uri), m_ownNames);
        return *known;
    }

    /// The outermost element declares its own namespace, then every other the
    /// tree uses in the order of their texts, as a std::set of them would hold them.
    void declareNamespaces(const BaseObject& object, const ClassPlan& plan, const std::string& elementName)
    {
        std::uint64_t found = plan.reach.always;
        if (plan.reach.maybe) search(object, plan, plan.reach.maybe, found, 1);
        // Numbered in this order by the stream, as it would number them from the list.
        m_stream.requireDepthFor(elementName);
        m_stream.getNamespacePrefix(object.namespaceUri());
        for (std::size_t bit = 0; bit < m_plan.uris.size(); ++bit) {
            if ((found >> bit & 1) && m_plan.uris[bit] != object.namespaceUri()) m_stream.getNamespacePrefix(m_plan.uris[bit]);
        }
    }

    /// Adds to found the namespaces among wanted that object's tree uses,
    /// looking only where they may be and stopping once all are found.
    void search(const BaseObject& object, const ClassPlan& plan, std::uint64_t wanted, std::uint64_t& found,
                std::size_t depth)
    {
        if (depth > m_stream.maxDepth()) {
            throw DomException(std::string("Collecting namespaces: the tree under ") + plan.schema->allocationTag +
                               " lies deeper than the limit of " + std::to_string(m_stream.maxDepth()) +
                               " levels (or has a cycle)");
        }
        for (std::size_t m = 0; m < plan.schema->memberCount; ++m) {
            const Member& member = plan.schema->members[m];
            const MemberPlan& row = plan.members[m];
            if (!member.holdsObjects() || !((row.entry.always | row.entry.maybe) & wanted & ~found)) continue;
            const std::size_t count = member.objects.entryCount(object);
            if (count == 0) continue;
            found |= row.entry.always;
            for (std::size_t i = 0; i < count && (row.entry.maybe & wanted & ~found); ++i) {
                search(member.objects.entry(object, i), m_plan.classes[static_cast<std::size_t>(row.nested)], wanted, found,
                       depth + 1);
            }
            if (!(wanted & ~found)) return;
        }
    }

    XmlStream& m_stream;
    const NamespacePlan& m_plan;
    const NameTable* m_names[64] = {};
    std::unique_ptr<NameTable> m_ownNames;
};

} // namespace

void writeObject(const BaseObject& object, XmlStream& stream, const std::string& elementName, const ClassSchema& schema)
{
    ObjectWriter(stream, schema.namespacePlan()).write(object, 0, elementName);
}

} // namespace Velmora::Schemas::Mes::_2010_09::Workinstructions::detail
