#include "Diff.hpp"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <set>
#include <string_view>
#include <type_traits>
#include <unordered_map>
#include <utility>

#include "ClassRegistry.hpp"
#include "kvsoa/Conversions.hpp"
#include "kvsoa/DateTime.hpp"
#include "kvsoa/DomException.hpp"
#include "kvsoa/ServiceData.hpp"

namespace wixml {

using ::Kavella::Schemas::Soa::_2006_03::Base::PartialError;
using ::Kavella::Soa::Common::DateTime;
using ::Kavella::Soa::Common::lexical_cast;
using ::Kavella::Soa::Common::Xml::DomException;
using ::Kavella::Soa::Common::Xml::XMLAttribute;
using ::Kavella::Soa::Common::Xml::XMLNode;

namespace {

constexpr std::string_view none = "(none)";

// ---- what a value is, and when two are the same -----------------------------

enum class ValueType { Text, Double, Float, Int, Bool, Date };

template <typename T>
constexpr ValueType valueType()
{
    if constexpr (std::is_same_v<T, double>) {
        return ValueType::Double;
    } else if constexpr (std::is_same_v<T, float>) {
        return ValueType::Float;
    } else if constexpr (std::is_same_v<T, int>) {
        return ValueType::Int;
    } else if constexpr (std::is_same_v<T, bool>) {
        return ValueType::Bool;
    } else {
        static_assert(std::is_same_v<T, DateTime>, "a typed member holds a number, a flag or a DateTime");
        return ValueType::Date;
    }
}
template <typename Map>
constexpr ValueType singleValue()
{
    return valueType<std::decay_t<decltype(std::declval<const Map&>().getValue())>>();
}
template <typename Map>
constexpr ValueType arrayValue()
{
    return valueType<typename std::decay_t<decltype(std::declval<const Map&>().getValueArray())>::value_type>();
}

struct TypedMember {
    std::string_view className;
    std::string_view elementName; // the element that holds an object of the class
    std::string_view member;      // an attribute, or child elements of one value each
    ValueType type;
};

// The diff sees the canonical trees, not the objects, so it tells a member by
// where it stands. Only the property maps and the partial errors hold values
// that are not texts, and each of them is held under one element name only (a
// member of CreateInput or ServiceData): below the root, an element's name
// tells its class. The root's class is known, whatever its element is called.
// The types are taken from the classes themselves, so they cannot drift.
constexpr TypedMember typedMembers[] = {
    {"DoubleMap", "doubleProps", "value", singleValue<wi::DoubleMap>()},
    {"DoubleVectorMap", "doubleArrayProps", "value", arrayValue<wi::DoubleVectorMap>()},
    {"FloatMap", "floatProps", "value", singleValue<wi::FloatMap>()},
    {"FloatVectorMap", "floatArrayProps", "value", arrayValue<wi::FloatVectorMap>()},
    {"IntMap", "intProps", "value", singleValue<wi::IntMap>()},
    {"IntVectorMap", "intArrayProps", "value", arrayValue<wi::IntVectorMap>()},
    {"BoolMap", "boolProps", "value", singleValue<wi::BoolMap>()},
    {"BoolVectorMap", "boolArrayProps", "value", arrayValue<wi::BoolVectorMap>()},
    {"DateMap", "dateProps", "value", singleValue<wi::DateMap>()},
    {"DateVectorMap", "dateArrayProps", "value", arrayValue<wi::DateVectorMap>()},
    {"PartialError", "partialErrors", "code", valueType<decltype(PartialError::code)>()},
    {"PartialError", "partialErrors", "level", valueType<decltype(PartialError::level)>()},
};

// An element, as far as the types of its members go.
struct Owner {
    std::string_view name; // the class name of the root, the element name below it
    bool isRoot;
};

ValueType memberType(const Owner& owner, std::string_view member)
{
    for (const TypedMember& row : typedMembers) {
        if ((owner.isRoot ? row.className : row.elementName) == owner.name && row.member == member) return row.type;
    }
    return ValueType::Text;
}

template <typename Number>
bool sameNumber(std::string_view a, std::string_view b)
{
    const Number x = lexical_cast<Number>(a);
    const Number y = lexical_cast<Number>(b);
    // -0 equals 0 as IEEE compares; NaN is one value, as in the schema.
    return x == y || (std::isnan(x) && std::isnan(y));
}

// Seconds and nanoseconds from a fixed day on the runtime's calendar (years as
// written, leap years by the Gregorian rule), the time zone taken off; 24:00:00
// is the next day's 00:00:00.
std::pair<std::int64_t, int> instant(const DateTime& time)
{
    const int month = time.month();
    const std::int64_t year = time.year() - (month <= 2 ? 1 : 0); // years from March, so February ends them
    const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
    const std::int64_t yearOfEra = year - era * 400;
    const std::int64_t dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + time.day() - 1;
    const std::int64_t days = era * 146097 + yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    std::int64_t seconds = days * 86400 + time.hour() * 3600 + time.minute() * 60 + time.second();
    if (time.hasTimeZone()) seconds -= std::int64_t{time.timeZoneOffsetMinutes()} * 60;
    return {seconds, time.nanosecond()};
}

bool sameDateTime(std::string_view a, std::string_view b)
{
    const DateTime x = lexical_cast<DateTime>(a);
    const DateTime y = lexical_cast<DateTime>(b);
    // A local time is no instant: it can only equal another local time.
    return x.hasTimeZone() == y.hasTimeZone() && instant(x) == instant(y);
}

bool sameValue(ValueType type, std::string_view a, std::string_view b)
{
    if (a == b) return true;
    try {
        switch (type) {
        case ValueType::Text: return false;
        case ValueType::Double: return sameNumber<double>(a, b);
        case ValueType::Float: return sameNumber<float>(a, b);
        case ValueType::Int: return lexical_cast<int>(a) == lexical_cast<int>(b);
        case ValueType::Bool: return lexical_cast<bool>(a) == lexical_cast<bool>(b);
        case ValueType::Date: return sameDateTime(a, b);
        }
    } catch (const DomException&) {
        // The writer made both texts, so both read; were one not to, the texts differ.
    }
    return false;
}

// An attribute (by name) or an element (with no name) of the canonical tree
// that the message it was written from lacked.
using Lacking = std::set<std::pair<const XMLNode*, std::string>>;

struct Differences {
    Comparison comparison;
    std::vector<std::string> lines;
    Lacking lacking; // of both sides: their nodes are apart

