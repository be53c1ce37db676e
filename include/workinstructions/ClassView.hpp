#pragma once

// A read-only view of the member rows of each schema class, in the order the
// class writes them: for programs that list the classes, walk their members
// or choose a class by name without naming the 27 classes one by one.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <iosfwd>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "kvsoa/AutoPtr.hpp"
#include "kvsoa/XMLEventReader.hpp"
#include "workinstructions/Export.hpp"
#include "workinstructions/XmlIO.hpp"

namespace Kavella::Soa::Common::Xml {
class BaseObject;
class SoapEnvelopeReader;
class XMLEventHandler;
class XMLEventReader;
class XmlStream;
} // namespace Kavella::Soa::Common::Xml

namespace Velmora::Schemas::Mes::_2010_09::Workinstructions {

namespace detail {
struct ClassSchema;
struct Member;
struct ViewAccess;
} // namespace detail

/// How a member appears in a class's XML.
enum class MemberKind : std::uint8_t {
    Attribute, ///< a text, number, flag or date, as an unprefixed attribute
    Child,     ///< one nested object, as a child element under the schema's prefix
    BareChild, ///< one nested object, as a child element under its bare local name
    Children,  ///< an array of nested objects, one child element each under the schema's prefix
    Values,    ///< an array of texts, numbers, flags or dates, one child element each holding the text
};

/// What a member holds: for an array, what each entry holds.
enum class ValueKind : std::uint8_t {
    String,      ///< std::string
    Int,         ///< int
    Float,       ///< float
    Double,      ///< double
    Bool,        ///< bool
    DateTime,    ///< the runtime's DateTime
    Object,      ///< an object of a schema class (MemberView::nestedClass)
    ModelObject, ///< the runtime's ModelObject
    ServiceData, ///< the runtime's ServiceData
};

class ClassView;
struct AbsentMember;
using ::Kavella::Soa::Common::Xml::XMLPosition;

/// Hears of each member a message lacks, as the reader passes it.
using AbsentMemberHandler = std::function<void(const AbsentMember&)>;

/// One member row of a schema class, or none (an empty view, which only
/// converts to false and compares). Valid for the life of the process.
class WI_API MemberView {
public:
    /// An empty view, standing for no row.
    MemberView() noexcept = default;
    /// True when the view shows a row.
    explicit operator bool() const noexcept { return m_member != nullptr; }
    /// The XML local name: the attribute's, or the child elements'.
    std::string_view name() const noexcept;
    /// How the member appears in XML.
    MemberKind kind() const noexcept;
    /// True for the kinds written as child elements (all but Attribute).
    bool isElement() const noexcept { return kind() != MemberKind::Attribute; }
    /// What the member, or each entry of an array, holds.
    ValueKind valueKind() const noexcept;
    /// Whether the schema requires the member (an attribute, or a single
    /// nested object); a message lacking it reads it as empty.
    bool required() const noexcept;
    /// The class of the nested objects when it is a schema class; an empty
    /// view for attributes and values, and for the runtime's ModelObject and
    /// ServiceData, which have no rows here.
    ClassView nestedClass() const noexcept;
    /// For the kinds holding objects (Child, BareChild, Children): how many
    /// object holds, 1 for a single child; 0 for the other kinds. object must
    /// be of the class whose row this is.
    std::size_t entryCount(const ::Kavella::Soa::Common::Xml::BaseObject& object) const;
    /// The nested object at index, below entryCount(object); a null handle
    /// raises DomException naming the member.
    const ::Kavella::Soa::Common::Xml::BaseObject& entry(const ::Kavella::Soa::Common::Xml::BaseObject& object,
                                                         std::size_t index) const;
    /// For Attribute and Values: the texts object holds, as the writer writes
    /// them before escaping (one for an attribute); none for the other kinds.
    std::vector<std::string> texts(const ::Kavella::Soa::Common::Xml::BaseObject& object) const;

    /// The same row of the same class.
    friend bool operator==(const MemberView& a, const MemberView& b) noexcept { return a.m_member == b.m_member; }
    /// Not operator==.
    friend bool operator!=(const MemberView& a, const MemberView& b) noexcept { return !(a == b); }

private:
    friend class ClassView;
    friend struct detail::ViewAccess;
    explicit MemberView(const detail::Member* member) noexcept : m_member(member) {}

    const detail::Member* m_member = nullptr;
};

/// The member rows of one schema class, or no class at all (an empty view).
/// A small value: copy it freely; the rows it shows live as long as the process.
class WI_API ClassView {
public:
    /// Walks the rows in order.
    class Iterator {
    public:
        /// The row here.
        MemberView operator*() const noexcept { return ClassView(m_schema)[m_index]; }
        /// The next row.
        Iterator& operator++() noexcept
        {
            ++m_index;
            return *this;
        }
        /// Whether both stand at the same row.
        friend bool operator==(const Iterator& a, const Iterator& b) noexcept { return a.m_index == b.m_index; }
        /// Not operator==.
        friend bool operator!=(const Iterator& a, const Iterator& b) noexcept { return !(a == b); }

