#include "ClassSchema.hpp"

#include <atomic>
#include <memory>
#include <stdexcept>

#include "kvsoa/Monitor.hpp"

namespace Velmora::Schemas::Mes::_2010_09::Workinstructions::detail {

using ::Kavella::Soa::Common::Monitor;
using ::Kavella::Soa::Common::Xml::XMLAttribute;
using ::Kavella::Soa::Common::Xml::XMLAttributes;

namespace {

// Namespace collection runs before anything is written, and the outermost
// element asks for the whole tree: a cycle that a caller built through compound
// inputs would recurse until the stack ran out. Bounded per thread, by the
// writer's depth limit when a stream collects.
class NamespaceDepth {
public:
    explicit NamespaceDepth(const char* className)
    {
        const std::size_t limit = BaseObject::collectionDepthLimit();
        if (++s_depth > limit) {
            --s_depth;
            throw DomException(std::string("Collecting namespaces: the tree under ") + className +
                               " lies deeper than the limit of " + std::to_string(limit) +
                               " levels (or has a cycle)");
        }
    }
    ~NamespaceDepth() { --s_depth; }
    NamespaceDepth(const NamespaceDepth&) = delete;
    NamespaceDepth& operator=(const NamespaceDepth&) = delete;

private:
    static thread_local std::size_t s_depth;
};

thread_local std::size_t NamespaceDepth::s_depth = 0;

} // namespace

// ---- namespaces and names, worked out once per class --------------------

/// For a class reachable from the plan's class: the namespaces (bits of
/// NamespacePlan::uris) that every object of it uses, and those that only some
/// of its objects use, depending on which arrays hold entries.
struct Reach {
    std::uint64_t always = 0;
    std::uint64_t maybe = 0;
};

struct MemberPlan {
    int nested = -1; // the entries' class in NamespacePlan::classes; -1 for a runtime class
    Reach entry;     // what each entry brings
};

struct ClassPlan {
    const ClassSchema* schema;
    int ownBit;
    Reach reach;
    std::vector<MemberPlan> members; // per row of the table
};

/// The qualified names of every child row of every class in one namespace,
/// for one prefix of it. Built once per prefix, then only read.
struct NameTable {
    struct Row {
        std::string element; // prefix:name, or the bare name
        std::string open;    // values only: <prefix:name>
        std::string close;   // values only: </prefix:name>
    };
    std::string prefix;
    std::vector<std::vector<Row>> classes; // [class][row]; empty for classes of other namespaces
};

struct NamespacePlan {
    static constexpr std::size_t kTablesPerNamespace = 4;