    bool lacks(const XMLNode& node, std::string_view attribute = {}) const
    {
        return lacking.count({&node, std::string(attribute)}) != 0;
    }

    bool same(ValueType type, std::string_view a, std::string_view b) const
    {
        return comparison == Comparison::Texts ? a == b : sameValue(type, a, b);
    }
};

// ---- paths and lines -----------------------------------------------------------

// The members that hold one object; every other child element is an array entry.
bool isSingle(const XMLNode& parent, const std::string& childName)
{
    static const std::string_view singles[] = {"targetContext", "targetObject", "objectData", "stxObjectData",
                                               "ServiceData"};
    if (std::find(std::begin(singles), std::end(singles), childName) != std::end(singles)) return true;
    return childName == "value" && parent.name == "tagProps";
}

// Plain words stay as they are; anything a reader could misjudge is quoted.
std::string shown(std::string_view text)
{
    const bool plain = !text.empty() && std::none_of(text.begin(), text.end(), [](char c) {
        return static_cast<unsigned char>(c) <= ' ' || c == '"' || c == '\\';
    }) && text != none && text.find("->") == std::string_view::npos;
    if (plain) return std::string(text);
    std::string quoted = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\') {
            quoted += '\\';
            quoted += c;
        } else if (c == '\n') {
            quoted += "\\n";
        } else if (c == '\t') {
            quoted += "\\t";
        } else if (c == '\r') {
            quoted += "\\r";
        } else {
            quoted += c;
        }
    }
    return quoted + '"';
}

// The one place that prints an attribute's name: "{uri}local" when namespaced.
std::string attributeName(const XMLAttribute& attribute)
{
    return attribute.qualifiedName();
}

// An entry that one side lacks, in a line: its text, or its start tag.
std::string summary(const XMLNode& node)
{
    if (node.children.empty() && node.attributes().empty()) return shown(node.text);
    std::string text = "<" + node.name;
    for (const XMLAttribute& attribute : node.attributes()) {
        text += " " + attributeName(attribute) + "=\"" + std::string(attribute.value) + "\"";
    }
    return text + (node.children.empty() ? "/>" : " ...>");
}

std::string joined(const std::string& path, std::string_view name)
{
    return path.empty() ? std::string(name) : path + "." + std::string(name);
}

std::vector<const XMLNode*> childrenNamed(const XMLNode& parent, const std::string& name)
{
    std::vector<const XMLNode*> found;
    for (const XMLNode* child : parent.children) {
        if (child->name == name) found.push_back(child);
    }
    return found;
}

// How often each key occurs among entries: counted once per array, so that
// labelling every entry costs no pass over all the others.
std::unordered_map<std::string_view, std::size_t> keyCounts(const std::vector<const XMLNode*>& entries)
{
    std::unordered_map<std::string_view, std::size_t> counts;
    for (const XMLNode* entry : entries) {
        if (const XMLAttribute* attribute = entry->findAttribute("key")) ++counts[attribute->value];
    }
    return counts;
}

bool keyIsUnique(const std::unordered_map<std::string_view, std::size_t>& counts, std::string_view key)
{
    const auto found = counts.find(key);
    return found != counts.end() && found->second == 1;
}

struct Entries {
    std::vector<const XMLNode*> nodes;
    std::unordered_map<std::string_view, std::size_t> keys;
};

