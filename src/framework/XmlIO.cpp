#include "workinstructions/XmlIO.hpp"

#include <cerrno>
#include <fstream>
#include <istream>
#include <optional>
#include <ostream>
#include <system_error>
#include <type_traits>

#include "ClassSchema.hpp"
#include "MessageHead.hpp"
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
void writeDocument(const T& object, XmlStream& stream, Envelope envelope)
{
    // The envelope's prefix is its own; the message declares its prefixes itself.
    const std::string_view prefix = envelope == Envelope::Soap11 ? "soapenv" : "env";
    try {
        if (envelope != Envelope::None) {
            stream.setOuterDepth(2); // a reader counts Envelope and Body
            for (std::string_view piece : {"<", prefix.data(), ":Envelope xmlns:", prefix.data(), "=\""}) stream.append(piece);
            stream.append(envelope == Envelope::Soap11 ? Soap11NamespaceUri : Soap12NamespaceUri);
            for (std::string_view piece : {"\"><", prefix.data(), ":Body>"}) stream.append(piece);
        }
        static const std::string uri(NamespaceUri);
        std::string elementName = stream.getNamespacePrefix(uri);
        elementName.append(":").append(localName(detail::SchemaAccess::of<T>()));
        object.outputXML(stream, elementName);
        if (envelope != Envelope::None) {
            for (std::string_view piece : {"</", prefix.data(), ":Body></", prefix.data(), ":Envelope>"}) stream.append(piece);
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

/// Refuses a message element other than T's, as the last of what is wrong:
/// malformed text, then a broken envelope, are reported first, as a read of
/// the whole (XMLDocument, messageNode) reports them. Only a refusal pays for that.
template <class T, class Text>
void requireOwnElement(const detail::MessageHead& head, Text& whole, const XMLReadLimits& limits)
{
    const std::string_view expected = localName(detail::SchemaAccess::of<T>());
    if (head.admits(expected)) return;
    const ::Kavella::Soa::Common::Xml::XMLDocument document(whole, limits);
    ::Kavella::Soa::Common::Xml::messageNode(document.root());
    detail::throwNotTheMessage(head, expected);
}

} // namespace

template <class T>
AutoPtr<T> readXml(std::string_view text, const XMLReadLimits& limits)
{
    if constexpr (isMessage<T>) {
        const std::optional<detail::MessageHead> seen = detail::scanMessageHead(text);
        if (!seen || !seen->admits(localName(detail::SchemaAccess::of<T>()))) {
            requireOwnElement<T>(detail::findMessageHead(text, limits), text, limits);
        }
    }
    AutoPtr<T> object(new T);
    detail::readObject(*object, detail::SchemaAccess::of<T>(), text, limits);
    return object;
}

template <class T>
AutoPtr<T> readXml(std::istream& text, const XMLReadLimits& limits)
{
    AutoPtr<T> object(new T);
    if constexpr (isMessage<T>) {
        if (text) { // a stream failed already is the reader's to report
            // The start is read twice, the rest once and never held.
            detail::ReplayBuffer buffer(text.rdbuf());
            std::istream replayed(&buffer);
            const detail::MessageHead head = detail::findMessageHead(replayed, limits);
            buffer.replay();
            replayed.clear();
            requireOwnElement<T>(head, replayed, limits);
            detail::readObject(*object, detail::SchemaAccess::of<T>(), replayed, limits);
            return object;
        }
    }
    detail::readObject(*object, detail::SchemaAccess::of<T>(), text, limits);
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
std::string writeXml(const T& object, Envelope envelope)
{
    XmlStream stream;
    writeDocument(object, stream, envelope);
    return stream.take();
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
    template WI_API AutoPtr<Class> readXml<Class>(std::istream&, const XMLReadLimits&);                    \
    template WI_API AutoPtr<Class> readXmlFile<Class>(const std::string&, const XMLReadLimits&);           \
    template WI_API std::string writeXml<Class>(const Class&, Envelope);                                    \
    template WI_API void writeXml<Class>(const Class&, std::ostream&, Envelope);
WI_SCHEMA_CLASSES(WI_DEFINE_XML_IO)

} // namespace Velmora::Schemas::Mes::_2010_09::Workinstructions
