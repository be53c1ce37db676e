#include <memory>

#include "NamespacePlan.hpp"

namespace Velmora::Schemas::Mes::_2010_09::Workinstructions::detail {

namespace {

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

const NameTable& nameTableFor(const NamespacePlan& plan, int bit, const std::string& prefix,
                              std::unique_ptr<NameTable>& own)
{
    std::atomic<const NameTable*>* slots = &plan.tables[static_cast<std::size_t>(bit) * NamespacePlan::kTablesPerNamespace];
    for (std::size_t i = 0; i < NamespacePlan::kTablesPerNamespace; ++i) {
        const NameTable* table = slots[i].load(std::memory_order_acquire);
        if (!table) {
            std::unique_ptr<NameTable> built = buildNames(plan, bit, prefix);
            if (slots[i].compare_exchange_strong(table, built.get(), std::memory_order_acq_rel)) return *built.release();
            // Another thread filled the slot first: table is now its.
        }
        if (table->prefix == prefix) return *table;
    }
    own = buildNames(plan, bit, prefix);
    return *own;
}

} // namespace Velmora::Schemas::Mes::_2010_09::Workinstructions::detail