// "[key=K]" when both sides hold that key here and nowhere else, "[i]" otherwise.
std::string entryLabel(const Entries& before, const Entries& after, std::size_t index)
{
    if (index < before.nodes.size() && index < after.nodes.size()) {
        const XMLAttribute* keyBefore = before.nodes[index]->findAttribute("key");
        const XMLAttribute* keyAfter = after.nodes[index]->findAttribute("key");
        if (keyBefore && keyAfter && keyBefore->value == keyAfter->value && keyIsUnique(before.keys, keyBefore->value) &&
            keyIsUnique(after.keys, keyAfter->value)) {
            return "[key=" + std::string(keyBefore->value) + "]";
        }
    }
    return "[" + std::to_string(index) + "]";
}

void report(Differences& found, const std::string& path, const std::string& before, const std::string& after)
{
    found.lines.push_back((path.empty() ? "(message)" : path) + ": " + before + " -> " + after);
}

// textType: what the elements' own text holds.
void compare(const std::string& path, const XMLNode& before, const XMLNode& after, const Owner& owner,
             ValueType textType, Differences& found)
{
    for (const XMLAttribute& attribute : before.attributes()) {
        const XMLAttribute* other = after.findAttribute(attribute.qualifiedName());
        const bool here = !found.lacks(before, attribute.name);
        const bool there = other && !found.lacks(after, other->name);
        const std::string attributePath = joined(path, attributeName(attribute));
        if (here && there) {
            if (!found.same(memberType(owner, attribute.name), attribute.value, other->value)) {
                report(found, attributePath, shown(attribute.value), shown(other->value));
            }
        } else if (here || there) {
            report(found, attributePath, here ? shown(attribute.value) : std::string(none),
                   there ? shown(other->value) : std::string(none));
        }
    }
    for (const XMLAttribute& attribute : after.attributes()) {
        if (!before.findAttribute(attribute.qualifiedName()) && !found.lacks(after, attribute.name)) {
            report(found, joined(path, attributeName(attribute)), std::string(none), shown(attribute.value));
        }
    }
    if (!found.same(textType, before.text, after.text)) report(found, path, shown(before.text), shown(after.text));

    // Child names in order of first appearance, those of the first side first.
    std::vector<std::string> names;
    for (const XMLNode* side : {&before, &after}) {
        for (const XMLNode* child : side->children) {
            if (std::find(names.begin(), names.end(), child->name) == names.end()) names.push_back(child->name.str());
        }
    }
    for (const std::string& name : names) {
        Entries beforeEntries{childrenNamed(before, name), {}};
        Entries afterEntries{childrenNamed(after, name), {}};
        beforeEntries.keys = keyCounts(beforeEntries.nodes);
        afterEntries.keys = keyCounts(afterEntries.nodes);
        const std::vector<const XMLNode*>& entriesBefore = beforeEntries.nodes;
        const std::vector<const XMLNode*>& entriesAfter = afterEntries.nodes;
        const bool single = isSingle(before, name) && entriesBefore.size() <= 1 &&
                            entriesAfter.size() <= 1;
        const Owner child{name, false};
        const ValueType childTextType = memberType(owner, name);
        const std::size_t count = std::max(entriesBefore.size(), entriesAfter.size());
        for (std::size_t i = 0; i < count; ++i) {
            const std::string entryPath =
                joined(path, single ? name : name + entryLabel(beforeEntries, afterEntries, i));
            const bool here = i < entriesBefore.size() && !found.lacks(*entriesBefore[i]);
            const bool there = i < entriesAfter.size() && !found.lacks(*entriesAfter[i]);
            if (!here || !there) {
                if (here || there) {
                    report(found, entryPath, here ? summary(*entriesBefore[i]) : std::string(none),
                           there ? summary(*entriesAfter[i]) : std::string(none));
                }
            } else {
                compare(entryPath, *entriesBefore[i], *entriesAfter[i], child, childTextType, found);
            }
        }
    }
}

} // namespace

namespace {

// Each missing member's place in the tree written from its message: the tree
// holds every child of one name in the message's order, so a path leads to it.
void markLacking(const XMLNode& root, const std::vector<MissingMember>& missing, Lacking& lacking)
{
    for (const MissingMember& member : missing) {
        const XMLNode* node = &root;
        for (const auto& [name, index] : member.path) {
            const std::vector<const XMLNode*> entries = childrenNamed(*node, name);
            node = index < entries.size() ? entries[index] : nullptr;
            if (!node) break;
        }
        if (!node) continue;
        if (member.attribute) {
            lacking.emplace(node, member.member);
        } else {
            for (const XMLNode* entry : childrenNamed(*node, member.member)) lacking.emplace(entry, std::string());
        }
    }
}

} // namespace

std::vector<std::string> treeDifferences(const XMLNode& before, const XMLNode& after, std::string_view rootClass,
                                         Comparison comparison, const std::vector<MissingMember>& missingBefore,
                                         const std::vector<MissingMember>& missingAfter)
{
    Differences found{comparison, {}, {}};
    markLacking(before, missingBefore, found.lacking);
    markLacking(after, missingAfter, found.lacking);
    if (before.name != after.name || before.uri != after.uri) {
        report(found, "(message)", shown(before.name), shown(after.name));
        return found.lines;
    }
    compare("", before, after, Owner{rootClass, true}, ValueType::Text, found);
    return found.lines;
}

} // namespace wixml
