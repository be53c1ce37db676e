// One walk over two objects through their rows: differences() collects what
// differs, operator== stops at the first. Paths are built only when collected.

#include <algorithm>
#include <map>
#include <ostream>
#include <string_view>
#include <unordered_map>

#include "Differences.hpp"

namespace Velmora::Schemas::Mes::_2010_09::Workinstructions {

namespace detail {

namespace {

std::string joined(const std::string& path, std::string_view name)
{
    return path.empty() ? std::string(name) : path + "." + std::string(name);
}

std::string indexed(std::string_view name, std::size_t index)
{
    return std::string(name) + "[" + std::to_string(index) + "]";
}

// One side of the walk: the object, its path by array indexes, and what its message lacked.
struct Side {
    const BaseObject& object;
    std::string path;
    const std::set<std::string>* absent;

    bool lacks(std::string_view name) const { return absent && !absent->empty() && absent->count(joined(path, name)); }
};

// The key of each entry of an array whose class has a "key" attribute; empty
// when an entry's key repeats on this side or an entry is a null handle, and
// then entries pair by position.
std::map<std::string, std::size_t> uniqueKeys(const BaseObject& holder, const Member& member, const Member& key)
{
    std::map<std::string, std::size_t> keys;
    const std::size_t count = member.objects.entryCount(holder);
    for (std::size_t i = 0; i < count; ++i) {
        const BaseObject* entry = member.objects.held(holder, i);
        if (!entry || !keys.emplace(key.values.text(*entry, 0), i).second) return {};
    }
    return keys;
}

const Member* keyRowOf(const Member& member)
{
    if (member.kind != MemberKind::Children || !member.objects.nestedSchema) return nullptr;
    for (const Member& row : *member.objects.nestedSchema()) {
        if (row.kind == MemberKind::Attribute && row.valueKind == ValueKind::String && row.isNamed("key")) return &row;
    }
    return nullptr;
}

class Walk {
public:
    Walk(Sameness sameness, std::vector<Difference>* found) : m_sameness(sameness), m_found(found) {}

    // False at the first difference when nothing is collected.
    bool objects(const std::string& path, const Side& a, const Side& b, const ClassSchema& schema)
    {
        for (const Member& member : schema) {
            const bool same = member.kind == MemberKind::Attribute ? attribute(path, a, b, member)
                              : member.kind == MemberKind::Values  ? values(path, a, b, member)
                              : member.kind == MemberKind::Children ? entries(path, a, b, member)
                                                                   : single(path, a, b, member);
            if (!same) return false;
        }
        return true;
    }

private:
    bool collecting() const { return m_found != nullptr; }

    bool differ(const std::string& path, std::string before, std::string after)
    {
        if (!m_found) return false;
        m_found->push_back({path, std::move(before), std::move(after)});
        return true;
    }

    std::string name(const Member& member) const { return std::string(member.name, member.nameLength); }

    bool attribute(const std::string& path, const Side& a, const Side& b, const Member& member)
    {
        const bool lackA = collecting() && a.lacks(name(member));
        const bool lackB = collecting() && b.lacks(name(member));
        if (!lackA && !lackB) {
            if (member.values.same(a.object, 0, b.object, 0, m_sameness)) return true;
            return differ(joined(path, name(member)), shown(member.values.text(a.object, 0)),
                          shown(member.values.text(b.object, 0)));
        }
        if (lackA && lackB) return true;
        return differ(joined(path, name(member)), lackA ? std::string(noneShown) : shown(member.values.text(a.object, 0)),
                      lackB ? std::string(noneShown) : shown(member.values.text(b.object, 0)));
    }

    bool values(const std::string& path, const Side& a, const Side& b, const Member& member)
    {
        const std::size_t countA = member.values.count(a.object), countB = member.values.count(b.object);
        if (!collecting() && countA != countB) return false;
        for (std::size_t i = 0; i < std::max(countA, countB); ++i) {
            if (i < countA && i < countB && member.values.same(a.object, i, b.object, i, m_sameness)) continue;
            const bool kept = differ(joined(path, indexed(name(member), i)),
                                     i < countA ? shown(member.values.text(a.object, i)) : std::string(noneShown),
                                     i < countB ? shown(member.values.text(b.object, i)) : std::string(noneShown));
            if (!kept) return false;
        }
        return true;
    }

    // Entries i of a and j of b, under the label shown; a null handle is no
    // entry, and equals only another.
    bool pair(const std::string& path, const Side& a, std::size_t i, const Side& b, std::size_t j,
              const Member& member, const std::string& label)
    {
        const BaseObject* x = member.objects.held(a.object, i);
        const BaseObject* y = member.objects.held(b.object, j);
        if (!x || !y) return x == y || oneSided(path, label, x, y, member);
        if (!member.objects.nestedSchema) {
            if (member.runtime.equal(*x, *y)) return true;
            if (!collecting()) return false;
            runtimeDifferences(joined(path, label), *x, *y, member, *m_found);
            return true;
        }
        if (!collecting()) return objects({}, Side{*x, {}, nullptr}, Side{*y, {}, nullptr}, *member.objects.nestedSchema());
        const bool single = member.kind != MemberKind::Children;
        return objects(joined(path, label), Side{*x, joined(a.path, single ? name(member) : indexed(name(member), i)), a.absent},
                       Side{*y, joined(b.path, single ? name(member) : indexed(name(member), j)), b.absent},
                       *member.objects.nestedSchema());
    }

