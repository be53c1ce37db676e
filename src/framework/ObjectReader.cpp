// The event path: the parser's events go straight into the objects, driven by
// the same member rows as parse, with no tree in between. An envelope is
// judged as it arrives; the runtime's classes read from start tags, as deep as
// their parse looks. Only a SOAP fault is captured as a small tree, and the
// tree builder is made only when one comes.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <memory>
#include <optional>
#include <type_traits>
#include <utility>

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

/// A stack whose first entries live in place, so that a message of ordinary
/// depth costs no allocation for them and a deep one grows by doubling.
/// Entries are trivial: nothing is initialised or destroyed in bulk.
template <typename T, std::size_t InPlace>
class FrameStack {
    static_assert(std::is_trivial_v<T>);

public:
    FrameStack() = default;
    FrameStack(const FrameStack&) = delete;
    FrameStack& operator=(const FrameStack&) = delete;

    bool empty() const noexcept { return m_size == 0; }
    T& back() noexcept { return m_data[m_size - 1]; }
    void pop_back() noexcept { --m_size; }
    void push_back(const T& entry)
    {
        if (m_size == m_capacity) grow();
        m_data[m_size++] = entry;
    }

private:
    void grow()
    {
        std::unique_ptr<T[]> bigger(new T[m_capacity * 2]); // left uninitialised, as the frames in place
        std::copy(m_data, m_data + m_size, bigger.get());
        m_heap = std::move(bigger);
        m_data = m_heap.get();
        m_capacity *= 2;
    }

    T m_inPlace[InPlace];
    std::unique_ptr<T[]> m_heap;
    T* m_data = m_inPlace;
    std::size_t m_size = 0;
    std::size_t m_capacity = InPlace;
};

class ObjectReader final : public XMLEventHandler {
public:
    ObjectReader(XMLEventReader& reader, BaseObject& root, const ClassSchema& schema)
        : m_reader(reader), m_root(root), m_rootSchema(schema)
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
                push(Frame::Envelope);
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
            push(Frame::Skip); // what a block holds is not judged
            return;
        case Frame::Body:
            startBodyElement(tag);
            return;
        case Frame::Fault:
        case Frame::FaultPart:
        case Frame::Fold:
            startInFault(tag);
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
        switch (m_frames.back().kind) {
        case Frame::Value: m_text.append(text); break;
        case Frame::Fault:
        case Frame::FaultPart:
        case Frame::Fold: m_capture->characters(text); break;
        case Frame::Envelope: m_envelope->envelopeText(text); break;
        case Frame::Body: m_envelope->bodyText(text); break;
        default: break;
        }
    }

