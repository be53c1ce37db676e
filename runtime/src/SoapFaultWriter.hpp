#pragma once

// Pieces of fault writing that reading a fault shares.

#include <string>
#include <string_view>

#include "kvsoa/Soap.hpp"

namespace Kavella::Soa::Common::Xml {

/// Of a name written "{uri}local" or "local": the local name.
std::string_view localPart(std::string_view name) noexcept;
/// Of a name written "{uri}local" or "local": the URI, empty for none.
std::string_view uriPart(std::string_view name) noexcept;

/// The code as SOAP 1.2 words it.
const char* soap12Word(SoapFaultCode code) noexcept;

/// A node's content (text and elements, in document order) as markup that
/// stands anywhere: each element declares the namespaces it uses.
std::string contentMarkup(const XMLNode& node);
/// The node itself as such markup.
std::string elementMarkup(const XMLNode& node);

} // namespace Kavella::Soa::Common::Xml
