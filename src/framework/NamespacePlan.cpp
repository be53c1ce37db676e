#include "NamespacePlan.hpp"

#include <set>
#include <stdexcept>

namespace Velmora::Schemas::Mes::_2010_09::Workinstructions::detail {

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
            if (member.objects.nestedSchema) indexOf(classes, member.objects.nestedSchema());
            if (member.runtime.namespaceUri) uris.insert(member.runtime.namespaceUri);
        }
    }
    if (uris.size() > 64) throw std::logic_error("more namespaces than a plan counts");
    plan->uris.assign(uris.begin(), uris.end());

    // Every class is known by now: indexOf only finds from here on.
    for (std::size_t c = 0; c < classes.size(); ++c) {
        classes[c].ownBit = bitOf(plan->uris, classes[c].schema->namespaceUri);
        for (const Member& member : *classes[c].schema) {
            MemberPlan row;
            if (member.objects.nestedSchema) row.nested = indexOf(classes, member.objects.nestedSchema());
            if (member.runtime.namespaceUri) {
                row.entry.always = std::uint64_t{1} << bitOf(plan->uris, member.runtime.namespaceUri);
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

void collectNamespaces(const BaseObject& object, std::set<std::string>& namespaces, const ClassSchema& schema)
{
    const NamespaceDepth depth(schema.allocationTag);
    namespaces.insert(object.namespaceUri());
    for (const Member& member : schema) {
        if (!member.holdsObjects()) continue;
        const std::size_t count = member.objects.entryCount(object);
        for (std::size_t i = 0; i < count; ++i) member.objects.entry(object, i).getNamespaces(namespaces);
    }
}

} // namespace Velmora::Schemas::Mes::_2010_09::Workinstructions::detail
