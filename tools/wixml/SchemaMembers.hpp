#pragma once

// The members of each type as the XML Schema we ship declares them: which
// attributes and single child elements a message may lack, and which it must
// not. The reader takes whatever is missing as empty; the tool says so.

#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace wixml {

struct SchemaMember {
    std::string name;
    std::string type;    // of an element, its type's local name; empty for an attribute
    bool attribute;
    bool required;       // use="required", or an element without minOccurs="0"
    bool single;         // an attribute, or an element that occurs once at most
};

class SchemaMembers {
public:
    /// Reads WorkInstructions.xsd and Base.xsd in directory; throws
    /// std::runtime_error or DomException when they cannot be read.
    explicit SchemaMembers(const std::string& directory);

    /// The members of a type by its local name (a class's name); null when unknown.
    const std::vector<SchemaMember>* membersOf(std::string_view type) const;
    /// The type of a global element, that is of a message; empty when none is named so.
    std::string typeOfMessage(std::string_view element) const;

private:
    std::map<std::string, std::vector<SchemaMember>, std::less<>> m_types;
    std::map<std::string, std::string, std::less<>> m_messages;
};

} // namespace wixml
