#pragma once

// A read-only view of the member rows of each schema class, in the order the
// class writes them: for programs that list the classes, walk their members
// or choose a class by name without naming the 27 classes one by one.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "workinstructions/Export.hpp"

namespace Kavella::Soa::Common::Xml {
class BaseObject;
class SoapEnvelopeReader;
class XMLEventHandler;
class XMLEventReader;
} // namespace Kavella::Soa::Common::Xml

namespace Velmora::Schemas::Mes::_2010_09::Workinstructions {

namespace detail {
struct ClassSchema;
struct Member;
} // namespace detail

/// How a member appears in a class's XML.
enum class MemberKind : std::uint8_t {
    Attribute, ///< a text, number, flag or date, as an unprefixed attribute
    Child,     ///< one nested object, as a child element under the schema's prefix
    BareChild, ///< one nested object, as a child element under its bare local name
    Children,  ///< an array of nested objects, one child element each under the schema's prefix
    Values,    ///< an array of texts, numbers, flags or dates, one child element each holding the text
};

class ClassView;

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
    /// What the member holds: "string", "int", "float", "double", "bool" or
    /// "DateTime" for attributes and values; for nested objects the class name
    /// without namespaces ("IntMap", "ModelObject", "ServiceData").
    std::string_view typeName() const noexcept;
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

    /// The same class.
    /// messageReader (XmlIO.hpp) for an object of this class known by its view:
    /// the reader of a message's events into object; element, when given, is
    /// the only message element (a local name in the schema namespace) it takes.
    std::unique_ptr<::Kavella::Soa::Common::Xml::XMLEventHandler> messageReader(
        ::Kavella::Soa::Common::Xml::BaseObject& object, ::Kavella::Soa::Common::Xml::XMLEventReader& parser,
        const ::Kavella::Soa::Common::Xml::SoapEnvelopeReader& envelope, const char* element = nullptr) const;

    friend bool operator==(const ClassView& a, const ClassView& b) noexcept { return a.m_schema == b.m_schema; }
    /// Not operator==.
    friend bool operator!=(const ClassView& a, const ClassView& b) noexcept { return !(a == b); }

private:
    friend class MemberView;
    template <class T>
    friend ClassView classView() noexcept;
    explicit ClassView(const detail::ClassSchema* schema) noexcept : m_schema(schema) {}

    const detail::ClassSchema* m_schema = nullptr;
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
