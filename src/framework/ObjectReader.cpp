// The event path: the parser's events go straight into the objects, driven by
// the same member rows as parse, with no tree in between.

#include <vector>

#include "ClassSchema.hpp"
#include "kvsoa/Monitor.hpp"
#include "kvsoa/XMLDocument.hpp"

namespace Velmora::Schemas::Mes::_2010_09::Workinstructions::detail {

namespace {

using ::Kavella::Soa::Common::Monitor;
using ::Kavella::Soa::Common::Xml::XMLEventHandler;
using ::Kavella::Soa::Common::Xml::XMLEventReader;
using ::Kavella::Soa::Common::Xml::XMLPosition;
using ::Kavella::Soa::Common::Xml::XMLReadLimits;
using ::Kavella::Soa::Common::Xml::XMLStartTag;
using ::Kavella::Soa::Common::Xml::XMLTreeBuilder;

class ObjectReader final : public XMLEventHandler {
public:
    ObjectReader(XMLEventReader& reader, BaseObject& root, const ClassSchema& schema)
        : m_reader(reader), m_root(root), m_rootSchema(schema), m_capture(reader)
    {
    }

    void startElement(const XMLStartTag& tag) override
    {
        if (m_frames.empty()) {
            enter(m_root, m_rootSchema, tag);
            return;
        }
        Frame& top = m_frames.back();
        switch (top.kind) {
        case Frame::Object:
            break;
        case Frame::Capture:
            m_capture.startElement(tag);
            m_frames.push_back({Frame::Capture, top.object, nullptr, top.member});
            return;
        case Frame::Value: // the text of a value is its own; what is nested in it is not read
        case Frame::Skip:
            m_frames.push_back({Frame::Skip, nullptr, nullptr, nullptr});
            return;
        }
        if (!top.schema->hasChildren) { // a class without children looks at none
            m_frames.push_back({Frame::Skip, nullptr, nullptr, nullptr});
            return;
        }
        const Member* member = findChild(*top.schema, tag.name, top.member);
        if (!member) {
            const XMLPosition at = m_reader.elementPosition();
            ::Kavella::Soa::Common::Xml::throwUnexpectedNode(tag.name, at.line, at.column);
        }
        top.member = member;
        BaseObject& object = *top.object;
        if (member->enter) {
            enter(*member->enter(object), *member->nestedSchema(), tag);
        } else if (member->readNode) {
            // The runtime's classes read from nodes: their element becomes a small tree.
            m_capture.clear();
            m_capture.startElement(tag);
            m_frames.push_back({Frame::Capture, &object, nullptr, member, true});
        } else {
            m_text.clear();
            m_frames.push_back({Frame::Value, &object, nullptr, member});
        }
    }

    void endElement() override
    {
        const Frame frame = m_frames.back();
        switch (frame.kind) {
        case Frame::Object:
            if (Monitor::isActive()) Monitor::markEnd(frame.schema->parseTrace);
            break;
        case Frame::Value:
            try {
                frame.member->readText(*frame.object, m_text);
            } catch (DomException& error) {
                locate(error);
                throw;
            }
            break;
        case Frame::Capture:
            m_capture.endElement();
            if (frame.captureRoot) frame.member->readNode(*frame.object, *m_capture.root());
            break;
        case Frame::Skip:
            break;
        }
        m_frames.pop_back();
    }

    void characters(std::string_view text) override
    {
        const Frame& top = m_frames.back();
        if (top.kind == Frame::Value) {
            m_text.append(text);
        } else if (top.kind == Frame::Capture) {
            m_capture.characters(text);
        }
    }

private:
    struct Frame {
        enum Kind : std::uint8_t { Object, Value, Capture, Skip } kind;
        BaseObject* object;
        const ClassSchema* schema; // of an Object frame
        const Member* member;      // Object: the last child row matched; Value, Capture: the row read
        bool captureRoot = false;
    };

    void enter(BaseObject& object, const ClassSchema& schema, const XMLStartTag& tag)
    {
        if (Monitor::isActive()) Monitor::markStart(schema.parseTrace);
        try {
            readAttributes(object, tag.attributes, schema);
        } catch (DomException& error) {
            locate(error);
            throw;
        }
        m_frames.push_back({Frame::Object, &object, &schema, nullptr});
    }

    void locate(DomException& error)
    {
        const XMLPosition at = m_reader.elementPosition();
        error.locate(at.line, at.column);
    }

    XMLEventReader& m_reader;
    BaseObject& m_root;
    const ClassSchema& m_rootSchema;
    std::vector<Frame> m_frames;
    std::string m_text;        // of the open value element
    XMLTreeBuilder m_capture;  // the element of a runtime class being read
};

} // namespace

void readObject(BaseObject& object, const ClassSchema& schema, std::string_view text, const XMLReadLimits& limits)
{
    if (Monitor::isActive()) {
        // A listener hears exactly what parse says: nothing for a document that
        // turns out to be malformed, which only the whole text can tell.
        const ::Kavella::Soa::Common::Xml::XMLDocument document(text, limits);
        parseObject(object, document.root(), schema);
        return;
    }
    XMLEventReader reader(limits);
    ObjectReader handler(reader, object, schema);
    reader.read(text, handler);
}

} // namespace Velmora::Schemas::Mes::_2010_09::Workinstructions::detail
