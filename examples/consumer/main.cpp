// Writes a save request as XML and reads it back into a new object.

#include <iostream>

#include "workinstructions/WorkInstructions.hpp"

namespace wi = Velmora::Schemas::Mes::_2010_09::Workinstructions;
using Kavella::Soa::Common::AutoPtr;
using Kavella::Soa::Common::Xml::DomException;
using Kavella::Soa::Common::Xml::XMLDocument;
using Kavella::Soa::Common::Xml::XmlStream;

int main()
{
    // Build: one document, its target object and one modified step.
    AutoPtr<wi::SavedObjectInfo> saved(new wi::SavedObjectInfo);
    saved->setWorkInstructionFile("WI-4711 gearbox.pdf");
    saved->setTargetObject(new wi::ModelObject("Op0010Gearbox"));

    AutoPtr<wi::IntMap> torque(new wi::IntMap);
    torque->setKey("torque_nm");
    torque->setValue(25);
    AutoPtr<wi::SavedSubSTXInfo> step(new wi::SavedSubSTXInfo);
    step->setTransientId("t1");
    step->getObjectData()->setType("MEDCD");
    step->getObjectData()->addIntProp(torque);
    saved->addModifiedDCD(step);

    wi::SaveWorkInstructionDocInput request;
    request.addSavedObject(saved);

    // Write.
    XmlStream stream;
    stream.setNamespacePrefix(wi::NamespaceUri, "wi");
    stream.setIndent(2);
    request.outputXML(stream, "wi:SaveWorkInstructionDocInput");
    std::cout << stream.str() << '\n';

    // Read back.
    try {
        XMLDocument document(stream.str());
        wi::SaveWorkInstructionDocInput copy;
        copy.parse(document.root());

        const auto& info = copy.getSavedObjectArray().at(0);
        const auto& entry = info->getModifiedDCDArray().at(0)->getObjectData()->getIntPropArray().at(0);
        std::cout << info->getTargetObject()->getUid() << ": " << entry->getKey() << " = " << entry->getValue()
                  << '\n';
        return info->getWorkInstructionFile() == saved->getWorkInstructionFile() && entry->getValue() == 25 ? 0 : 1;
    } catch (const DomException& error) {
        std::cerr << "not a valid message: " << error.what() << '\n';
        return 1;
    }
}
