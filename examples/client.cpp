// Saving a work instruction through the service's typed client: the request
// is built as objects, the Client posts it and reads the reply (or the fault)
// back as objects. With --load, it asks for a document instead; the example
// service answers a uid it never saved with a fault whose detail names it.
//
//   example_client [--soap12] [--cacert FILE] [--user NAME:PASSWORD] [--token-user NAME] [--load UID] URL
//
// --cacert: the CA that signed an https service's certificate; --user: HTTP
// Basic credentials; --token-user: a WS-Security UsernameToken for NAME in
// each request, a digest of the password in the environment variable WI_PASSWORD.
//
// Exit status: 0 saved, 1 no answer or an unreadable one, 2 a SOAP fault.

#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>

#include "workinstructions/Client.hpp"
#include "workinstructions/WorkInstructions.hpp"

using namespace Velmora::Schemas::Mes::_2010_09::Workinstructions;
using Kavella::Soa::Common::Xml::DomException;
using Kavella::Soa::Common::Xml::SoapFault;
using Kavella::Soa::Common::Xml::XMLNode;

namespace {

// One document with one modified data-collection step.
SaveWorkInstructionDocInput buildRequest()
{
    AutoPtr<CreateInput> data(new CreateInput);
    data->setType("DataCollectionDefinition");
    AutoPtr<DoubleMap> torque(new DoubleMap);
    torque->setKey("nominal_torque");
    torque->setValue(24.5);
    data->addDoubleProp(torque);

    AutoPtr<SavedSubSTXInfo> step(new SavedSubSTXInfo);
    step->setTransientId("dcd-1");
    step->setPersistentId("Dcd0815Torque");
    step->setOwningObjectTransientId("stx-1");
    step->setObjectData(data);

    AutoPtr<SavedObjectInfo> document(new SavedObjectInfo);
    document->setWorkInstructionFile("WI-4711/B/gearbox-housing.wix");
    document->setTargetObject(new ModelObject("Op0010Gearbox"));
    document->addModifiedDCD(step);

    SaveWorkInstructionDocInput request;
    request.addSavedObject(document);
    return request;
}

void printReply(const SavedObjectsResponse& reply)
{
    const ServiceData& data = *reply.getServiceData();
    std::cout << "Saved: " << data.getCreatedArray().size() << " created, " << data.getUpdatedArray().size()
              << " updated, " << data.getDeletedArray().size() << " deleted\n";
    for (const auto& uid : data.getCreatedArray()) std::cout << "  created " << uid << '\n';
    for (const auto& uid : data.getUpdatedArray()) std::cout << "  updated " << uid << '\n';
    for (const auto& uid : data.getDeletedArray()) std::cout << "  deleted " << uid << '\n';
    for (const auto& error : data.getPartialErrorArray()) {
        std::cout << "  partial error " << error.code << " on " << error.uid << ": " << error.message << '\n';
    }
}

LoadWorkInstructionDocInput buildLoad(const char* uid)
{
    AutoPtr<ObjectsReferenced> wanted(new ObjectsReferenced);
    wanted->setTargetObject(new ModelObject(uid));
    LoadWorkInstructionDocInput request;
    request.addLoadedInfo(wanted);
    return request;
}

void printFault(const SoapFault& fault)
{
    std::cerr << "SOAP fault: code " << fault.code() << "\n  reason: " << fault.reason() << '\n';
    for (const std::string& subcode : fault.subcodes()) std::cerr << "  subcode: " << subcode << '\n';
    if (!fault.detail().empty()) std::cerr << "  detail: " << fault.detail() << '\n';
    for (const XMLNode& entry : fault.detailEntries()) {
        std::cerr << "  detail element {" << entry.uri << "}" << entry.name << ": " << entry.text << '\n';
    }
    // The example service names the uid it does not know in an element of its own.
    if (const XMLNode* uid = fault.detailEntry("urn:example:work-instruction-store", "uid")) {
        std::cerr << "  unknown uid: " << uid->text << '\n';
    }
}

} // namespace

int main(int argc, char** argv)
{
    ClientOptions options;
    const char* loadUid = nullptr;
    int next = 1;
    for (; next + 1 < argc; ++next) {
        const std::string name = argv[next];
        if (name == "--soap12") {
            options.envelope = Envelope::Soap12;
        } else if (name == "--cacert" && next + 2 < argc) {
            options.caFile = argv[++next];
        } else if (name == "--user" && next + 2 < argc && std::strchr(argv[next + 1], ':')) {
            const std::string credentials = argv[++next];
            options.user = credentials.substr(0, credentials.find(':'));
            options.password = credentials.substr(credentials.find(':') + 1);
        } else if (name == "--load" && next + 2 < argc) {
            loadUid = argv[++next];
        } else if (name == "--token-user" && next + 2 < argc) {
            const char* password = std::getenv("WI_PASSWORD");
            options.usernameToken.user = argv[++next];
            options.usernameToken.password = password ? password : "";
        } else {
            break;
        }
    }
    if (argc != next + 1) {
        std::cerr << "usage: example_client [--soap12] [--cacert FILE] [--user NAME:PASSWORD] [--token-user NAME] [--load UID] URL\n";
        return 1;
    }
    try {
        Client client(argv[next], options);
        if (loadUid) {
            const AutoPtr<LoadedObjectsResponse> reply = client.load(buildLoad(loadUid));
            std::cout << "Loaded: " << reply->getLoadedObjectArray().size() << " documents\n";
            return 0;
        }
        const AutoPtr<SavedObjectsResponse> reply = client.save(buildRequest());
        printReply(*reply);
        return 0;
    } catch (const SoapFault& fault) { // before DomException, which it is too
        printFault(fault);
        return 2;
    } catch (const DomException& error) {
        std::cerr << "unreadable reply, line " << error.line() << ", column " << error.column() << ": "
                  << error.what() << '\n';
    } catch (const CallError& error) { // the transport, or an HTTP error without a fault
        std::cerr << "call failed: " << error.what() << '\n';
    } catch (const std::exception& error) {
        std::cerr << "error: " << error.what() << '\n';
    }
    return 1;
}