    std::vector<std::string> uris; // in the order of std::less, as a std::set holds them
    std::vector<ClassPlan> classes; // [0]: the class the plan belongs to
    // Name tables published per namespace; further prefixes get a table per write.
    std::unique_ptr<std::atomic<const NameTable*>[]> tables;
};

namespace {

int indexOf(std::vector<ClassPlan>& classes, const ClassSchema* schema)
{
    for (std::size_t i = 0; i < classes.size(); ++i) {
        if (classes[i].schema == schema) return static_cast<int>(i);
    }
    classes.push_back({schema, -1, {}, {}});
    return static_cast<int>(classes.size() - 1);
}

int bitOf(const std::vector<std::string>& uris, const char* uri)
{
    for (std::size_t i = 0; i < uris.size(); ++i) {
        if (uris[i] == uri) return static_cast<int>(i);
    }
    throw std::logic_error("namespace missing from its plan");
}

std::unique_ptr<NameTable> buildNames(const NamespacePlan& plan, int bit, const std::string& prefix)
{
    auto table = std::make_unique<NameTable>();
    table->prefix = prefix;
    table->classes.resize(plan.classes.size());
    for (std::size_t c = 0; c < plan.classes.size(); ++c) {
        if (plan.classes[c].ownBit != bit) continue;
        for (const Member& member : *plan.classes[c].schema) {
            NameTable::Row row;
            if (member.isChild()) {
                if (member.kind != MemberKind::BareChild) row.element.append(prefix).append(1, ':');
                row.element.append(member.name, member.nameLength);
            }
            if (member.kind == MemberKind::Values) {
                row.open = "<" + row.element + ">";
                row.close = "</" + row.element + ">";
            }
            table->classes[c].push_back(std::move(row));
        }
    }
    return table;
}

} // namespace

const NamespacePlan& buildNamespacePlan(const ClassSchema& root)
{
    // Never freed: name tables are handed out to every thread for the process's life.
    auto* plan = new NamespacePlan;
    std::vector<ClassPlan>& classes = plan->classes;
    classes.push_back({&root, -1, {}, {}});
    std::set<std::string> uris;
    for (std::size_t c = 0; c < classes.size(); ++c) {
        uris.insert(classes[c].schema->namespaceUri);
        for (const Member& member : *classes[c].schema) {
            if (member.nestedSchema) indexOf(classes, member.nestedSchema());
            if (member.foreignNamespace) uris.insert(member.foreignNamespace);
        }
    }
    if (uris.size() > 64) throw std::logic_error("more namespaces than a plan counts");
    plan->uris.assign(uris.begin(), uris.end());

    // Every class is known by now: indexOf only finds from here on.
    for (std::size_t c = 0; c < classes.size(); ++c) {
        classes[c].ownBit = bitOf(plan->uris, classes[c].schema->namespaceUri);
        for (const Member& member : *classes[c].schema) {
            MemberPlan row;
            if (member.nestedSchema) row.nested = indexOf(classes, member.nestedSchema());
            if (member.foreignNamespace) {
                row.entry.always = std::uint64_t{1} << bitOf(plan->uris, member.foreignNamespace);
            }
            classes[c].members.push_back(row);
        }
    }
    // What every object uses follows single children; what some use follows
    // arrays too. Both grow to a fixed point, since classes may hold each other.
    std::vector<std::uint64_t> always(classes.size()), reachable(classes.size());
    for (bool changed = true; changed;) {
        changed = false;
        for (std::size_t c = 0; c < classes.size(); ++c) {
            std::uint64_t sure = std::uint64_t{1} << classes[c].ownBit;
            std::uint64_t any = sure;
            for (std::size_t m = 0; m < classes[c].members.size(); ++m) {
                const MemberPlan& row = classes[c].members[m];
                const MemberKind kind = classes[c].schema->members[m].kind;
                const std::uint64_t entrySure = row.nested < 0 ? row.entry.always : always[row.nested];
                const std::uint64_t entryAny = row.nested < 0 ? row.entry.always : reachable[row.nested];
                if (kind == MemberKind::Child || kind == MemberKind::BareChild) sure |= entrySure;
                any |= entryAny;
            }
            changed = changed || sure != always[c] || any != reachable[c];
            always[c] = sure;
            reachable[c] = any;
        }
    }
    for (std::size_t c = 0; c < classes.size(); ++c) classes[c].reach = {always[c], reachable[c] & ~always[c]};
    for (ClassPlan& owner : classes) {
        for (MemberPlan& row : owner.members) {
            if (row.nested >= 0) row.entry = classes[static_cast<std::size_t>(row.nested)].reach;
        }
    }
    const std::size_t slots = plan->uris.size() * NamespacePlan::kTablesPerNamespace;
    plan->tables.reset(new std::atomic<const NameTable*>[slots]);
    for (std::size_t i = 0; i < slots; ++i) plan->tables[i].store(nullptr, std::memory_order_relaxed);
    return *plan;
}

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
        const bool traced = Monitor::isActive();
        if (traced) Monitor::markStart(schema.outputTrace);
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
        if (traced) Monitor::markEnd(schema.outputTrace);
    }

