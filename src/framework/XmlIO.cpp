#include "workinstructions/XmlIO.hpp"

#include <cerrno>
#include <fstream>
#include <istream>
#include <optional>
#include <ostream>
#include <system_error>

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

} // namespace

WrongMessageElement::~WrongMessageElement() = default;

namespace detail {

void writeDocument(const BaseObject& object, const ClassSchema& schema, XmlStream& stream, const WriteFormat& format)
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
        elementName.append(":").append(localName(schema));
        writeObject(object, stream, elementName, schema);
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

const char* messageElement(const ClassSchema& schema)
{
    // The class name's last part ends the allocation tag: a NUL-terminated name.
    return schema.message ? localName(schema).data() : nullptr;
}

std::string writeDocument(const BaseObject& object, const ClassSchema& schema, const WriteFormat& format)
{
    XmlStream stream;
    writeDocument(object, schema, stream, format);
    return stream.take();
}

} // namespace detail

namespace {

template <class T, class Text>
AutoPtr<T> readAs(Text& text, const XMLReadLimits& limits)
{
    const detail::ClassSchema& schema = detail::SchemaAccess::of<T>();
    AutoPtr<T> object(new T);
    detail::readObject(*object, schema, text, limits, detail::messageElement(schema));
    return object;
}

} // namespace

template <class T>
AutoPtr<T> readXml(std::string_view text, const XMLReadLimits& limits)
{
    return readAs<T>(text, limits);
}

template <class T>
AutoPtr<T> readXml(std::istream& text, const XMLReadLimits& limits)
{
    return readAs<T>(text, limits);
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
    const detail::ClassSchema& schema = detail::SchemaAccess::of<T>();
    return classView<T>().messageReader(object, parser, envelope, detail::messageElement(schema));
}

template <class T>
std::string writeXml(const T& object, const WriteFormat& format)
{
    return detail::writeDocument(object, detail::SchemaAccess::of<T>(), format);
}

template <class T>
void writeXml(const T& object, std::ostream& out, const WriteFormat& format)
{
    XmlStream stream(out);
    detail::writeDocument(object, detail::SchemaAccess::of<T>(), stream, format);
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
