#pragma once

// Pieces of fault writing that reading a fault shares.

#include <string>
#include <string_view>

#include "kvsoa/Soap.hpp"

namespace Kavella::Soa::Common::Xml {

/// The code as SOAP 1.2 words it.
const char* soap12Word(SoapFaultCode code) noexcept;

/// A node's content (text and elements, in document order) as markup that
/// stands anywhere: each element declares the namespaces it uses.
std::string contentMarkup(const XMLNode& node);
/// The node itself as such markup.
std::string elementMarkup(const XMLNode& node);

} // namespace Kavella::Soa::Common::Xml