private:
    // Trivial, so that the stack neither initialises nor destroys frames.
    struct Frame {
        enum Kind : std::uint8_t {
            Object,    // a schema class's element
            Value,     // a value element, its text gathered
            Runtime,   // a runtime class's element, read child by child
            Skip,      // nothing inside is read
            Envelope,
            Header,
            Body,
            Fault,     // the Body's fault, captured
            FaultPart, // a part of it that is kept
            Fold,      // a part that lends only its text
        } kind;
        BaseObject* object;        // Object, Value, Runtime
        const ClassSchema* schema; // Object
        const Member* member;      // Object: the last child row matched; Value, Runtime: the row read
    };

    void push(Frame::Kind kind, BaseObject* object = nullptr, const ClassSchema* schema = nullptr,
              const Member* member = nullptr)
    {
        m_frames.push_back({kind, object, schema, member});
    }

    void startEnvelopePart(const XMLStartTag& tag)
    {
        switch (m_envelope->envelopeChild(tag, m_reader.elementPosition())) {
        case EnvelopeJudge::Part::Header: push(Frame::Header); break;
        case EnvelopeJudge::Part::Body: push(Frame::Body); break;
        case EnvelopeJudge::Part::Other: push(Frame::Skip); break;
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
            if (m_capture) {
                m_capture->clear();
            } else {
                m_capture = std::make_unique<XMLTreeBuilder>(m_reader);
            }
            m_capture->startElement(tag);
            push(Frame::Fault);
            break;
        case EnvelopeJudge::Content::Other:
            push(Frame::Skip);
            break;
        }
    }

    // Of a fault only what it is read from is kept; the rest lends its text.
    void startInFault(const XMLStartTag& tag)
    {
        if (m_frames.back().kind != Frame::Fold && m_fault->enter(tag.uri, tag.name, tag.attributes)) {
            m_capture->startElement(tag);
            push(Frame::FaultPart);
        } else {
            m_capture->characters(" ");
            push(Frame::Fold);
        }
    }

    void startInObject(const XMLStartTag& tag)
    {
        Frame& top = m_frames.back();
        if (top.kind == Frame::Runtime) {
            startRuntimeChild(top, tag);
            return;
        }
        // The text of a value is its own; what is nested in it is not read. A
        // class without children looks at none.
        if (top.kind != Frame::Object || !top.schema->hasChildren) {
            push(Frame::Skip);
            return;
        }
        const Member* member = findChild(*top.schema, tag.name, top.member);
        if (!member) throwUnexpected(tag.name);
        top.member = member;
        BaseObject& object = *top.object;
        if (member->nestedSchema) {
            enter(*member->enter(object), *member->nestedSchema(), tag);
        } else if (member->readTag) {
            BaseObject& runtime = *member->enter(object);
            if (member->readsChild) {
                m_deferred = nullptr;
                push(Frame::Runtime, &runtime, nullptr, member);
            } else {
                located([&] { member->readTag(runtime, tag); });
                push(Frame::Skip); // read from its start tag alone
            }
        } else {
            m_text.clear();
            push(Frame::Value, &object, nullptr, member);
        }
    }

    // A child of a runtime class read child by child: its name is judged as it
    // starts, its values are read from its start tag, and nothing below it is
    // looked at. Every child's name is judged before any value, as parse does:
    // the first value error waits for the element's end.
    void startRuntimeChild(const Frame& frame, const XMLStartTag& tag)
    {
        if (!frame.member->readsChild(tag.name)) throwUnexpected(tag.name);
        try {
            located([&] { frame.member->readTag(*frame.object, tag); });
        } catch (const DomException&) {
            if (!m_deferred) m_deferred = std::current_exception();
        }
        push(Frame::Skip);
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
            located([&] { frame.member->readText(*frame.object, m_text); });
            break;
        case Frame::Runtime:
            if (m_deferred) std::rethrow_exception(std::exchange(m_deferred, nullptr));
            break;
        case Frame::Fault:
            m_capture->endElement();
            m_fault->leave();
            m_envelope->fault(*m_capture->root());
            break;
        case Frame::FaultPart:
            m_capture->endElement();
            m_fault->leave();
            break;
        case Frame::Fold:
            m_capture->characters(" ");
            break;
        case Frame::Body:
            m_envelope->bodyEnd();
            break;
        case Frame::Envelope:
            m_envelope->finish();
            break;
        case Frame::Skip:
        case Frame::Header:
            break;
        }
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
            m_deferred = nullptr;
            while (m_frames.back().kind != Frame::Body) m_frames.pop_back();
            m_skippingMessage = !ending || m_depth > m_messageDepth;
        }
    }

    void enter(BaseObject& object, const ClassSchema& schema, const XMLStartTag& tag)
    {
        if (Monitor::isActive()) Monitor::markStart(schema.parseTrace);
        located([&] { readAttributes(object, tag.attributes, schema); });
        push(Frame::Object, &object, &schema);
    }

    /// Runs read; a DomException it raises gets the innermost open element's
    /// position, counted only then.
    template <typename Read>
    void located(Read&& read)
    {
        try {
            read();
        } catch (DomException& error) {
            const XMLPosition at = m_reader.elementPosition();
            error.locate(at.line, at.column);
            throw;
        }
    }

    [[noreturn]] void throwUnexpected(std::string_view name)
    {
        const XMLPosition at = m_reader.elementPosition();
        ::Kavella::Soa::Common::Xml::throwUnexpectedNode(name, at.line, at.column);
    }

    XMLEventReader& m_reader;
    BaseObject& m_root;
    const ClassSchema& m_rootSchema;
    FrameStack<Frame, 16> m_frames; // deeper than most messages
    std::size_t m_depth = 0;
    std::string m_text; // of the open value element
    std::optional<EnvelopeJudge> m_envelope;
    std::optional<::Kavella::Soa::Common::Xml::SoapFaultPruner> m_fault;
    std::unique_ptr<XMLTreeBuilder> m_capture; // the fault being read, made when one comes
    std::exception_ptr m_deferred;             // a runtime class's first value error, raised at its end
    std::size_t m_messageDepth = 0;            // of the enveloped message's element, once it began
    bool m_skippingMessage = false;            // until the failed message's element ends
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
