// The runtime's classes read from start tags, as deep as their parse looks;
// an envelope is the runtime's envelope reader's to judge.

#include "ObjectReader.hpp"

#include <utility>

#include "kvsoa/Monitor.hpp"

namespace Velmora::Schemas::Mes::_2010_09::Workinstructions::detail {

using ::Kavella::Soa::Common::Monitor;
using ::Kavella::Soa::Common::Xml::XMLAttribute;
using ::Kavella::Soa::Common::Xml::XMLAttributes;
using ::Kavella::Soa::Common::Xml::SoapEnvelopeReader;
using ::Kavella::Soa::Common::Xml::SoapVersion;
using ::Kavella::Soa::Common::Xml::XMLReadLimits;

ObjectReader::ObjectReader(XMLEventReader& parser, const SoapEnvelopeReader& envelope, BaseObject& root,
                           const ClassSchema& schema)
    : m_parser(&parser), m_envelope(&envelope), m_root(root), m_rootSchema(schema)
{
}

ObjectReader::ObjectReader(EventOrigin& origin, BaseObject& root, const ClassSchema& schema)
    : m_origin(&origin), m_root(root), m_rootSchema(schema)
{
}

void ObjectReader::startElement(const XMLStartTag& tag)
{
    if (m_frames.empty()) {
        requireElement(tag);
        enter(m_root, m_rootSchema, tag);
        return;
    }
    startInObject(tag);
}

void ObjectReader::endElement()
{
    endFrame();
}

void ObjectReader::characters(std::string_view text)
{
    if (m_frames.back().kind == Frame::Value) m_text.append(text);
}

bool ObjectReader::readsChildren() const noexcept
{
    if (m_frames.empty()) return true;
    const Frame& top = m_frames.back();
    return top.kind == Frame::Runtime || (top.kind == Frame::Object && top.schema->hasChildren);
}

void ObjectReader::reserveChildren(std::size_t count)
{
    const Frame& top = m_frames.back();
    if (top.kind != Frame::Object) return;
    for (const Member& member : *top.schema) {
        if (member.reserve) member.reserve(*top.object, count);
    }
}

void ObjectReader::push(Frame::Kind kind, BaseObject* object, const ClassSchema* schema, const Member* member,
                        MonitorListener* heard)
{
    m_frames.push_back({kind, heard, object, schema, member, 0, 0, 0});
}

void ObjectReader::startInObject(const XMLStartTag& tag)
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
    if (member->holdsObjects() && isNil(tag)) {
        // Nothing in the schema is nillable, but peers mark a member they have
        // no value for: absent, a null handle or no entry.
        if (member->objects.makeAbsent) member->objects.makeAbsent(object);
        push(Frame::Skip);
        return;
    }
    if (member->isSingle()) top.singlesSeen |= std::uint32_t{1} << (member - top.schema->members);
    if (member->objects.nestedSchema) {
        enter(*member->objects.enter(object), *member->objects.nestedSchema(), tag);
    } else if (member->runtime.readTag) {
        startRuntime(*member, object, tag);
    } else {
        m_text.clear();
        push(Frame::Value, &object, nullptr, member);
    }
}

/// xsi:nil="true" (or "1") on the element.
bool ObjectReader::isNil(const XMLStartTag& tag)
{
    for (const XMLAttribute& attribute : tag.attributes) {
        if (attribute.name != "nil" || attribute.uri != "http://www.w3.org/2001/XMLSchema-instance") continue;
        std::string_view value = attribute.value;
        const std::size_t first = value.find_first_not_of(" \t\r\n");
        value = first == std::string_view::npos ? std::string_view() : value.substr(first);
        value = value.substr(0, value.find_last_not_of(" \t\r\n") + 1);
        return value == "true" || value == "1";
    }
    return false;
}

// A runtime class's parse brackets its work with markers: sent here on its behalf.
void ObjectReader::startRuntime(const Member& member, BaseObject& owner, const XMLStartTag& tag)
{
    BaseObject& runtime = *member.objects.enter(owner);
    MonitorListener* const heard = markStart(member.runtime.parseTrace);
    if (member.runtime.readsChild) {
        m_deferred = nullptr;
        push(Frame::Runtime, &runtime, nullptr, &member, heard);
        return;
    }
    try {
        located([&] { member.runtime.readTag(runtime, tag); });
    } catch (...) {
        if (member.objects.dropLast) member.objects.dropLast(owner);
        throw;
    }
    markEnd(heard, member.runtime.parseTrace);
    push(Frame::Skip); // read from its start tag alone
}

// A child of a runtime class read child by child: its name is judged as it
// starts, its values are read from its start tag, and nothing below it is
// looked at. Every child's name is judged before any value, as parse does:
// the first value error waits for the element's end.
void ObjectReader::startRuntimeChild(const Frame& frame, const XMLStartTag& tag)
{
    if (!frame.member->runtime.readsChild(tag.name)) throwUnexpected(tag.name);
    try {
        located([&] { frame.member->runtime.readTag(*frame.object, tag); });
    } catch (const DomException&) {
        if (!m_deferred) m_deferred = std::current_exception();
    }
    push(Frame::Skip);
}

