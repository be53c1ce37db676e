#include "workinstructions/XmlIO.hpp"

#include <cerrno>
#include <fstream>
#include <istream>
#include <optional>
#include <ostream>
#include <system_error>
#include <type_traits>

#include "ClassSchema.hpp"
#include "workinstructions/ClassView.hpp"
#include "kvsoa/Soap.hpp"
#include "kvsoa/XMLDocument.hpp"

namespace Velmora::Schemas::Mes::_2010_09::Workinstructions {

namespace {

using ::Kavella::Soa::Common::Xml::Soap11NamespaceUri;
using ::Kavella::Soa::Common::Xml::Soap12NamespaceUri;

/// The class name without its namespaces: the element name of a whole document.
std::string_view localName(const detail::ClassSchema& schema)
{
    const std::string_view qualified = schema.allocationTag;
    return qualified.substr(qualified.rfind(':') + 1);
}

template <class T>
void writeDocument(const T& object, XmlStream& stream, const WriteFormat& format)
{
    const Envelope envelope = format.envelope;
    // The envelope's prefix is its own; the message declares its prefixes itself.
    const std::string_view prefix = envelope == Envelope::Soap11 ? "soapenv" : "env";
    // The envelope's lines are laid out here, the message's by the stream.
    const std::size_t indent = format.indent > 0 ? static_cast<std::size_t>(format.indent) : 0;
    const auto newLine = [&](std::size_t level) {
        if (indent == 0) return;
        stream.append("\n");
        stream.append(std::string(level * indent, ' '));
    };
    try {
        stream.setIndent(format.indent);
        if (envelope != Envelope::None) {
            stream.setOuterDepth(2); // a reader counts Envelope and Body
            stream.setOuterIndent(2);
            for (std::string_view piece : {"<", prefix.data(), ":Envelope xmlns:", prefix.data(), "=\""}) stream.append(piece);
            stream.append(envelope == Envelope::Soap11 ? Soap11NamespaceUri : Soap12NamespaceUri);
            stream.append("\">");
            newLine(1);
            for (std::string_view piece : {"<", prefix.data(), ":Body>"}) stream.append(piece);
            newLine(2);
        }
        static const std::string uri(NamespaceUri);
        std::string elementName = stream.getNamespacePrefix(uri);
        elementName.append(":").append(localName(detail::SchemaAccess::of<T>()));
        object.outputXML(stream, elementName);
        if (envelope != Envelope::None) {
            newLine(1);
            for (std::string_view piece : {"</", prefix.data(), ":Body>"}) stream.append(piece);
            newLine(0);
            for (std::string_view piece : {"</", prefix.data(), ":Envelope>"}) stream.append(piece);
        }
    } catch (...) {
        stream.abandon(); // no half-written document passes for a whole one
        throw;
    }
}

/// The global elements of the schema: a document holding one of them holds
/// that message and no other, whatever else the other's members would take.
#define WI_IS(Class) || std::is_same_v<T, Class>
template <class T>
constexpr bool isMessage = false WI_MESSAGE_CLASSES(WI_IS);
#undef WI_IS

/// The element a message must be read from, or null for a class read from any.
template <class T>
const char* requiredElement()
{
    // The class name's last part ends the allocation tag: a NUL-terminated name.
    if constexpr (isMessage<T>) return localName(detail::SchemaAccess::of<T>()).data();
    return nullptr;
}

} // namespace

template <class T>
AutoPtr<T> readXml(std::string_view text, const XMLReadLimits& limits)
{
    AutoPtr<T> object(new T);
    detail::readObject(*object, detail::SchemaAccess::of<T>(), text, limits, requiredElement<T>());
    return object;
}

template <class T>
AutoPtr<T> readXml(std::istream& text, const XMLReadLimits& limits)
{
    AutoPtr<T> object(new T);
    detail::readObject(*object, detail::SchemaAccess::of<T>(), text, limits, requiredElement<T>());
    return object;
}

template <class T>
AutoPtr<T> readXmlFile(const std::string& path, const XMLReadLimits& limits)
{
    errno = 0;
    std::ifstream file(path, std::ios_base::binary);
    // The system's reason, as "PATH: No such file or directory".
    const auto failure = [&path](int error) {
        return std::ios_base::failure(path, error ? std::error_code(error, std::generic_category())
                                                  : std::make_error_code(std::io_errc::stream));
    };
    if (!file) throw failure(errno);
    try {
        return readXml<T>(file, limits);
    } catch (const std::ios_base::failure&) {
        throw failure(errno);
    }
}

template <class T>
std::unique_ptr<::Kavella::Soa::Common::Xml::XMLEventHandler> messageReader(
    T& object, ::Kavella::Soa::Common::Xml::XMLEventReader& parser,
    const ::Kavella::Soa::Common::Xml::SoapEnvelopeReader& envelope)
{
    return classView<T>().messageReader(object, parser, envelope, requiredElement<T>());
}

template <class T>
std::string writeXml(const T& object, const WriteFormat& format)
{
    XmlStream stream;
    writeDocument(object, stream, format);
    return stream.take();
}

template <class T>
void writeXml(const T& object, std::ostream& out, const WriteFormat& format)
{
    XmlStream stream(out);
    writeDocument(object, stream, format);
    stream.flush();
    if (!stream) out.setstate(std::ios_base::badbit);
}

template <class T>
std::string writeXml(const T& object, Envelope envelope)
{
    return writeXml(object, WriteFormat{envelope, 0});
}

template <class T>
void writeXml(const T& object, std::ostream& out, Envelope envelope)
{
    writeXml(object, out, WriteFormat{envelope, 0});
}

#define WI_DEFINE_XML_IO(Class)                                                                            \
    template WI_API AutoPtr<Class> readXml<Class>(std::string_view, const XMLReadLimits&);                 \
    template WI_API AutoPtr<Class> readXml<Class>(std::istream&, const XMLReadLimits&);                    \
    template WI_API AutoPtr<Class> readXmlFile<Class>(const std::string&, const XMLReadLimits&);           \
    template WI_API std::unique_ptr<::Kavella::Soa::Common::Xml::XMLEventHandler> messageReader<Class>(     \
        Class&, ::Kavella::Soa::Common::Xml::XMLEventReader&, const ::Kavella::Soa::Common::Xml::SoapEnvelopeReader&); \
    template WI_API std::string writeXml<Class>(const Class&, Envelope);                                    \
    template WI_API void writeXml<Class>(const Class&, std::ostream&, Envelope);                          \
    template WI_API std::string writeXml<Class>(const Class&, const WriteFormat&);                         \
    template WI_API void writeXml<Class>(const Class&, std::ostream&, const WriteFormat&);
WI_SCHEMA_CLASSES(WI_DEFINE_XML_IO)

} // namespace Velmora::Schemas::Mes::_2010_09::Workinstructions
