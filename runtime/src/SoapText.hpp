#pragma once

// How SOAP's pieces read texts from the network: whitespace collapsed, names cut.

#include <string>
#include <string_view>

#include "kvsoa/XMLNode.hpp"

namespace Kavella::Soa::Common::Xml {

/// The xml:lang attribute, as XMLNode names it.
inline constexpr std::string_view xmlLang = "{http://www.w3.org/XML/1998/namespace}lang";

/// Only XML whitespace.
bool isBlank(std::string_view text);
/// Runs of whitespace appended as one space; none at the start of out.
void appendCollapsed(std::string& out, std::string_view text);
/// Without trailing spaces.
std::string trimmed(std::string text);
/// Runs of whitespace as one space; none at either end.
std::string collapsed(std::string_view text);
/// An xml:lang of English: "en" or "en-...", in any case.
bool isEnglish(const XMLAttribute* lang);
/// A text from the network as an error shows it: cut after 256 bytes.
std::string shown(std::string_view text);
/// "{uri}name", or "name" for none, each shown.
std::string qualified(std::string_view uri, std::string_view name);
std::string qualified(const XMLNode& node);

} // namespace Kavella::Soa::Common::Xml
