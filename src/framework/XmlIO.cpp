#include "workinstructions/XmlIO.hpp"

#include <ostream>

#include "ClassSchema.hpp"

namespace Velmora::Schemas::Mes::_2010_09::Workinstructions {

namespace {

constexpr const char* soapNamespace(Envelope envelope)
{
    return envelope == Envelope::Soap11 ? "http://schemas.xmlsoap.org/soap/envelope/"
                                        : "http://www.w3.org/2003/05/soap-envelope";
}

/// The class name without its namespaces: the element name of a whole document.
std::string_view localName(const detail::ClassSchema& schema)
{
    const std::string_view qualified = schema.allocationTag;
    return qualified.substr(qualified.rfind(':') + 1);
}

template <class T>
void writeDocument(const T& object, XmlStream& stream, Envelope envelope)
{
    if (envelope != Envelope::None) {
        // The envelope's prefix is its own; the message declares its prefixes itself.
        stream.append("<soapenv:Envelope xmlns:soapenv=\"");
        stream.append(soapNamespace(envelope));
        stream.append("\"><soapenv:Body>");
    }
    std::string elementName = stream.getNamespacePrefix(NamespaceUri);
    elementName.append(":").append(localName(detail::SchemaAccess::of<T>()));
    object.outputXML(stream, elementName);
    if (envelope != Envelope::None) stream.append("</soapenv:Body></soapenv:Envelope>");
}

} // namespace

template <class T>
AutoPtr<T> readXml(std::string_view text, const XMLReadLimits& limits)
{
    AutoPtr<T> object(new T);
    detail::readObject(*object, detail::SchemaAccess::of<T>(), text, limits);
    return object;
}

template <class T>
std::string writeXml(const T& object, Envelope envelope)
{
    XmlStream stream;
    writeDocument(object, stream, envelope);
    return stream.str();
}

template <class T>
void writeXml(const T& object, std::ostream& out, Envelope envelope)
{
    XmlStream stream(out);
    writeDocument(object, stream, envelope);
    stream.flush();
    if (!stream) out.setstate(std::ios_base::badbit);
}

#define WI_DEFINE_XML_IO(Class)                                                                            \
    template WI_API AutoPtr<Class> readXml<Class>(std::string_view, const XMLReadLimits&);                 \
    template WI_API std::string writeXml<Class>(const Class&, Envelope);                                    \
    template WI_API void writeXml<Class>(const Class&, std::ostream&, Envelope);
WI_SCHEMA_CLASSES(WI_DEFINE_XML_IO)

} // namespace Velmora::Schemas::Mes::_2010_09::Workinstructions
