#include "ClassSchema.hpp"

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

void writeObject(const BaseObject& object, BeginElement begin, XmlStream& stream, const std::string& elementName,
                 const ClassSchema& schema)
{
    const bool traced = (object.*begin)(stream, elementName, schema.outputTrace);
    try {
        for (const Member& member : schema) {
            if (!member.isChild()) member.write(object, stream, {}, member.name);
        }
        const std::string& uri = object.namespaceUri();
        if (!schema.hasChildren) {
            stream.appendStartTagEnd(true);
        } else {
            stream.appendStartTagEnd(false);
            const std::string prefix = stream.getNamespacePrefix(uri) + ":";
            for (const Member& member : schema) {
                if (!member.isChild()) continue;
                member.write(object, stream, member.kind == MemberKind::BareChild ? std::string_view() : prefix,
                             member.name);
            }
            stream.appendEndTag(elementName);
        }
    } catch (...) {
        // The element is cut short: neither the stream nor its target may pass for whole.
        stream.abandon();
        throw;
    }
    if (traced) Monitor::markEnd(schema.outputTrace);
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
        if (member.collect) member.collect(object, namespaces);
    }
}

} // namespace Velmora::Schemas::Mes::_2010_09::Workinstructions::detail
