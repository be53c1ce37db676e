// What a difference shows: values as written, entries one side lacks as their
// start tags, and the runtime's objects, which have no rows, as the trees
// they write.

#include <algorithm>
#include <memory>

#include "Differences.hpp"
#include "kvsoa/XMLDocument.hpp"
#include "kvsoa/XmlStream.hpp"

namespace Velmora::Schemas::Mes::_2010_09::Workinstructions::detail {

using ::Kavella::Soa::Common::Xml::XMLAttribute;
using ::Kavella::Soa::Common::Xml::XMLDocument;

std::string shown(std::string_view text)
{
    const bool plain = !text.empty() && std::none_of(text.begin(), text.end(), [](char c) {
        return static_cast<unsigned char>(c) <= ' ' || c == '"' || c == '\\';
    }) && text != noneShown && text.find("->") == std::string_view::npos;
    if (plain) return std::string(text);
    std::string quoted = "\"";
    for (const char c : text) {
        switch (c) {
        case '"': quoted += "\\\""; break;
        case '\\': quoted += "\\\\"; break;
        case '\n': quoted += "\\n"; break;
        case '\t': quoted += "\\t"; break;
        case '\r': quoted += "\\r"; break;
        default: quoted += c;
        }
    }
    return quoted + '"';
}

namespace {

std::string joined(const std::string& path, std::string_view name)
{
    return path.empty() ? std::string(name) : path + "." + std::string(name);
}

// A runtime object written as its element named name, and read back as a tree.
std::unique_ptr<XMLDocument> treeOf(const BaseObject& object, const Member& member)
{
    XmlStream stream;
    member.runtime.write(object, stream, std::string(member.name, member.nameLength));
    return std::make_unique<XMLDocument>(stream.str());
}

std::string summary(const XMLNode& node)
{
    if (node.children.empty() && node.attributes().empty()) return shown(node.text);
    std::string text = "<" + node.name;
    for (const XMLAttribute& attribute : node.attributes()) {
        text += " " + attribute.qualifiedName() + "=\"" + std::string(attribute.value) + "\"";
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

void report(std::vector<Difference>& found, const std::string& path, std::string before, std::string after)
{
    found.push_back({path, std::move(before), std::move(after)});
}

// The writer writes each value of a runtime object in one canonical text, so
// texts that differ are values that differ.
void compareTrees(const std::string& path, const XMLNode& before, const XMLNode& after, std::vector<Difference>& found)
{
    const std::string none(noneShown);
    for (const XMLAttribute& attribute : before.attributes()) {
        const XMLAttribute* other = after.findAttribute(attribute.qualifiedName());
        if (!other || other->value != attribute.value) {
            report(found, joined(path, attribute.qualifiedName()), shown(attribute.value),
                   other ? shown(other->value) : none);
        }
    }
    for (const XMLAttribute& attribute : after.attributes()) {
        if (!before.findAttribute(attribute.qualifiedName())) {
            report(found, joined(path, attribute.qualifiedName()), none, shown(attribute.value));
        }
    }
    if (before.text != after.text) report(found, path, shown(before.text), shown(after.text));
    // Child names in order of first appearance, those of the first side first.
    std::vector<std::string> names;
    for (const XMLNode* side : {&before, &after}) {
        for (const XMLNode* child : side->children) {
            if (std::find(names.begin(), names.end(), child->name) == names.end()) names.push_back(child->name.str());
        }
    }
    for (const std::string& name : names) {
        const std::vector<const XMLNode*> a = childrenNamed(before, name);
        const std::vector<const XMLNode*> b = childrenNamed(after, name);
        for (std::size_t i = 0; i < std::max(a.size(), b.size()); ++i) {
            const std::string entryPath = joined(path, name + "[" + std::to_string(i) + "]");
            if (i < a.size() && i < b.size()) {
                compareTrees(entryPath, *a[i], *b[i], found);
            } else {
                report(found, entryPath, i < a.size() ? summary(*a[i]) : none, i < b.size() ? summary(*b[i]) : none);
            }
        }
    }
}

} // namespace

std::string entrySummary(const BaseObject& entry, const Member& member)
{
    if (!member.objects.nestedSchema) return summary(treeOf(entry, member)->root());
    std::string text = "<" + std::string(member.name, member.nameLength);
    bool holds = false;
    for (const Member& row : *member.objects.nestedSchema()) {
        if (row.kind == MemberKind::Attribute) {
            text += " " + std::string(row.name, row.nameLength) + "=\"" + row.values.text(entry, 0) + "\"";
        } else {
            holds = holds || (row.holdsObjects() ? row.objects.entryCount(entry) : row.values.count(entry)) != 0;
        }
    }
    return text + (holds ? " ...>" : "/>");
}

void runtimeDifferences(const std::string& path, const BaseObject& before, const BaseObject& after,
                        const Member& member, std::vector<Difference>& found)
{
    compareTrees(path, treeOf(before, member)->root(), treeOf(after, member)->root(), found);
}

} // namespace Velmora::Schemas::Mes::_2010_09::Workinstructions::detail
