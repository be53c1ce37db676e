#include "Diff.hpp"

#include <algorithm>
#include <cstddef>
#include <string_view>

namespace wixml {

using ::Kavella::Soa::Common::Xml::XMLAttribute;
using ::Kavella::Soa::Common::Xml::XMLNode;

namespace {

constexpr std::string_view none = "(none)";

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

// An entry that one side lacks, in a line: its text, or its start tag.
std::string summary(const XMLNode& node)
{
    if (node.children.empty() && node.attributes().empty()) return shown(node.text);
    std::string text = "<" + node.name;
    for (const XMLAttribute& attribute : node.attributes()) {
        text += " " + std::string(attribute.name) + "=\"" + std::string(attribute.value) + "\"";
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

bool keyIsUnique(const std::vector<const XMLNode*>& entries, std::string_view key)
{
    std::size_t count = 0;
    for (const XMLNode* entry : entries) {
        const XMLAttribute* attribute = entry->findAttribute("key");
        if (attribute && attribute->value == key) ++count;
    }
    return count == 1;
}

// "[key=K]" when both sides hold that key here and nowhere else, "[i]" otherwise.
std::string entryLabel(const std::vector<const XMLNode*>& before, const std::vector<const XMLNode*>& after,
                       std::size_t index)
{
    if (index < before.size() && index < after.size()) {
        const XMLAttribute* keyBefore = before[index]->findAttribute("key");
        const XMLAttribute* keyAfter = after[index]->findAttribute("key");
        if (keyBefore && keyAfter && keyBefore->value == keyAfter->value && keyIsUnique(before, keyBefore->value) &&
            keyIsUnique(after, keyAfter->value)) {
            return "[key=" + std::string(keyBefore->value) + "]";
        }
    }
    return "[" + std::to_string(index) + "]";
}

void report(std::vector<std::string>& out, const std::string& path, const std::string& before,
            const std::string& after)
{
    out.push_back((path.empty() ? "(message)" : path) + ": " + before + " -> " + after);
}

void compare(const std::string& path, const XMLNode& before, const XMLNode& after, std::vector<std::string>& out)
{
    for (const XMLAttribute& attribute : before.attributes()) {
        const XMLAttribute* other = after.findAttribute(attribute.name);
        if (!other) {
            report(out, joined(path, attribute.name), shown(attribute.value), std::string(none));
        } else if (other->value != attribute.value) {
            report(out, joined(path, attribute.name), shown(attribute.value), shown(other->value));
        }
    }
    for (const XMLAttribute& attribute : after.attributes()) {
        if (!before.findAttribute(attribute.name)) {
            report(out, joined(path, attribute.name), std::string(none), shown(attribute.value));
        }
    }
    if (before.text != after.text) report(out, path, shown(before.text), shown(after.text));

    // Child names in order of first appearance, those of the first side first.
    std::vector<std::string> names;
    for (const XMLNode* side : {&before, &after}) {
        for (const XMLNode* child : side->children) {
            if (std::find(names.begin(), names.end(), child->name) == names.end()) names.push_back(child->name);
        }
    }
    for (const std::string& name : names) {
        const std::vector<const XMLNode*> entriesBefore = childrenNamed(before, name);
        const std::vector<const XMLNode*> entriesAfter = childrenNamed(after, name);
        const bool single = isSingle(before, name) && entriesBefore.size() <= 1 &&
                            entriesAfter.size() <= 1;
        const std::size_t count = std::max(entriesBefore.size(), entriesAfter.size());
        for (std::size_t i = 0; i < count; ++i) {
            const std::string entryPath =
                joined(path, single ? name : name + entryLabel(entriesBefore, entriesAfter, i));
            if (i >= entriesBefore.size()) {
                report(out, entryPath, std::string(none), summary(*entriesAfter[i]));
            } else if (i >= entriesAfter.size()) {
                report(out, entryPath, summary(*entriesBefore[i]), std::string(none));
            } else {
                compare(entryPath, *entriesBefore[i], *entriesAfter[i], out);
            }
        }
    }
}

} // namespace

std::vector<std::string> treeDifferences(const XMLNode& before, const XMLNode& after)
{
    std::vector<std::string> out;
    if (before.name != after.name || before.uri != after.uri) {
        report(out, "(message)", shown(before.name), shown(after.name));
        return out;
    }
    compare("", before, after, out);
    return out;
}

} // namespace wixml
