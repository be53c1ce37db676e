// The event path: the parser's events go straight into the objects, driven by
// the same member rows as parse, with no tree in between. An envelope is
// judged as it arrives; only a runtime class's element (as deep as its parse
// looks) and a SOAP fault are captured as small trees.

#include <exception>
#include <optional>
#include <vector>

#include "ClassSchema.hpp"
#include "EnvelopeJudge.hpp"
#include "kvsoa/Monitor.hpp"
#include "kvsoa/Soap.hpp"
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
        ++m_depth;
        if (m_skippingMessage) return;
        if (m_frames.empty()) {
            if (tag.name == "Envelope") {
                m_envelope.emplace();
                m_envelope->start(tag, m_reader.elementPosition());
                m_frames.push_back({Frame::Envelope});
            } else {
                enter(m_root, m_rootSchema, tag);
            }
            return;
        }
        switch (m_frames.back().kind) {
        case Frame::Envelope:
            startEnvelopePart(tag);
            return;
        case Frame::Header:
            m_envelope->headerBlock(tag, m_reader.elementPosition());
            m_frames.push_back({Frame::Skip}); // what a block holds is not judged
            return;
        case Frame::Body:
            startBodyElement(tag);
            return;
        default:
            break;
        }
        guarded([&] { startInObject(tag); });
    }

    void endElement() override
    {
        if (m_skippingMessage) {
            if (m_depth-- == m_messageDepth) m_skippingMessage = false;
            return;
        }
        guarded([&] { endFrame(); }, true);
        --m_depth;
    }

    void characters(std::string_view text) override
    {
        if (m_skippingMessage) return;
        Frame& top = m_frames.back();
        switch (top.kind) {
        case Frame::Value: m_text.append(text); break;
        case Frame::Capture:
            if (!(top.captureLevel == 1 && m_streaming)) m_capture.characters(text);
            break;
        case Frame::Fold: m_capture.characters(text); break;
        case Frame::Envelope: m_envelope->envelopeText(text); break;
        case Frame::Body: m_envelope->bodyText(text); break;
        default: break;
        }
    }

