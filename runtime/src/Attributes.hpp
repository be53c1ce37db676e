#pragma once

// Attribute look-up shared by the runtime's classes, whether they read from a
// node or straight from a start tag.

#include <string_view>

#include "kvsoa/XMLNode.hpp"

namespace Kavella::Soa::Common::detail {

/// The value of the unprefixed attribute localName, empty when there is none:
/// what XMLNode::getAttr gives for a name without "{uri}".
inline std::string_view unprefixedAttribute(const Xml::XMLAttributes& attributes, std::string_view localName) noexcept
{
    for (const Xml::XMLAttribute& attribute : attributes) {
        if (attribute.uri.empty() && attribute.name == localName) return attribute.value;
    }
    return {};
}

} // namespace Kavella::Soa::Common::detail
