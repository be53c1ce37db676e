#pragma once

// What every class of the work-instruction schema shares: the namespace, the
// runtime types its members use, and the declarations of the object contract.

#include <cstddef>
#include <iosfwd>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "kvsoa/AutoPtr.hpp"
#include "kvsoa/BaseObject.hpp"
#include "kvsoa/DateTime.hpp"
#include "kvsoa/MemoryManager.hpp"
#include "kvsoa/ModelObject.hpp"
#include "kvsoa/ServiceData.hpp"
#include "workinstructions/Export.hpp"

namespace Kavella::Soa::Common::Xml {
class XMLNode;
class XmlStream;
} // namespace Kavella::Soa::Common::Xml

namespace Velmora::Schemas::Mes::_2010_09::Workinstructions {

/// The XML namespace of every class of this schema.
inline constexpr const char* NamespaceUri = "http://velmora.com/Schemas/MES/2010-09/WorkInstructions";

using ::Kavella::Schemas::Soa::_2006_03::Base::ModelObject;
using ::Kavella::Schemas::Soa::_2006_03::Base::ServiceData;
using ::Kavella::Soa::Common::AutoPtr;
using ::Kavella::Soa::Common::DateTime;
using ::Kavella::Soa::Common::Xml::BaseObject;
using ::Kavella::Soa::Common::Xml::XMLNode;
using ::Kavella::Soa::Common::Xml::XmlStream;

/// A new T made from args and held by a handle, as in
/// make<IntMap>("count", 42) or make<ModelObject>("uid").
template <class T, class... Args>
AutoPtr<T> make(Args&&... args)
{
    return AutoPtr<T>(new T(std::forward<Args>(args)...));
}

namespace detail {
struct ClassSchema;
struct SchemaAccess;

/// The schema namespace, interned on first use: objects are then constructed
/// at no cost for it. A function-local static is initialised once, by
/// whichever thread comes first, the others wait for it.
inline BaseObject::InternedNamespace schemaNamespace()
{
    static const BaseObject::InternedNamespace interned = BaseObject::internNamespace(NamespaceUri);
    return interned;
}
} // namespace detail

} // namespace Velmora::Schemas::Mes::_2010_09::Workinstructions

/// The contract every schema class declares in its body: default construction
/// in the schema namespace, the allocation operators, writing, reading,
/// namespace collection and cloning. Copying, assignment and destruction are
/// the compiler's, member by member. Declaring the copies leaves the class
/// without moves, so moving copies too: a moved handle would leave the source
/// with a null nested object, which no object of the class may hold.
#define WI_SCHEMA_CLASS(Class)                                                                           \
public:                                                                                                  \
    KVSOA_DECLARE_ALLOCATION_OPERATORS()                                                                 \
    /** An empty object in the schema namespace; nested single objects are made empty too. */           \
    Class() : BaseObject(detail::schemaNamespace()) {}                                                   \
    /** Copies the values; nested objects are shared with other, not copied. Moving copies too. */     \
    Class(const Class&) = default;                                                                       \
    /** Assigns the values, sharing other's nested objects. */                                          \
    Class& operator=(const Class&) = default;                                                            \
    /** Writes the object as one element named elementName. */                                          \
    void outputXML(XmlStream& stream, const std::string& elementName) const;                             \
    /** Reads the element into the object; arrays are appended to. Throws DomException. */              \
    void parse(const XMLNode& node);                                                                     \
    /** Adds the namespaces of this object and everything below it. */                                  \
    void getNamespaces(std::set<std::string>& namespaces) const override;                                \
    /** The same values all the way down: doubles and floats bit for bit (a NaN equals the same NaN,    \
        -0 differs from 0), entries keyed by "key" matched by key (Compare.hpp). */                      \
    bool operator==(const Class& other) const;                                                           \
    /** Not operator==. */                                                                               \
    bool operator!=(const Class& other) const { return !(*this == other); }                             \
    /** Writes the object as an indented document, as writeXml with an indent of 2 does. */             \
    friend std::ostream& operator<<(std::ostream& out, const Class& object)                              \
    {                                                                                                    \
        object.print(out);                                                                               \
        return out;                                                                                      \
    }                                                                                                    \
                                                                                                         \
protected:                                                                                               \
    /** The copy behind clone(): memory from the MemoryManager, if any, else the heap. */              \
    Class* reallyClone() const override;                                                                 \
                                                                                                         \
private:                                                                                                 \
    /** What operator<< writes. */                                                                      \
    void print(std::ostream& out) const;                                                                 \
    friend struct detail::SchemaAccess;                                                                  \
    WI_HIDDEN static const detail::ClassSchema& schema();
