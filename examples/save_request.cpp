// Saving a work instruction, as a client of the service does it: build the
// request, write it as XML, and read the reply the service sends back.
//
//   example_save_request [REPLY.xml]
//
// Without an argument a reply is read from a text built into the program.

#include <fstream>
#include <iostream>
#include <sstream>
#include <stdexcept>
#include <string>

#include "workinstructions/WorkInstructions.hpp"

using namespace Velmora::Schemas::Mes::_2010_09::Workinstructions;
using Kavella::Soa::Common::Xml::DomException;
using Kavella::Soa::Common::Xml::XMLDocument;

namespace {

const char* const builtInReply =
    "<wi:SavedObjectsResponse xmlns:wi=\"http://velmora.com/Schemas/MES/2010-09/WorkInstructions\"\n"
    "                         xmlns:base=\"http://kavella.com/Schemas/Soa/2006-03/Base\">\n"
    "  <ServiceData>\n"
    "    <base:updated uid=\"Dcd0815Torque\"/>\n"
    "  </ServiceData>\n"
    "</wi:SavedObjectsResponse>\n";

// One modified data-collection step: the torque to apply, and what to check.
AutoPtr<SavedSubSTXInfo> torqueStep()
{
    AutoPtr<CreateInput> data(new CreateInput);
    data->setType("DataCollectionDefinition");

    AutoPtr<StringMap> name(new StringMap);
    name->setKey("object_name");
    name->setValue("Torque check, housing bolts");
    data->addStringProp(name);

    AutoPtr<DoubleMap> torque(new DoubleMap);
    torque->setKey("nominal_torque");
    torque->setValue(24.5);
    data->addDoubleProp(torque);

    AutoPtr<IntVectorMap> order(new IntVectorMap);
    order->setKey("bolt_order");
    order->setValueArray({1, 3, 2, 4});
    data->addIntArrayProp(order);

    AutoPtr<SavedSubSTXInfo> step(new SavedSubSTXInfo);
    step->setTransientId("dcd-1");
    step->setPersistentId("Dcd0815Torque");
    step->setOwningObjectTransientId("stx-1");
    step->setObjectData(data);
    return step;
}

std::string readFile(const char* path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error(std::string("cannot open ") + path);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

} // namespace

int main(int argc, char** argv)
{
    try {
        // 1. The request: one document, its target operation and one modified step.
        AutoPtr<SavedObjectInfo> document(new SavedObjectInfo);
        document->setWorkInstructionFile("WI-4711/B/gearbox-housing.wix");
        document->setTargetObject(new ModelObject("Op0010Gearbox"));
        document->addModifiedDCD(torqueStep());

        SaveWorkInstructionDocInput request;
        request.addSavedObject(document);

        // 2. Written as one element. The root carries the schema prefix like its
        // children, so that the text is namespace-well-formed.
        XmlStream stream;
        stream.setIndent(2);
        const std::string prefix = stream.getNamespacePrefix(NamespaceUri);
        request.outputXML(stream, prefix + ":SaveWorkInstructionDocInput");
        std::cout << "Request:\n" << stream.str() << "\n\n";

        // 3. The reply: parse the text, then let a fresh object read the root element.
        const std::string replyText = argc > 1 ? readFile(argv[1]) : builtInReply;
        const XMLDocument replyDocument(replyText);
        SavedObjectsResponse reply;
        reply.parse(replyDocument.root());

        const ServiceData& data = *reply.getServiceData();
        std::cout << "Reply: " << data.getCreatedArray().size() << " created, " << data.getUpdatedArray().size()
                  << " updated, " << data.getDeletedArray().size() << " deleted\n";
        for (const auto& error : data.getPartialErrorArray()) {
            std::cout << "  partial error " << error.code << " on " << error.uid << ": " << error.message << '\n';
        }
        return 0;
    } catch (const DomException& error) {
        // Malformed XML or a value that does not convert, with where it was.
        std::cerr << "error at line " << error.line() << ", column " << error.column() << ": " << error.what()
                  << '\n';
        return 1;
    } catch (const std::exception& error) {
        std::cerr << "error: " << error.what() << '\n';
        return 1;
    }
}