    bool oneSided(const std::string& path, const std::string& label, const BaseObject* before, const BaseObject* after,
                  const Member& member)
    {
        return differ(joined(path, label), before ? entrySummary(*before, member) : std::string(noneShown),
                      after ? entrySummary(*after, member) : std::string(noneShown));
    }

    bool single(const std::string& path, const Side& a, const Side& b, const Member& member)
    {
        const bool lackA = collecting() && a.lacks(name(member));
        const bool lackB = collecting() && b.lacks(name(member));
        if (!lackA && !lackB) return pair(path, a, 0, b, 0, member, name(member));
        if (lackA && lackB) return true;
        return oneSided(path, name(member), lackA ? nullptr : member.objects.held(a.object, 0),
                        lackB ? nullptr : member.objects.held(b.object, 0), member);
    }

    bool entries(const std::string& path, const Side& a, const Side& b, const Member& member)
    {
        const std::size_t countA = member.objects.entryCount(a.object), countB = member.objects.entryCount(b.object);
        const Member* key = keyRowOf(member);
        if (!collecting() && countA == countB) {
            // Entries mostly stand in the same order: by position while the keys agree.
            std::size_t i = 0;
            for (; i < countA; ++i) {
                const BaseObject* x = member.objects.held(a.object, i);
                const BaseObject* y = member.objects.held(b.object, i);
                if (key && x && y && !key->values.same(*x, 0, *y, 0, Sameness::Bits)) break;
                if (!pair(path, a, i, b, i, member, {})) return false;
            }
            if (i == countA) return true;
        }
        if (!collecting() && countA != countB) return false;
        const auto keysA = key ? uniqueKeys(a.object, member, *key) : std::map<std::string, std::size_t>{};
        const auto keysB = key ? uniqueKeys(b.object, member, *key) : std::map<std::string, std::size_t>{};
        const bool keyed = key && keysA.size() == countA && keysB.size() == countB;
        if (!keyed) return byPosition(path, a, b, member, countA, countB);
        if (!collecting()) {
            for (const auto& entry : keysA) {
                if (!keysB.count(entry.first)) return false;
            }
        }
        // Those of a in a's order, then those only b holds in b's order.
        std::vector<std::pair<std::string, std::size_t>> order(keysA.begin(), keysA.end());
        std::sort(order.begin(), order.end(), [](const auto& x, const auto& y) { return x.second < y.second; });
        for (const auto& [text, i] : order) {
            const std::string label = name(member) + "[key=" + text + "]";
            const auto found = keysB.find(text);
            const bool same = found != keysB.end() ? pair(path, a, i, b, found->second, member, label)
                                                   : oneSided(path, label, member.objects.held(a.object, i), nullptr, member);
            if (!same) return false;
        }
        order.assign(keysB.begin(), keysB.end());
        std::sort(order.begin(), order.end(), [](const auto& x, const auto& y) { return x.second < y.second; });
        for (const auto& [text, j] : order) {
            if (keysA.count(text)) continue;
            if (!oneSided(path, name(member) + "[key=" + text + "]", nullptr, member.objects.held(b.object, j), member)) {
                return false;
            }
        }
        return true;
    }

    bool byPosition(const std::string& path, const Side& a, const Side& b, const Member& member, std::size_t countA,
                    std::size_t countB)
    {
        for (std::size_t i = 0; i < std::max(countA, countB); ++i) {
            const std::string label = collecting() ? indexed(name(member), i) : std::string();
            const bool same = i < countA && i < countB
                                  ? pair(path, a, i, b, i, member, label)
                                  : oneSided(path, label, i < countA ? member.objects.held(a.object, i) : nullptr,
                                             i < countB ? member.objects.held(b.object, i) : nullptr, member);
            if (!same) return false;
        }
        return true;
    }

    Sameness m_sameness;
    std::vector<Difference>* m_found;
};

Sameness samenessOf(Comparison comparison)
{
    switch (comparison) {
    case Comparison::Values: return Sameness::Values;
    case Comparison::Texts: return Sameness::Texts;
    case Comparison::Bits: break;
    }
    return Sameness::Bits;
}

} // namespace

bool sameObjects(const BaseObject& a, const BaseObject& b, const ClassSchema& schema)
{
    return &a == &b || Walk(Sameness::Bits, nullptr).objects({}, Side{a, {}, nullptr}, Side{b, {}, nullptr}, schema);
}

} // namespace detail

std::ostream& operator<<(std::ostream& out, const Difference& difference)
{
    return out << (difference.path.empty() ? "(message)" : difference.path) << ": " << difference.before << " -> "
               << difference.after;
}

std::vector<Difference> differences(const BaseObject& before, const BaseObject& after, ClassView view,
                                    const CompareOptions& options)
{
    std::vector<Difference> found;
    detail::Walk(detail::samenessOf(options.comparison), &found)
        .objects({}, detail::Side{before, {}, &options.absentBefore}, detail::Side{after, {}, &options.absentAfter},
                 *detail::ViewAccess::schema(view));
    return found;
}

} // namespace Velmora::Schemas::Mes::_2010_09::Workinstructions
