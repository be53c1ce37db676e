#pragma once

// Whole documents in one call: readXml reads a message straight from the
// parser's events into new objects, writeXml writes one as a document.

#include <iosfwd>
#include <memory>
#include <string>
#include <string_view>

#include "kvsoa/DomException.hpp"
#include "kvsoa/Soap.hpp"
#include "kvsoa/SoapEnvelope.hpp"
#include "kvsoa/XMLEventReader.hpp"
#include "workinstructions/SchemaClasses.hpp"

namespace Velmora::Schemas::Mes::_2010_09::Workinstructions {

using ::Kavella::Soa::Common::Xml::XMLReadLimits;

/// What readXml raises when a message stands in an element other than its
/// class's: a DomException at that element, told apart by its type.
class WI_API WrongMessageElement : public ::Kavella::Soa::Common::Xml::DomException {
public:
    /// The message and where the element starts.
    using DomException::DomException;
    /// Out of line, so that the class's type information has one home.
    ~WrongMessageElement() override;
};

using ::Kavella::Soa::Common::Xml::SoapVersion;

/// What a written message is wrapped in: None for the message element alone,
/// Soap11 or Soap12 for that version's envelope. The runtime's SoapVersion
/// under the name this library has always given it.
using Envelope = SoapVersion;

/// How writeXml lays a message out.
struct WriteFormat {
    /// What the message is wrapped in.
    Envelope envelope = Envelope::None;
    /// Spaces per level of nesting: each element that holds objects, and the
    /// envelope's, on a line of its own; an array of values (a vector map's)
    /// stays on its element's line. 0 writes compact, on one line. Values keep
    /// their text: a line break inside one is written as a character reference.
    int indent = 0;
};

/// Reads the message of text into a new T: the document element, or the one
/// element in the Body of a SOAP 1.1 or 1.2 envelope (a Fault raises
/// SoapFault; a mandatory header is refused; see messageNode). For the four
/// messages (LoadWorkInstructionDocInput, LoadedObjectsResponse,
/// SaveWorkInstructionDocInput, SavedObjectsResponse) that element must be T's,
/// in NamespaceUri: another raises DomException naming both, at the element,
/// and nothing after it is read (a fault of the envelope before it is raised
/// instead). Any other class is read from whatever
/// element holds it. Otherwise it reads as XMLDocument, messageNode and
/// T::parse together would: the same values, the same DomException texts,
/// lines and columns, the same refusals and limits.
/// No tree is built in between. Arrays grow as their entries come, so their
/// capacity may differ from what parse reserves. On any error the object is
/// released: nothing half-read reaches the caller.
template <class T>
AutoPtr<T> readXml(std::string_view text, const XMLReadLimits& limits = {});

/// The same from a stream, read a piece at a time as the parser needs it, so
/// that the message is never held whole. A stream that fails raises
/// std::ios_base::failure.
template <class T>
AutoPtr<T> readXml(std::istream& text, const XMLReadLimits& limits = {});

/// The same from the file at path, read a piece at a time. A file that cannot
/// be opened or read raises std::ios_base::failure naming the path.
template <class T>
AutoPtr<T> readXmlFile(const std::string& path, const XMLReadLimits& limits = {});

/// The reader of a message into object, for a reader of envelopes that picks
/// the class from the envelope's head (the message element's name) and reads
/// the message in the same pass: envelope hands it the message's events
/// (SoapEnvelopeReader::setMessageHandler, or a handler of its own passing
/// them on), and after the read envelope.raise() raises what readXml would.
/// Errors in a bare document pass through, as readXml's. parser and envelope
/// must outlive the handler.
template <class T>
std::unique_ptr<::Kavella::Soa::Common::Xml::XMLEventHandler> messageReader(
    T& object, ::Kavella::Soa::Common::Xml::XMLEventReader& parser,
    const ::Kavella::Soa::Common::Xml::SoapEnvelopeReader& envelope);

/// The object as a whole document: its element named after its class, in the
/// schema namespace under a declared prefix, written compact. An envelope's
/// Envelope and Body count against the depth limit, as readXml counts them.
template <class T>
std::string writeXml(const T& object, Envelope envelope = Envelope::None);

/// The same, into out. A failed write shows in out's state: a write that
/// throws leaves out bad (what reached it is cut short), and out that is not
/// good() beforehand (eofbit included) takes nothing and is set to fail.
template <class T>
void writeXml(const T& object, std::ostream& out, Envelope envelope = Envelope::None);

/// The object as a whole document, laid out as format says.
template <class T>
std::string writeXml(const T& object, const WriteFormat& format);

/// The same into out, whose state shows a failed write as above.
template <class T>
void writeXml(const T& object, std::ostream& out, const WriteFormat& format);

#define WI_DECLARE_XML_IO(Class)                                                                           \
    extern template WI_API AutoPtr<Class> readXml<Class>(std::string_view, const XMLReadLimits&);        \
    extern template WI_API AutoPtr<Class> readXml<Class>(std::istream&, const XMLReadLimits&);           \
    extern template WI_API AutoPtr<Class> readXmlFile<Class>(const std::string&, const XMLReadLimits&);   \
    extern template WI_API std::unique_ptr<::Kavella::Soa::Common::Xml::XMLEventHandler> messageReader<Class>( \
        Class&, ::Kavella::Soa::Common::Xml::XMLEventReader&, const ::Kavella::Soa::Common::Xml::SoapEnvelopeReader&); \
    extern template WI_API std::string writeXml<Class>(const Class&, Envelope);                           \
    extern template WI_API void writeXml<Class>(const Class&, std::ostream&, Envelope);                  \
    extern template WI_API std::string writeXml<Class>(const Class&, const WriteFormat&);                 \
    extern template WI_API void writeXml<Class>(const Class&, std::ostream&, const WriteFormat&);
WI_SCHEMA_CLASSES(WI_DECLARE_XML_IO)
#undef WI_DECLARE_XML_IO

} // namespace Velmora::Schemas::Mes::_2010_09::Workinstructions
