#pragma once

#include <cstddef>
#include <set>
#include <string>
#include <string_view>

#include "kvsoa/BaseObject.hpp"
#include "kvsoa/MemoryManager.hpp"

namespace Kavella::Soa::Common::Xml {
class XMLNode;
class XmlStream;
struct XMLStartTag;
} // namespace Kavella::Soa::Common::Xml

namespace Kavella::Schemas::Soa::_2006_03::Base {

/// Namespace of the platform's base schema types.
inline constexpr const char* NamespaceUri = "http://kavella.com/Schemas/Soa/2006-03/Base";

/// A reference to a persistent object, by its uid. Written as an empty element
/// with the attribute "uid".
class KVSOA_API ModelObject : public ::Kavella::Soa::Common::Xml::BaseObject {
public:
    KVSOA_DECLARE_ALLOCATION_OPERATORS()

    /// A reference with an empty uid.
    ModelObject();
    /// A reference to the object uid.
    explicit ModelObject(const std::string& uid);
    // Moving copies, as for the schema classes that hold this one: a moved-from
    // object keeps its values instead of an unspecified state.
    /// Copies the uid.
    ModelObject(const ModelObject&) = default;
    /// Assigns the uid.
    ModelObject& operator=(const ModelObject&) = default;

    ///@{
    /// The uid of the object referred to (attribute "uid").
    const std::string& getUid() const noexcept { return m_uid; }
    std::string& getUid() noexcept { return m_uid; }
    void setUid(const std::string& uid) { m_uid = uid; }
    ///@}

    /// Writes the reference as one empty element named elementName.
    void outputXML(::Kavella::Soa::Common::Xml::XmlStream& stream, const std::string& elementName) const;
    /// Reads the element's uid attribute (empty when there is none).
    void parse(const ::Kavella::Soa::Common::Xml::XMLNode& node);
    /// Reads what parse reads, from the element's start tag as an event reader
    /// reports it, so that the reader need keep nothing of the element. Sends
    /// no trace markers: the reader sends parse's on its behalf.
    void readStartTag(const ::Kavella::Soa::Common::Xml::XMLStartTag& tag);
    /// The trace name of parse.
    static constexpr const char* parseTrace = "Kavella::Schemas::Soa::_2006_03::Base::ModelObject::parse";
    /// How deep parse looks into its element: its start tag only (readStartTag),
    /// so a reader need keep nothing of what the element holds.
    static constexpr std::size_t elementDepthRead = 1;
    /// Whether a child element of this name is allowed: every one is, and ignored.
    static bool readsChild(std::string_view) noexcept { return true; }
    /// Adds the base namespace.
    void getNamespaces(std::set<std::string>& namespaces) const override;

protected:
    /// The copy behind clone().
    ModelObject* reallyClone() const override;

private:
    std::string m_uid;
};

} // namespace Kavella::Schemas::Soa::_2006_03::Base
