#pragma once

// Helpers shared by the hostile-input tests: reading and writing messages as
// text, running work on a small stack, and catching what a call throws.

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

#include "kvsoa/Common.hpp"
#include "workinstructions/WorkInstructions.hpp"

namespace hostile {

namespace wi = ::Velmora::Schemas::Mes::_2010_09::Workinstructions;
using ::Kavella::Soa::Common::AutoPtr;
using ::Kavella::Soa::Common::Xml::DomException;
using ::Kavella::Soa::Common::Xml::XMLDocument;
using ::Kavella::Soa::Common::Xml::XMLReadLimits;
using ::Kavella::Soa::Common::Xml::XmlStream;

inline constexpr const char* kBaseNamespace = ::Kavella::Schemas::Soa::_2006_03::Base::NamespaceUri;

/// The namespace declarations a hand-written test document puts on its root:
/// prefix "wi" for the work-instruction schema, "base" for the runtime's types.
std::string declarations();

/// Writes object as the outermost element wi:localName.
template <typename T>
std::string writeMessage(const T& object, const std::string& localName)
{
    XmlStream stream;
    stream.setNamespacePrefix(wi::NamespaceUri, "wi");
    object.outputXML(stream, "wi:" + localName);
    return stream.str();
}

/// Reads text and parses its root element into object.
template <typename T>
void parseMessage(T& object, std::string_view text, const XMLReadLimits& limits = {})
{
    const XMLDocument document(text, limits);
    object.parse(document.root());
}

/// The message of the DomException that call throws, or "no exception".
/// Any other exception escapes and fails the test.
std::string domError(const std::function<void()>& call);

/// Runs body on a fresh thread with a stack of stackBytes and waits for it;
/// whatever body throws is thrown again here.
void runWithStack(std::size_t stackBytes, const std::function<void()>& body);

inline constexpr std::size_t kOneMebibyte = std::size_t{1} << 20;

} // namespace hostile
