#pragma once

// What a message lacks of what the schema declares for it: attributes, and
// elements that hold one object. The reader takes each as empty; check and
// format warn of those the schema requires, diff shows each as "(none)".

#include <cstddef>
#include <istream>
#include <string>
#include <utility>
#include <vector>

#include "SchemaMembers.hpp"
#include "workinstructions/MessageHead.hpp"

namespace wixml {

struct MissingMember {
    /// The element lacking it, from the message element down: each step a child's
    /// name and its place among the children of that name.
    std::vector<std::pair<std::string, std::size_t>> path;
    std::string owner; // the name of that element
    std::string member;
    bool attribute;
    bool required;
    int line; // of the owner's start tag
    int column;
};

/// Reads the message in text (alone or in an envelope) as far as its element,
/// the one head names (peekMessage of the same text), ends. The message element
/// has type rootType, or with none the type of the schema's element of its
/// name; below it each element has its member's type.
/// Elements of types the schema does not declare are not looked into.
/// Throws DomException where text is malformed.
std::vector<MissingMember> findMissingMembers(std::istream& text, const SchemaMembers& schema,
                                              const std::string& rootType,
                                              const ::Velmora::Schemas::Mes::_2010_09::Workinstructions::MessageHead& head,
                                              const ::Kavella::Soa::Common::Xml::XMLReadLimits& limits);

} // namespace wixml
