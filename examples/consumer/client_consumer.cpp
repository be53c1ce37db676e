// A program that uses the installed service library: a tiny Server answers a
// save from the Client, and a save to a port where nothing listens must come
// back as a CallError that says so.
//
//   c++ -std=c++17 client_consumer.cpp $(pkg-config --cflags --libs kvsoamesservice) -o client_consumer

#include <chrono>
#include <iostream>

#include "workinstructions/Client.hpp"
#include "workinstructions/Server.hpp"

namespace wi = Velmora::Schemas::Mes::_2010_09::Workinstructions;

namespace {

class CountingService : public wi::Service {
public:
    wi::AutoPtr<wi::LoadedObjectsResponse> load(const wi::LoadWorkInstructionDocInput&) override
    {
        return new wi::LoadedObjectsResponse;
    }
    wi::AutoPtr<wi::SavedObjectsResponse> save(const wi::SaveWorkInstructionDocInput& request) override
    {
        wi::AutoPtr<wi::SavedObjectsResponse> reply(new wi::SavedObjectsResponse);
        reply->setServiceData(new wi::ServiceData);
        for (const auto& saved : request.getSavedObjectArray()) {
            reply->getServiceData()->addCreated(saved->getWorkInstructionFile());
        }
        return reply;
    }
};

} // namespace

int main()
{
    CountingService service;
    wi::Server server(service);
    server.start();
    wi::AutoPtr<wi::SavedObjectInfo> document(new wi::SavedObjectInfo);
    document->setWorkInstructionFile("WI-1.wix");
    wi::SaveWorkInstructionDocInput request;
    request.addSavedObject(document);
    const auto created = wi::Client(server.url()).save(request)->getServiceData()->getCreatedArray();
    if (created != std::vector<std::string>{"WI-1.wix"}) {
        std::cerr << "the server's reply lost the saved document\n";
        return 1;
    }
    std::cout << "saved through " << server.url() << '\n';
    server.stop();

    wi::ClientOptions options;
    options.connectTimeout = std::chrono::seconds(5);
    options.timeout = std::chrono::seconds(5);
    // Port 1 (tcpmux) is closed on any ordinary machine.
    wi::Client client("http://127.0.0.1:1/WorkInstructions", options);
    try {
        client.save(wi::SaveWorkInstructionDocInput());
    } catch (const wi::CallError& error) {
        std::cout << "call failed as expected: " << error.what() << '\n';
        return error.kind() == wi::CallError::Kind::Refused ? 0 : 1;
    }
    std::cerr << "a save to a closed port succeeded\n";
    return 1;
}