void ObjectReader::endFrame()
{
    if (m_absent && m_frames.back().kind == Frame::Object) reportAbsentChildren(); // its path is on the stack
    const Frame frame = m_frames.back();
    m_frames.pop_back();
    switch (frame.kind) {
    case Frame::Object:
        markEnd(frame.heard, frame.schema->parseTrace);
        break;
    case Frame::Value:
        located([&] { frame.member->values.readText(*frame.object, m_text); });
        break;
    case Frame::Runtime:
        if (m_deferred) {
            const Frame& owner = m_frames.back(); // popped already: its entry is dropped here
            if (owner.kind == Frame::Object && owner.member->objects.dropLast) owner.member->objects.dropLast(*owner.object);
            std::rethrow_exception(std::exchange(m_deferred, nullptr));
        }
        markEnd(frame.heard, frame.member->runtime.parseTrace);
        break;
    case Frame::Skip:
        break;
    }
}

// The frame goes first: an array entry whose attributes fail is taken out again.
void ObjectReader::enter(BaseObject& object, const ClassSchema& schema, const XMLStartTag& tag)
{
    MonitorListener* const heard = markStart(schema.parseTrace);
    push(Frame::Object, &object, &schema, nullptr, heard);
    located([&] { readAttributes(object, tag.attributes, schema); });
    if (m_absent) reportAbsentAttributes(tag);
}

void ObjectReader::requireElement(const XMLStartTag& tag)
{
    if (!m_element || (tag.name == m_element && tag.uri == NamespaceUri)) return;
    const auto described = [](std::string_view name, std::string_view uri) {
        std::string text = "<" + std::string(name) + "> ";
        return uri.empty() ? text + "in no namespace" : text + "in " + std::string(uri);
    };
    const XMLPosition at = position();
    const bool enveloped = m_envelope && m_envelope->head().version != SoapVersion::None;
    // Nothing after the wrong element is worth waiting for; what the envelope
    // already showed wrong comes first, as the envelope reader ranks it.
    if (m_parser) m_parser->stop();
    throw WrongMessageElement(std::string(enveloped ? "The message element " : "The root element ") +
                                  described(tag.name, tag.uri) + " is not a " + m_element + ": expected " +
                                  described(m_element, NamespaceUri),
                              at.line, at.column);
}

void ObjectReader::dropUnfinishedEntries() noexcept
{
    for (std::size_t i = m_frames.size(); i-- > 1;) {
        const Frame& frame = m_frames[i];
        const Frame& owner = m_frames[i - 1];
        const bool entry = frame.kind == Frame::Object || frame.kind == Frame::Runtime;
        if (entry && owner.kind == Frame::Object && owner.member && owner.member->objects.dropLast) {
            owner.member->objects.dropLast(*owner.object);
        }
    }
}

// Each frame remembers the listener its start went to: a listener installed
// or replaced during a read hears no end of an element it did not hear start.
MonitorListener* ObjectReader::markStart(const char* traceName)
{
    if (!Monitor::isActive() || (m_origin && !m_origin->traced())) return nullptr;
    return Monitor::markStartHeard(traceName);
}

void ObjectReader::markEnd(MonitorListener* heard, const char* traceName)
{
    if (heard) Monitor::markEnd(heard, traceName);
}

/// Runs read; a DomException it raises gets the innermost open element's
/// position, counted only then.
template <typename Read>
void ObjectReader::located(Read&& read)
{
    try {
        read();
    } catch (DomException& error) {
        const XMLPosition at = position();
        error.locate(at.line, at.column);
        throw;
    }
}

void ObjectReader::throwUnexpected(std::string_view name)
{
    const XMLPosition at = position();
    ::Kavella::Soa::Common::Xml::throwUnexpectedNode(name, at.line, at.column);
}

XMLPosition ObjectReader::position()
{
    return m_parser ? m_parser->elementPosition() : m_origin->elementPosition();
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
        member.values.readText(object, text);
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

namespace {

template <class Text>
void readFrom(BaseObject& object, const ClassSchema& schema, Text& text, const XMLReadLimits& limits,
              const char* element, const AbsentMemberHandler* absent)
{
    XMLEventReader reader(limits);
    SoapEnvelopeReader envelope(reader);
    ObjectReader handler(reader, envelope, object, schema);
    handler.expectElement(element);
    handler.reportAbsent(absent);
    envelope.setMessageHandler(&handler);
    reader.read(text, envelope);
    envelope.raise();
}

} // namespace

void readObject(BaseObject& object, const ClassSchema& schema, std::string_view text, const XMLReadLimits& limits,
                const char* element, const AbsentMemberHandler* absent)
{
    readFrom(object, schema, text, limits, element, absent);
}

void readObject(BaseObject& object, const ClassSchema& schema, std::istream& text, const XMLReadLimits& limits,
                const char* element, const AbsentMemberHandler* absent)
{
    readFrom(object, schema, text, limits, element, absent);
}

} // namespace Velmora::Schemas::Mes::_2010_09::Workinstructions::detail