private:
    void writeContent(const BaseObject& object, int classIndex, const ClassPlan& plan)
    {
        const ClassSchema& schema = *plan.schema;
        for (const Member& member : schema) {
            if (!member.isChild()) member.write(object, m_stream, {{member.name, member.nameLength}, nullptr, {}, {}});
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
                member.write(object, m_stream, {name.element, &name.element, name.open, name.close});
                continue;
            }
            const int nested = plan.members[m].nested;
            const std::size_t count = member.entryCount(object);
            for (std::size_t i = 0; i < count; ++i) {
                const BaseObject& entry = member.entry(object, i);
                if (nested >= 0) {
                    write(entry, nested, name.element);
                } else {
                    member.writeForeign(entry, m_stream, name.element);
                }
            }
        }
    }

    const NameTable& namesOf(int bit, const std::string& uri)
    {
        const NameTable*& known = m_names[bit];
        if (known) return *known;
        const std::string prefix = m_stream.getNamespacePrefix(uri);
        std::atomic<const NameTable*>* slots = &m_plan.tables[static_cast<std::size_t>(bit) * NamespacePlan::kTablesPerNamespace];
        for (std::size_t i = 0; i < NamespacePlan::kTablesPerNamespace; ++i) {
            const NameTable* table = slots[i].load(std::memory_order_acquire);
            if (!table) {
                std::unique_ptr<NameTable> built = buildNames(m_plan, bit, prefix);
                if (slots[i].compare_exchange_strong(table, built.get(), std::memory_order_acq_rel)) {
                    known = built.release();
                    return *known;
                }
                // Another thread filled the slot first: table is now its.
            }
            if (table->prefix == prefix) return *(known = table);
        }
        // Every slot taken by other prefixes: this write builds its own.
        m_ownNames = buildNames(m_plan, bit, prefix);
        return *(known = m_ownNames.get());
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
            const std::size_t count = member.entryCount(object);
            if (count == 0) continue;
            found |= row.entry.always;
            for (std::size_t i = 0; i < count && (row.entry.maybe & wanted & ~found); ++i) {
                search(member.entry(object, i), m_plan.classes[static_cast<std::size_t>(row.nested)], wanted, found,
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

void readAttributes(BaseObject& object, const XMLAttributes& attributes, const ClassSchema& schema)
{
    for (const Member& member : schema) {
        if (member.isChild()) continue;
        std::string_view text;
        for (const XMLAttribute& attribute : attributes) {
            if (attribute.uri.empty() && attribute.name == std::string_view(member.name, member.nameLength)) {
                text = attribute.value;
                break;
            }
        }
        member.readText(object, text);
    }
}

const Member* findChild(const ClassSchema& schema, std::string_view name, const Member* last)
{
    if (last && last->isNamed(name)) return last;
    for (const Member& member : schema) {
        if (member.isChild() && member.isNamed(name)) return &member;
    }
    return nullptr;
}

void parseObject(BaseObject& object, const XMLNode& node, const ClassSchema& schema)
{
    // Markers follow the listener installed when parse runs.
    if (node.traceSuppression == 0 && Monitor::isActive()) Monitor::markStart(schema.parseTrace);
    try {
        readAttributes(object, node.attributes(), schema);
    } catch (DomException& error) {
        error.locate(node.line, node.column);
        throw;
    }
    if (schema.hasChildren) {
        const std::size_t count = node.children.size();
        for (const Member& member : schema) {
            if (member.reserve) member.reserve(object, count);
        }
        const Member* match = nullptr;
        for (const XMLNode* child : node.children) {
            match = findChild(schema, child->name, match);
            if (!match) ::Kavella::Soa::Common::Xml::throwUnexpectedNode(*child);
            if (match->readNode) {
                match->readNode(object, *child);
                continue;
            }
            try {
                match->readText(object, child->text);
            } catch (DomException& error) {
                error.locate(child->line, child->column);
                throw;
            }
        }
    }
    if (node.traceSuppression == 0 && Monitor::isActive()) Monitor::markEnd(schema.parseTrace);
}

void collectNamespaces(const BaseObject& object, std::set<std::string>& namespaces, const ClassSchema& schema)
{
    const NamespaceDepth depth(schema.allocationTag);
    namespaces.insert(object.namespaceUri());
    for (const Member& member : schema) {
        if (!member.holdsObjects()) continue;
        const std::size_t count = member.entryCount(object);
        for (std::size_t i = 0; i < count; ++i) member.entry(object, i).getNamespaces(namespaces);
    }
}

} // namespace Velmora::Schemas::Mes::_2010_09::Workinstructions::detail
