#pragma once

// The one reader of the schema classes: element events go straight into the
// objects, driven by the member rows. Its events come from the parser (a
// whole document, or the message of an envelope, handed on by the runtime's
// envelope reader) or from a tree's nodes (the contract's parse).

#include <cstddef>
#include <cstdint>
#include <exception>
#include <string>
#include <string_view>

#include "ClassSchema.hpp"
#include "FrameStack.hpp"
#include "kvsoa/Monitor.hpp"
#include "kvsoa/SoapEnvelope.hpp"

namespace Velmora::Schemas::Mes::_2010_09::Workinstructions::detail {

using ::Kavella::Soa::Common::MonitorListener;
using ::Kavella::Soa::Common::Xml::XMLEventHandler;
using ::Kavella::Soa::Common::Xml::XMLEventReader;
using ::Kavella::Soa::Common::Xml::XMLPosition;

/// What a tree's events do not carry: where the innermost open element
/// starts, and whether its node asks for trace markers.
class EventOrigin {
public:
    virtual XMLPosition elementPosition() = 0;
    virtual bool traced() = 0;

protected:
    ~EventOrigin() = default;
};

class ObjectReader final : public XMLEventHandler {
public:
    /// Reads the message of a document from the parser, as envelope hands it on.
    ObjectReader(XMLEventReader& parser, const ::Kavella::Soa::Common::Xml::SoapEnvelopeReader& envelope,
                 BaseObject& root, const ClassSchema& schema);
    /// Refuses a message element other than element (a local name in the
    /// schema namespace), naming both, and reads no further; null admits any.
    void expectElement(const char* element) noexcept { m_element = element; }
    /// Tells absent of each attribute and single nested object an element of
    /// a schema class lacks: attributes as the element starts, objects as it ends.
    void reportAbsent(const AbsentMemberHandler* absent) noexcept { m_absent = absent; }
    /// Reads a tree's events: the first element is the object's own, whatever its name.
    ObjectReader(EventOrigin& origin, BaseObject& root, const ClassSchema& schema);

    void startElement(const XMLStartTag& tag) override;
    void endElement() override;
    void characters(std::string_view text) override;

    /// False while nothing inside the innermost open element is read but its
    /// text: a tree need not hand over what lies below.
    bool readsChildren() const noexcept;
    /// A tree knows how many children an element has: the open object's
    /// arrays get room for that many, as the contract's parse reserves them.
    void reserveChildren(std::size_t count);
    /// After an error, for a reader whose object outlives it: array entries
    /// begun but not finished are taken out of their arrays again, as parse
    /// appends only what it read whole.
    void dropUnfinishedEntries() noexcept;

private:
    // Trivial, so that the stack neither initialises nor destroys frames.
    struct Frame {
        enum Kind : std::uint8_t {
            Object,    // a schema class's element
            Value,     // a value element, its text gathered
            Runtime,   // a runtime class's element, read child by child
            Skip,      // nothing inside is read
        } kind;
        MonitorListener* heard;    // Object, Runtime: the listener its start marker went to, if any
        BaseObject* object;        // Object, Value, Runtime
        const ClassSchema* schema; // Object
        const Member* member;      // Object: the last child row matched; Value, Runtime: the row read
        std::uint32_t singlesSeen; // Object: a bit per row, set for single children read
        int line, column;          // Object, when absent members are reported: where it starts
    };

    void push(Frame::Kind kind, BaseObject* object = nullptr, const ClassSchema* schema = nullptr,
              const Member* member = nullptr, MonitorListener* heard = nullptr);
    void startInObject(const XMLStartTag& tag);
    static bool isNil(const XMLStartTag& tag);
    void startRuntime(const Member& member, BaseObject& owner, const XMLStartTag& tag);
    void startRuntimeChild(const Frame& frame, const XMLStartTag& tag);
    void endFrame();
    void enter(BaseObject& object, const ClassSchema& schema, const XMLStartTag& tag);
    void requireElement(const XMLStartTag& tag);
    void reportAbsentAttributes(const XMLStartTag& tag);
    void reportAbsentChildren();
    void reportAbsentMember(const Frame& frame, const Member& member);
    /// Sends a start marker when a listener is there and the element asks for
    /// one; returns the listener it went to, or null.
    MonitorListener* markStart(const char* traceName);
    /// Sends the end marker to the listener that heard the start, if it is still the one installed.
    static void markEnd(MonitorListener* heard, const char* traceName);
    template <typename Read>
    void located(Read&& read);
    [[noreturn]] void throwUnexpected(std::string_view name);
    XMLPosition position();

    XMLEventReader* m_parser = nullptr; // reading a document
    const ::Kavella::Soa::Common::Xml::SoapEnvelopeReader* m_envelope = nullptr; // around it
    EventOrigin* m_origin = nullptr;    // reading a tree
    BaseObject& m_root;
    const ClassSchema& m_rootSchema;
    FrameStack<Frame, 16> m_frames; // deeper than most messages
    std::string m_text; // of the open value element
    std::exception_ptr m_deferred;   // a runtime class's first value error, raised at its end
    const char* m_element = nullptr; // the message element required, if any
    const AbsentMemberHandler* m_absent = nullptr;
    std::string m_rootName; // of the message element, when absent members are reported
};

/// The attribute rows read from attributes (a missing one reads as empty, as
/// getAttr gives it); errors carry no position yet.
void readAttributes(BaseObject& object, const ::Kavella::Soa::Common::Xml::XMLAttributes& attributes,
                    const ClassSchema& schema);
/// The child row named name, trying last first (children mostly come in runs
/// of one name); null when none is.
const Member* findChild(const ClassSchema& schema, std::string_view name, const Member* last);

} // namespace Velmora::Schemas::Mes::_2010_09::Workinstructions::detail
