#pragma once

// What every class of the work-instruction schema shares: the namespace, the
// runtime types its members use, and the declarations of the object contract.

#include <cstddef>
#include <set>
#include <string>
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

namespace detail {
struct ClassSchema;
struct SchemaAccess;
} // namespace detail

} // namespace Velmora::Schemas::Mes::_2010_09::Workinstructions

/// The contract every schema class declares in its body: default construction
/// in the schema namespace, the allocation operators, writing, reading,
/// namespace collection and cloning. Copying, assignment and destruction are
/// the compiler's, member by member.
#define WI_SCHEMA_CLASS(Class)                                                                           \
public:                                                                                                  \
    KVSOA_DECLARE_ALLOCATION_OPERATORS()                                                                 \
    Class() : BaseObject(NamespaceUri) {}                                                                \
    /** Writes the object as one element named elementName. */                                          \
    void outputXML(XmlStream& stream, const std::string& elementName) const;                             \
    /** Reads the element into the object; arrays are appended to. Throws DomException. */              \
    void parse(const XMLNode& node);                                                                     \
    void getNamespaces(std::set<std::string>& namespaces) const override;                                \
                                                                                                         \
protected:                                                                                               \
    Class* reallyClone() const override;                                                                 \
                                                                                                         \
private:                                                                                                 \
    friend struct detail::SchemaAccess;                                                                  \
    WI_HIDDEN static const detail::ClassSchema& schema();
