#pragma once

// `wixml serve --strict`: each request checked against the XML Schema before
// it is answered, refused with a bounded fault when it breaks it.

#include <functional>
#include <string>
#include <string_view>

#include "Classes.hpp"

namespace wixml {

/// A check for ServerOptions::checkRequest that throws a Sender SoapFault
/// naming the first few violations and counting the rest, under 64 KiB
/// whatever the request. Throws std::runtime_error when the schema in
/// schemaDirectory cannot be read.
std::function<void(std::string_view, wi::Envelope)> strictCheck(const std::string& schemaDirectory,
                                                                 const wi::XMLReadLimits& limits);

} // namespace wixml