    private:
        friend class ClassView;
        Iterator(const detail::ClassSchema* schema, std::size_t index) noexcept : m_schema(schema), m_index(index) {}
        const detail::ClassSchema* m_schema;
        std::size_t m_index;
    };

    /// An empty view, standing for no class.
    ClassView() noexcept = default;
    /// True when the view shows a class.
    explicit operator bool() const noexcept { return m_schema != nullptr; }

    /// The class name without namespaces ("IntMap"), which is also the
    /// element name of a whole message; empty for an empty view.
    std::string_view name() const noexcept;
    /// The fully qualified class name; empty for an empty view.
    std::string_view qualifiedName() const noexcept;
    /// The number of member rows; 0 for an empty view.
    std::size_t size() const noexcept;
    /// The row at index, which must be below size().
    MemberView operator[](std::size_t index) const noexcept;
    /// The first row.
    Iterator begin() const noexcept { return Iterator(m_schema, 0); }
    /// Past the last row.
    Iterator end() const noexcept { return Iterator(m_schema, size()); }
    /// The row named name among the attributes (element false) or the child
    /// elements (element true), which are named apart; an empty view when
    /// there is none.
    MemberView findMember(std::string_view name, bool element) const noexcept;

    /// Whether the class is one of the schema's messages (its global
    /// elements), read only from an element of its own name.
    bool isMessage() const noexcept;
    /// A new object of the class, as its default constructor makes it; null for an empty view.
    ::Kavella::Soa::Common::AutoPtr<::Kavella::Soa::Common::Xml::BaseObject> make() const;
    /// Reads a new object of the class from text, as readXml of the class
    /// does; absent, if given, hears of each attribute and single nested
    /// object an element lacks, as the reader passes it.
    ::Kavella::Soa::Common::AutoPtr<::Kavella::Soa::Common::Xml::BaseObject>
    read(std::string_view text, const XMLReadLimits& limits = {}, const AbsentMemberHandler& absent = {}) const;
    /// The same from a stream, read a piece at a time.
    ::Kavella::Soa::Common::AutoPtr<::Kavella::Soa::Common::Xml::BaseObject>
    read(std::istream& text, const XMLReadLimits& limits = {}, const AbsentMemberHandler& absent = {}) const;
    /// object, of this class, as a whole document, as writeXml of the class writes it.
    std::string write(const ::Kavella::Soa::Common::Xml::BaseObject& object, const WriteFormat& format = {}) const;
    /// object, of this class, as one element named elementName, as its outputXML writes it.
    void write(const ::Kavella::Soa::Common::Xml::BaseObject& object, ::Kavella::Soa::Common::Xml::XmlStream& stream,
               const std::string& elementName) const;

    /// messageReader (XmlIO.hpp) for an object of this class known by its view:
    /// the reader of a message's events into object; element, when given, is
    /// the only message element (a local name in the schema namespace) it takes;
    /// absent, when given, hears of what the message lacks, as read does.
    std::unique_ptr<::Kavella::Soa::Common::Xml::XMLEventHandler> messageReader(
        ::Kavella::Soa::Common::Xml::BaseObject& object, ::Kavella::Soa::Common::Xml::XMLEventReader& parser,
        const ::Kavella::Soa::Common::Xml::SoapEnvelopeReader& envelope, const char* element = nullptr,
        const AbsentMemberHandler* absent = nullptr) const;

    /// The same class.
    friend bool operator==(const ClassView& a, const ClassView& b) noexcept { return a.m_schema == b.m_schema; }
    /// Not operator==.
    friend bool operator!=(const ClassView& a, const ClassView& b) noexcept { return !(a == b); }

private:
    friend class MemberView;
    friend struct detail::ViewAccess;
    template <class T>
    friend ClassView classView() noexcept;
    explicit ClassView(const detail::ClassSchema* schema) noexcept : m_schema(schema) {}

    const detail::ClassSchema* m_schema = nullptr;
};

/// An attribute or single nested object that an element of a message lacks,
/// which the reader takes as empty.
struct AbsentMember {
    /// The row of the member lacked.
    MemberView member;
    /// The class of the element lacking it.
    ClassView owner;
    /// That element's path from the message's own, each child by its array
    /// index ("savedObjects[0].modifiedDCDs[1].objectData"); empty for the
    /// message element.
    std::string path;
    /// That element's local name.
    std::string_view element;
    /// Where that element's start tag begins.
    XMLPosition at;
};

/// The rows of the schema class T, one of the 27.
template <class T>
ClassView classView() noexcept;

/// Every schema class, in the order of the schema's listing (entries, vector
/// entries, create, load, save).
WI_API const std::vector<ClassView>& schemaClasses();

/// The schema class named name (without namespaces, as "IntMap"); an empty
/// view when there is none.
WI_API ClassView findClass(std::string_view name);

} // namespace Velmora::Schemas::Mes::_2010_09::Workinstructions
