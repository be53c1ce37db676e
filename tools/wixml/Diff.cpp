#include "Diff.hpp"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string_view>
#include <type_traits>
#include <utility>

#include "ClassRegistry.hpp"
#include "kvsoa/Conversions.hpp"
#include "kvsoa/DateTime.hpp"
#include "kvsoa/DomException.hpp"
#include "kvsoa/ModelObject.hpp"
#include "kvsoa/ServiceData.hpp"
#include "kvsoa/XMLDocument.hpp"

namespace wixml {

using ::Kavella::Schemas::Soa::_2006_03::Base::ModelObject;
using ::Kavella::Schemas::Soa::_2006_03::Base::PartialError;
using ::Kavella::Schemas::Soa::_2006_03::Base::ServiceData;
using ::Kavella::Soa::Common::DateTime;
using ::Kavella::Soa::Common::lexical_cast;
using ::Kavella::Soa::Common::Xml::DomException;
using ::Kavella::Soa::Common::Xml::XMLAttribute;
using ::Kavella::Soa::Common::Xml::XMLDocument;
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
// The runtime's classes have no rows to say what their members hold: of
// theirs, only a partial error's code and level are not texts.
struct TypedMember {
    std::string_view member;
    ValueType type;
};
constexpr TypedMember partialErrorMembers[] = {
    {"code", valueType<decltype(PartialError::code)>()},
    {"level", valueType<decltype(PartialError::level)>()},
};

ValueType foreignType(std::string_view element, std::string_view member)
{
    if (element != "partialErrors") return ValueType::Text;
    for (const TypedMember& row : partialErrorMembers) {
        if (row.member == member) return row.type;
    }
    return ValueType::Text;
}

// What a row holds, by the type name it shows.
ValueType rowType(const wi::MemberView& member)
{
    const std::string_view type = member.typeName();
    if (type == "double") return ValueType::Double;
    if (type == "float") return ValueType::Float;
    if (type == "int") return ValueType::Int;
    if (type == "bool") return ValueType::Bool;
    if (type == "DateTime") return ValueType::Date;
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


// ---- paths and lines -----------------------------------------------------------

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

std::string joined(const std::string& path, std::string_view name)
{
    return path.empty() ? std::string(name) : path + "." + std::string(name);
}


// What a message lacked, each by the element that lacked it and the member:
// "savedObjects#1/objectData#0/@uid" for an attribute, ".../objectData" for an
// element, the element's path being each step's name and place among the
// children of that name.
using Lacking = std::set<std::string>;

std::string stepKey(const std::string& parent, std::string_view name, std::size_t index)
{
    return parent + std::string(name) + "#" + std::to_string(index) + "/";
}

Lacking lackingOf(const std::vector<MissingMember>& missing)
{
    Lacking keys;
    for (const MissingMember& member : missing) {
        std::string key;
        for (const auto& [name, index] : member.path) key = stepKey(key, name, index);
        keys.insert(key + (member.attribute ? "@" : "") + member.member);
    }
    return keys;
}

// One side of a comparison: where it is, and what its message lacked.
struct Side {
    std::string key; // of the element here
    const Lacking* lacking;

    bool lacksAttribute(std::string_view name) const { return lacking->count(key + "@" + std::string(name)) != 0; }
    bool lacksElement(std::string_view name) const { return lacking->count(key + std::string(name)) != 0; }
    Side child(std::string_view name, std::size_t index) const { return {stepKey(key, name, index), lacking}; }
};

struct Differences {
    Comparison comparison;
    std::vector<std::string> lines;

    bool same(ValueType type, std::string_view a, std::string_view b) const
    {
        return comparison == Comparison::Texts ? a == b : sameValue(type, a, b);
    }
    void report(const std::string& path, const std::string& before, const std::string& after)
    {
        lines.push_back((path.empty() ? "(message)" : path) + ": " + before + " -> " + after);
    }
    // A value each side holds, or lacks (null).
    void compareValue(const std::string& path, ValueType type, const std::string* before, const std::string* after)
    {
        if (before && after) {
            if (!same(type, *before, *after)) report(path, shown(*before), shown(*after));
        } else if (before || after) {
            report(path, before ? shown(*before) : std::string(none), after ? shown(*after) : std::string(none));
        }
    }
};

// ---- the runtime's objects, as the trees they write --------------------------

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

std::vector<const XMLNode*> childrenNamed(const XMLNode& parent, const std::string& name)
{
    std::vector<const XMLNode*> found;
    for (const XMLNode* child : parent.children) {
        if (child->name == name) found.push_back(child);
    }
    return found;
}

// A ModelObject or a ServiceData, which have no rows, written as its element
// named name, and read back as a tree to compare.
struct ForeignTree {
    ForeignTree(const BaseObject& object, std::string_view type, std::string_view name)
    {
        XmlStream stream;
        if (type == "ServiceData") {
            static_cast<const ServiceData&>(object).outputXML(stream, std::string(name));
        } else {
            static_cast<const ModelObject&>(object).outputXML(stream, std::string(name));
        }
        document = std::make_unique<XMLDocument>(stream.str());
    }
    const XMLNode& root() const { return document->root(); }

    std::unique_ptr<XMLDocument> document;
};

void compareTrees(const std::string& path, const XMLNode& before, const XMLNode& after, const Side& here,
                  const Side& there, Differences& found)
{
    for (const XMLAttribute& attribute : before.attributes()) {
        const XMLAttribute* other = after.findAttribute(attribute.qualifiedName());
        const std::string a(attribute.value);
        const std::string b = other ? std::string(other->value) : std::string();
        found.compareValue(joined(path, attributeName(attribute)), foreignType(before.name, attribute.name),
                           here.lacksAttribute(attribute.name) ? nullptr : &a,
                           other && !there.lacksAttribute(other->name) ? &b : nullptr);
    }
    for (const XMLAttribute& attribute : after.attributes()) {
        const std::string b(attribute.value);
        if (!before.findAttribute(attribute.qualifiedName())) {
            found.compareValue(joined(path, attributeName(attribute)), ValueType::Text, nullptr,
                               there.lacksAttribute(attribute.name) ? nullptr : &b);
        }
    }
    if (!found.same(ValueType::Text, before.text, after.text)) found.report(path, shown(before.text), shown(after.text));
    // Child names in order of first appearance, those of the first side first.
    std::vector<std::string> names;
    for (const XMLNode* side : {&before, &after}) {
        for (const XMLNode* child : side->children) {
            if (std::find(names.begin(), names.end(), child->name) == names.end()) names.push_back(child->name.str());
        }
    }
    for (const std::string& name : names) {
        const std::vector<const XMLNode*> entriesBefore = childrenNamed(before, name);
        const std::vector<const XMLNode*> entriesAfter = childrenNamed(after, name);
        const std::size_t count = std::max(entriesBefore.size(), entriesAfter.size());
        for (std::size_t i = 0; i < count; ++i) {
            const std::string entryPath = joined(path, name + "[" + std::to_string(i) + "]");
            const bool inBefore = i < entriesBefore.size(), inAfter = i < entriesAfter.size();
            if (inBefore && inAfter) {
                compareTrees(entryPath, *entriesBefore[i], *entriesAfter[i], here.child(name, i), there.child(name, i),
                             found);
            } else {
                found.report(entryPath, inBefore ? summary(*entriesBefore[i]) : std::string(none),
                             inAfter ? summary(*entriesAfter[i]) : std::string(none));
            }
        }
    }
}

// ---- the schema's objects, through their classes' rows -----------------------

// The entry as its start tag would show it, for a line where the other side has none.
std::string summary(const BaseObject& object, const wi::MemberView& member)
{
    const wi::ClassView view = member.nestedClass();
    if (!view) return summary(ForeignTree(object, member.typeName(), member.name()).root());
    std::string text = "<" + std::string(member.name());
    bool holds = false;
    for (const wi::MemberView row : view) {
        if (row.isElement()) {
            holds = holds || row.entryCount(object) != 0 || !row.texts(object).empty();
        } else {
            text += " " + std::string(row.name()) + "=\"" + row.texts(object).front() + "\"";
        }
    }
    return text + (holds ? " ...>" : "/>");
}

// The key of each entry that holds one, and how often each occurs, so that
// entries are named by a key only where it is theirs alone.
struct Keys {
    std::vector<std::string> ofEntry;
    std::map<std::string, std::size_t> counts;

    Keys() = default;
    Keys(const BaseObject& object, const wi::MemberView& member)
    {
        const wi::MemberView key = member.nestedClass().findMember("key", false);
        const std::size_t count = member.entryCount(object);
        for (std::size_t i = 0; key && i < count; ++i) {
            ofEntry.push_back(key.texts(member.entry(object, i)).front());
            ++counts[ofEntry.back()];
        }
    }
    bool unique(std::size_t index) const { return index < ofEntry.size() && counts.at(ofEntry[index]) == 1; }
};

// "[key=K]" when both sides hold that key here and nowhere else, "[i]" otherwise.
std::string entryLabel(const Keys& before, const Keys& after, std::size_t index)
{
    if (before.unique(index) && after.unique(index) && before.ofEntry[index] == after.ofEntry[index]) {
        return "[key=" + before.ofEntry[index] + "]";
    }
    return "[" + std::to_string(index) + "]";
}

void compareObjects(const std::string& path, const BaseObject& before, const BaseObject& after,
                    const wi::ClassView& view, const Side& here, const Side& there, Differences& found);

// The entries of a member that holds objects: one, or an array.
void compareEntries(const std::string& path, const BaseObject& before, const BaseObject& after,
                    const wi::MemberView& member, const Side& here, const Side& there, Differences& found)
{
    const std::string name(member.name());
    const bool single = member.kind() != wi::MemberKind::Children;
    const std::size_t countBefore = here.lacksElement(name) ? 0 : member.entryCount(before);
    const std::size_t countAfter = there.lacksElement(name) ? 0 : member.entryCount(after);
    const Keys keysBefore = single ? Keys{} : Keys(before, member);
    const Keys keysAfter = single ? Keys{} : Keys(after, member);
    for (std::size_t i = 0; i < std::max(countBefore, countAfter); ++i) {
        const std::string entryPath = joined(path, single ? name : name + entryLabel(keysBefore, keysAfter, i));
        if (i < countBefore && i < countAfter) {
            const BaseObject& a = member.entry(before, i);
            const BaseObject& b = member.entry(after, i);
            if (member.nestedClass()) {
                compareObjects(entryPath, a, b, member.nestedClass(), here.child(name, i), there.child(name, i), found);
            } else {
                compareTrees(entryPath, ForeignTree(a, member.typeName(), name).root(),
                             ForeignTree(b, member.typeName(), name).root(), here.child(name, i),
                             there.child(name, i), found);
            }
        } else {
            found.report(entryPath, i < countBefore ? summary(member.entry(before, i), member) : std::string(none),
                         i < countAfter ? summary(member.entry(after, i), member) : std::string(none));
        }
    }
}

void compareObjects(const std::string& path, const BaseObject& before, const BaseObject& after,
                    const wi::ClassView& view, const Side& here, const Side& there, Differences& found)
{
    for (const wi::MemberView member : view) {
        const std::string name(member.name());
        if (member.kind() == wi::MemberKind::Attribute) {
            const std::string a = member.texts(before).front();
            const std::string b = member.texts(after).front();
            found.compareValue(joined(path, name), rowType(member), here.lacksAttribute(name) ? nullptr : &a,
                               there.lacksAttribute(name) ? nullptr : &b);
        } else if (member.kind() == wi::MemberKind::Values) {
            const std::vector<std::string> a = member.texts(before);
            const std::vector<std::string> b = member.texts(after);
            for (std::size_t i = 0; i < std::max(a.size(), b.size()); ++i) {
                found.compareValue(joined(path, name + "[" + std::to_string(i) + "]"), rowType(member),
                                   i < a.size() ? &a[i] : nullptr, i < b.size() ? &b[i] : nullptr);
            }
        } else {
            compareEntries(path, before, after, member, here, there, found);
        }
    }
}

} // namespace

std::vector<std::string> objectDifferences(const BaseObject& before, const BaseObject& after, wi::ClassView view,
                                           Comparison comparison, const std::vector<MissingMember>& missingBefore,
                                           const std::vector<MissingMember>& missingAfter)
{
    Differences found{comparison, {}};
    const Lacking lackingBefore = lackingOf(missingBefore);
    const Lacking lackingAfter = lackingOf(missingAfter);
    compareObjects("", before, after, view, Side{"", &lackingBefore}, Side{"", &lackingAfter}, found);
    return found.lines;
}

} // namespace wixml
