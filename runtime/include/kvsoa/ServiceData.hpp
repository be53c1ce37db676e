#pragma once

#include <cstddef>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "kvsoa/BaseObject.hpp"
#include "kvsoa/MemoryManager.hpp"
#include "kvsoa/ModelObject.hpp" // the base namespace

namespace Kavella::Soa::Common::Xml {
class XMLAttributes;
class XMLNode;
class XmlStream;
struct XMLStartTag;
} // namespace Kavella::Soa::Common::Xml

namespace Kavella::Schemas::Soa::_2006_03::Base {

/// One failure that a service call reports without failing as a whole.
struct PartialError {
    /// The object the error concerns, if any.
    std::string uid;
    /// What went wrong, in the service's words.
    std::string message;
    /// The service's error code.
    int code = 0;
    /// Severity as the service grades it.
    int level = 0;

    /// Field by field.
    friend bool operator==(const PartialError& a, const PartialError& b)
    {
        return a.uid == b.uid && a.message == b.message && a.code == b.code && a.level == b.level;
    }
    /// Not operator==.
    friend bool operator!=(const PartialError& a, const PartialError& b) { return !(a == b); }
};

/// The service data of a reply: the objects the call created, updated and
/// deleted (by uid) and its partial errors. Each is written as one child
/// element in the base namespace: created, updated, deleted (attribute "uid")
/// and partialErrors (attributes "uid", "code", "level", "message").
class KVSOA_API ServiceData : public ::Kavella::Soa::Common::Xml::BaseObject {
public:
    KVSOA_DECLARE_ALLOCATION_OPERATORS()

    /// Empty service data.
    ServiceData();
    // Moving copies, as for the schema classes that hold this one: a moved-from
    // object keeps its values instead of an unspecified state.
    /// Copies the lists.
    ServiceData(const ServiceData&) = default;
    /// Assigns the lists.
    ServiceData& operator=(const ServiceData&) = default;

    ///@{
    /// The uids of the objects created (child elements "created").
    const std::vector<std::string>& getCreatedArray() const noexcept { return m_created; }
    void setCreatedArray(const std::vector<std::string>& uids) { m_created = uids; }
    void addCreated(const std::string& uid) { m_created.push_back(uid); }
    ///@}

    ///@{
    /// The uids of the objects updated (child elements "updated").
    const std::vector<std::string>& getUpdatedArray() const noexcept { return m_updated; }
    void setUpdatedArray(const std::vector<std::string>& uids) { m_updated = uids; }
    void addUpdated(const std::string& uid) { m_updated.push_back(uid); }
    ///@}

    ///@{
    /// The uids of the objects deleted (child elements "deleted").
    const std::vector<std::string>& getDeletedArray() const noexcept { return m_deleted; }
    void setDeletedArray(const std::vector<std::string>& uids) { m_deleted = uids; }
    void addDeleted(const std::string& uid) { m_deleted.push_back(uid); }
    ///@}

    ///@{
    /// The partial errors (child elements "partialErrors").
    const std::vector<PartialError>& getPartialErrorArray() const noexcept { return m_partialErrors; }
    void setPartialErrorArray(const std::vector<PartialError>& errors) { m_partialErrors = errors; }
    void addPartialError(const PartialError& error) { m_partialErrors.push_back(error); }
    ///@}

    /// Writes the service data as one element named elementName.
    void outputXML(::Kavella::Soa::Common::Xml::XmlStream& stream, const std::string& elementName) const;
    /// Appends what the element holds, like every schema class. A child of
    /// another name raises DomException ("Unexpected node name"), before any
    /// value is read.
    void parse(const ::Kavella::Soa::Common::Xml::XMLNode& node);
    /// Appends what parse appends for one child element, from the child's
    /// start tag as an event reader reports it, so that the reader need keep
    /// nothing of the element. A child of another name, or a value that does
    /// not convert, raises DomException without a position (the reader knows
    /// where it is). Sends no trace markers: the reader sends parse's on its
    /// behalf.
    void readChild(const ::Kavella::Soa::Common::Xml::XMLStartTag& child);
    /// The trace name of parse.
    static constexpr const char* parseTrace = "Kavella::Schemas::Soa::_2006_03::Base::ServiceData::parse";
    /// How deep parse looks into its element: its children's start tags, so a
    /// reader need keep nothing below them. Nor does parse look at the
    /// element's own text or attributes, or at one child with another: a
    /// reader may hand the children over one at a time (readChild), as parse
    /// appends, provided it refuses a child of another name before it reports
    /// an earlier child's value.
    static constexpr std::size_t elementDepthRead = 2;
    /// Whether a child element of this local name belongs here; parse refuses
    /// the others, so a reader may refuse them as they start.
    static bool readsChild(std::string_view localName) noexcept;
    /// Adds the base namespace.
    void getNamespaces(std::set<std::string>& namespaces) const override;

protected:
    /// The copy behind clone().
    ServiceData* reallyClone() const override;

private:
    // The one reading of a child, for parse and readChild alike.
    KVSOA_HIDDEN void readChildElement(std::string_view name,
                                       const ::Kavella::Soa::Common::Xml::XMLAttributes& attributes);

    std::vector<std::string> m_created;
    std::vector<std::string> m_updated;
    std::vector<std::string> m_deleted;
    std::vector<PartialError> m_partialErrors;
};

} // namespace Kavella::Schemas::Soa::_2006_03::Base