private:
    struct Frame {
        enum Kind : std::uint8_t { Object, Value, Capture, Fold, Skip, Envelope, Header, Body } kind;
        BaseObject* object = nullptr;
        const ClassSchema* schema = nullptr; // of an Object frame
        const Member* member = nullptr;      // Object: the last child row matched; Value, Capture: the row read
        std::uint8_t captureLevel = 0;       // Capture: 1 at the captured element, 2 at its children ...
    };

    void startEnvelopePart(const XMLStartTag& tag)
    {
        switch (m_envelope->envelopeChild(tag, m_reader.elementPosition())) {
        case EnvelopeJudge::Part::Header: m_frames.push_back({Frame::Header}); break;
        case EnvelopeJudge::Part::Body: m_frames.push_back({Frame::Body}); break;
        case EnvelopeJudge::Part::Other: m_frames.push_back({Frame::Skip}); break;
        }
    }

    void startBodyElement(const XMLStartTag& tag)
    {
        switch (m_envelope->bodyChild(tag, m_reader.elementPosition())) {
        case EnvelopeJudge::Content::Message:
            m_messageDepth = m_depth;
            guarded([&] { enter(m_root, m_rootSchema, tag); });
            break;
        case EnvelopeJudge::Content::Fault:
            m_fault.emplace(tag.uri);
            m_fault->enter(tag.uri, tag.name, tag.attributes);
            m_capture.clear();
            m_capture.startElement(tag);
            m_frames.push_back({Frame::Capture, nullptr, nullptr, nullptr, 1});
            break;
        case EnvelopeJudge::Content::Other:
            m_frames.push_back({Frame::Skip});
            break;
        }
    }

    void startInObject(const XMLStartTag& tag)
    {
        Frame& top = m_frames.back();
        const bool inFault = (top.kind == Frame::Capture && !top.member) || top.kind == Frame::Fold;
        if (inFault) {
            // Of a fault only what it is read from is kept; the rest lends its text.
            if (top.kind == Frame::Capture && m_fault->enter(tag.uri, tag.name, tag.attributes)) {
                m_capture.startElement(tag);
                m_frames.push_back({Frame::Capture, nullptr, nullptr, nullptr, 2});
            } else {
                m_capture.characters(" ");
                m_frames.push_back({Frame::Fold});
            }
            return;
        }
        if (top.kind == Frame::Capture) {
            const Member* member = top.member;
            const std::size_t level = top.captureLevel + 1u;
            // Below what the class's parse looks at, nothing is kept.
            if (member && level > member->captureDepth) {
                m_frames.push_back({Frame::Skip});
                return;
            }
            if (member && level == 2 && !member->capturesChild(tag.name)) throwUnexpected(tag.name);
            if (level == 2 && m_streaming) m_capture.clear(); // each child is read on its own
            m_capture.startElement(tag);
            m_frames.push_back({Frame::Capture, top.object, nullptr, member, static_cast<std::uint8_t>(level)});
            return;
        }
        // The text of a value is its own; what is nested in it is not read. A
        // class without children looks at none.
        if (top.kind != Frame::Object || !top.schema->hasChildren) {
            m_frames.push_back({Frame::Skip});
            return;
        }
        const Member* member = findChild(*top.schema, tag.name, top.member);
        if (!member) throwUnexpected(tag.name);
        top.member = member;
        BaseObject& object = *top.object;
        if (member->enter) {
            enter(*member->enter(object), *member->nestedSchema(), tag);
        } else if (member->readNode) {
            // The runtime's classes read from nodes: their element becomes a small
            // tree. A single one that looks no deeper than its children (the
            // service data) is handed them one at a time, as parse appends.
            m_streaming = member->captureDepth == 2 && member->kind != MemberKind::Children;
            if (m_streaming) {
                m_holder = XMLNode();
                m_holder.name = tag.name;
                m_holder.uri = tag.uri;
                const XMLPosition at = m_reader.elementPosition();
                m_holder.line = at.line;
                m_holder.column = at.column;
                for (const auto& attribute : tag.attributes) {
                    m_holder.setAttr(attribute.qualifiedName(), std::string(attribute.value));
                }
                m_streamed = 0;
                m_deferred = nullptr;
            } else {
                m_capture.clear();
                m_capture.startElement(tag);
            }
            m_frames.push_back({Frame::Capture, &object, nullptr, member, 1});
        } else {
            m_text.clear();
            m_frames.push_back({Frame::Value, &object, nullptr, member});
        }
    }

    void endFrame()
    {
        const Frame frame = m_frames.back();
        m_frames.pop_back();
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
            if (m_streaming && frame.captureLevel == 1) {
                endStreamed(frame);
                break;
            }
            m_capture.endElement();
            if (!frame.member) m_fault->leave();
            if (m_streaming && frame.member && frame.captureLevel == 2) {
                readStreamedChild(frame);
            } else if (frame.captureLevel != 1) {
            } else if (frame.member) {
                frame.member->readNode(*frame.object, *m_capture.root());
            } else {
                m_envelope->fault(*m_capture.root());
            }
            break;
        case Frame::Body:
            m_envelope->bodyEnd();
            break;
        case Frame::Envelope:
            m_envelope->finish();
            break;
        case Frame::Fold:
            m_capture.characters(" ");
            break;
        case Frame::Skip:
        case Frame::Header:
            break;
        }
    }

    void readStreamedChild(const Frame& frame)
    {
        m_holder.children = {m_capture.root()};
        ++m_streamed;
        try {
            frame.member->readNode(*frame.object, m_holder);
        } catch (const DomException&) {
            // Every child's name is judged before any value, as parse does.
            if (!m_deferred) m_deferred = std::current_exception();
        }
        m_holder.children.clear();
    }

    void endStreamed(const Frame& frame)
    {
        m_streaming = false;
        if (m_deferred) std::rethrow_exception(m_deferred);
        if (m_streamed == 0) frame.member->readNode(*frame.object, m_holder);
    }

    /// Runs step; inside an envelope, an error in the message is kept for the
    /// envelope's end (a fault after the message still wins) and the rest of
    /// the message is skipped: all of it when an element starts, what is left
    /// of it when one below the message's own ends.
    template <typename Step>
    void guarded(Step&& step, bool ending = false)
    {
        if (!m_envelope || m_messageDepth == 0 || m_depth < m_messageDepth) {
            step();
            return;
        }
        try {
            step();
        } catch (...) {
            m_envelope->messageFailed(std::current_exception());
            m_streaming = false;
            while (m_frames.back().kind != Frame::Body) m_frames.pop_back();
            m_skippingMessage = !ending || m_depth > m_messageDepth;
        }
    }

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

    [[noreturn]] void throwUnexpected(std::string_view name)
    {
        const XMLPosition at = m_reader.elementPosition();
        ::Kavella::Soa::Common::Xml::throwUnexpectedNode(name, at.line, at.column);
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
    std::size_t m_depth = 0;
    std::string m_text;        // of the open value element
    XMLTreeBuilder m_capture;  // the element of a runtime class, or a fault, being read
    std::optional<EnvelopeJudge> m_envelope;
    std::optional<::Kavella::Soa::Common::Xml::SoapFaultPruner> m_fault;
    bool m_streaming = false;  // a runtime class's children go one by one
    XMLNode m_holder;          // ... under a copy of its element
    std::size_t m_streamed = 0;
    std::exception_ptr m_deferred; // the first child's error, raised at the element's end
    std::size_t m_messageDepth = 0; // of the enveloped message's element, once it began
    bool m_skippingMessage = false; // until the failed message's element ends
};

} // namespace

namespace {

template <class Text>
void readFrom(BaseObject& object, const ClassSchema& schema, Text& text, const XMLReadLimits& limits)
{
    if (Monitor::isActive()) {
        // A listener hears exactly what parse says: nothing for a document that
        // turns out to be malformed, which only the whole text can tell.
        const ::Kavella::Soa::Common::Xml::XMLDocument document(text, limits);
        parseObject(object, ::Kavella::Soa::Common::Xml::messageNode(document.root()), schema);
        return;
    }
    XMLEventReader reader(limits);
    ObjectReader handler(reader, object, schema);
    reader.read(text, handler);
}

} // namespace

void readObject(BaseObject& object, const ClassSchema& schema, std::string_view text, const XMLReadLimits& limits)
{
    readFrom(object, schema, text, limits);
}

void readObject(BaseObject& object, const ClassSchema& schema, std::istream& text, const XMLReadLimits& limits)
{
    readFrom(object, schema, text, limits);
}

} // namespace Velmora::Schemas::Mes::_2010_09::Workinstructions::detail
