#pragma once

// What a class's objects need declared and named, worked out once per class
// from the member rows: the namespaces each class reaches (always, or only
// through arrays that hold entries) and, per prefix, the qualified names of
// every child row.

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "ClassSchema.hpp"

namespace Velmora::Schemas::Mes::_2010_09::Workinstructions::detail {

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

/// The name table of the namespace bit under prefix: one the plan publishes
/// for every thread, or, when all of the namespace's slots hold other
/// prefixes, one built into own for the caller alone.
const NameTable& nameTableFor(const NamespacePlan& plan, int bit, const std::string& prefix,
                              std::unique_ptr<NameTable>& own);

} // namespace Velmora::Schemas::Mes::_2010_09::Workinstructions::detail
