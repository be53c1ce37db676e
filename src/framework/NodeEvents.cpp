// The contract's parse: a node's events, as the parser would report its
// element, fed to the one reader. What the reader does not read (below a
// value, a model object, a class without children) is never visited, and the
// walk keeps its own stack, so a deep tree costs no call depth.

#include "ObjectReader.hpp"

namespace Velmora::Schemas::Mes::_2010_09::Workinstructions::detail {

using ::Kavella::Soa::Common::Xml::XMLNode;

namespace {

class NodeEvents final : public EventOrigin {
public:
    void walk(const XMLNode& root, ObjectReader& reader)
    {
        m_reader = &reader;
        open(root);
        while (!m_open.empty()) {
            Open& top = m_open.back();
            if (top.next < top.count) {
                open(*top.node->children[top.next++]);
            } else {
                m_reader->endElement();
                m_open.pop_back();
            }
        }
    }

    XMLPosition elementPosition() override
    {
        const XMLNode& node = *m_open.back().node;
        return {node.line, node.column};
    }
    bool traced() override { return m_open.back().node->traceSuppression == 0; }

private:
    struct Open {
        const XMLNode* node;
        std::size_t next;  // the child handed over next
        std::size_t count; // children handed over: none when the reader does not read them
    };

    void open(const XMLNode& node)
    {
        m_open.push_back({&node, 0, 0});
        m_reader->startElement({node.name, node.uri, node.attributes(), node.prefix, node.namespaces()});
        if (!node.text.empty()) m_reader->characters(node.text);
        if (m_reader->readsChildren()) {
            m_open.back().count = node.children.size();
            m_reader->reserveChildren(node.children.size());
        }
    }

    ObjectReader* m_reader = nullptr;
    FrameStack<Open, 16> m_open;
};

} // namespace

void parseObject(BaseObject& object, const XMLNode& node, const ClassSchema& schema)
{
    NodeEvents events;
    ObjectReader reader(events, object, schema);
    try {
        events.walk(node, reader);
    } catch (...) {
        reader.dropUnfinishedEntries();
        throw;
    }
}

} // namespace Velmora::Schemas::Mes::_2010_09::Workinstructions::detail
