// Writing: writeXml to a string or a stream, XmlStream for indentation and
// prefixes, and how a failed write shows.

#include <iostream>
#include <streambuf>

#include "workinstructions/WorkInstructions.hpp"

namespace wi = Velmora::Schemas::Mes::_2010_09::Workinstructions;
using Kavella::Soa::Common::AutoPtr;
using Kavella::Soa::Common::Xml::XmlStream;

// A stream buffer that takes nothing, like a full disk.
struct FullDisk : std::streambuf {
    int_type overflow(int_type) override { return traits_type::eof(); }
};

int main()
{
    AutoPtr<wi::ObjectsReferenced> target(new wi::ObjectsReferenced);
    target->getTargetContext()->setUid("PlantLineB7Ctx");
    target->getTargetObject()->setUid("Op0010Gearbox");
    wi::LoadWorkInstructionDocInput request;
    request.addLoadedInfo(target);

    //! [writeXml]
    // A whole document, compact, as a string or straight into a stream.
    std::cout << wi::writeXml(request) << '\n';
    wi::writeXml(request, std::cout);
    std::cout << '\n';
    //! [writeXml]

    //! [XmlStream]
    // XmlStream when the caller chooses: indentation, prefixes, the element name.
    XmlStream out(std::cout);
    out.setIndent(2);
    out.setNamespacePrefix(wi::NamespaceUri, "wi");
    out.setNamespacePrefix(Kavella::Schemas::Soa::_2006_03::Base::NamespaceUri, "base");
    request.outputXML(out, out.getNamespacePrefix(wi::NamespaceUri) + ":LoadWorkInstructionDocInput");
    out << '\n';
    //! [XmlStream]

    //! [failure]
    // A refused write sets badbit, as for any std::ostream; check it after writing.
    FullDisk full;
    std::ostream disk(&full);
    wi::writeXml(request, disk);
    std::cout << "written: " << (disk.good() ? "yes" : "no, badbit set") << '\n';
    //! [failure]
}
