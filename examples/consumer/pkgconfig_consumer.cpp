// A one-file program built with pkg-config, without CMake:
//
//   c++ -std=c++17 pkgconfig_consumer.cpp $(pkg-config --cflags --libs kvsoamestypes) -o pkgconfig_consumer
//
// Writes a load reply with its service data and reads it back.

#include <iostream>

#include "workinstructions/WorkInstructions.hpp"

namespace wi = Velmora::Schemas::Mes::_2010_09::Workinstructions;
namespace base = Kavella::Schemas::Soa::_2006_03::Base;
using Kavella::Soa::Common::AutoPtr;
using Kavella::Soa::Common::Xml::DomException;
using Kavella::Soa::Common::Xml::XMLDocument;
using Kavella::Soa::Common::Xml::XmlStream;

int main()
{
    AutoPtr<wi::LoadedObjectInfo> loaded(new wi::LoadedObjectInfo);
    loaded->setWorkInstructionFile("WI-4711 gearbox.pdf");
    loaded->setTopObjectDisplayName("Gearbox assembly");
    loaded->addSymbol(new base::ModelObject("SymbolTorque"));

    wi::LoadedObjectsResponse reply;
    reply.addLoadedObject(loaded);
    reply.getServiceData()->addPartialError({"Op0020Gearbox", "no work instructions", 214001, 3});

    XmlStream stream;
    reply.outputXML(stream, stream.getNamespacePrefix(wi::NamespaceUri) + ":LoadedObjectsResponse");
    std::cout << stream.str() << '\n';

    try {
        XMLDocument document(stream.str());
        wi::LoadedObjectsResponse copy;
        copy.parse(document.root());
        const base::PartialError& error = copy.getServiceData()->getPartialErrorArray().at(0);
        std::cout << copy.getLoadedObjectArray().at(0)->getTopObjectDisplayName() << "; " << error.uid << ": "
                  << error.message << '\n';
        return error.code == 214001 ? 0 : 1;
    } catch (const DomException& failure) {
        std::cerr << "not a valid message: " << failure.what() << '\n';
        return 1;
    }
}
