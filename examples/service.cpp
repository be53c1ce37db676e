// A work-instruction service of its own: save keeps each document in memory
// under its target object's uid, load answers from what was saved, and a load
// of a uid never saved gets a fault the client can tell apart.
//
//   example_service [--port N] [--tls-cert FILE --tls-key FILE] [--users FILE] [--token-users FILE]
//
// With a certificate and key it speaks HTTPS; with an htpasswd file of bcrypt
// entries (htpasswd -B) callers log in with HTTP Basic, and save records who
// saved each document. With --token-users, a file of "user:password" lines
// standing in for a program's own user store, callers prove who they are
// with a WS-Security UsernameToken (PasswordDigest) instead. It prints "listening on URL" and serves until SIGINT or
// SIGTERM.

#include <signal.h>

#include <cstdlib>
#include <fstream>
#include <functional>
#include <iostream>
#include <map>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <string_view>

#include "workinstructions/Server.hpp"
#include "workinstructions/WorkInstructions.hpp"

using namespace Velmora::Schemas::Mes::_2010_09::Workinstructions;
using Kavella::Soa::Common::Xml::appendFaultText;
using Kavella::Soa::Common::Xml::SoapFault;
using Kavella::Soa::Common::Xml::SoapFaultCode;
using Kavella::Soa::Common::Xml::SoapFaultParts;

namespace {

const char* const faultNamespace = "urn:example:work-instruction-store";

// A data-collection step or part as load hands it back.
AutoPtr<LoadedSubSTXInfo> loaded(const SavedSubSTXInfo& saved, const char* type)
{
    AutoPtr<LoadedSubSTXInfo> step(new LoadedSubSTXInfo);
    step->setTransientId(saved.getTransientId());
    step->setPersistentId(saved.getPersistentId());
    step->setOwningObjectTransientId(saved.getOwningObjectTransientId());
    step->setObjectType(saved.getObjectData() ? saved.getObjectData()->getType() : type);
    step->setObjectData(saved.getObjectData());
    return step;
}

class DocumentStore : public Service {
public:
    using Service::load;
    using Service::save;

    // Who saves is known to the server once the caller has logged in: the log says it.
    AutoPtr<SavedObjectsResponse> save(const SaveWorkInstructionDocInput& request, CallContext& context) override
    {
        if (!context.identity().name.empty()) {
            std::clog << "example_service: " << context.identity().name << " saves (request "
                      << context.requestId() << ")\n";
        }
        return save(request);
    }

    AutoPtr<SavedObjectsResponse> save(const SaveWorkInstructionDocInput& request) override
    {
        AutoPtr<ServiceData> changes(new ServiceData);
        const std::lock_guard<std::mutex> lock(m_mutex);
        for (const AutoPtr<SavedObjectInfo>& document : request.getSavedObjectArray()) {
            const std::string uid = document->getTargetObject() ? document->getTargetObject()->getUid() : "";
            if (uid.empty()) throw SoapFault(SoapFaultParts(SoapFaultCode::Sender, "a saved object has no targetObject uid"));
            const bool known = m_documents.count(uid) != 0;
            m_documents[uid] = document; // the request's objects are ours to keep
            if (known) changes->addUpdated(uid); else changes->addCreated(uid);
        }
        AutoPtr<SavedObjectsResponse> reply(new SavedObjectsResponse);
        reply->setServiceData(changes);
        return reply;
    }

    AutoPtr<LoadedObjectsResponse> load(const LoadWorkInstructionDocInput& request) override
    {
        AutoPtr<LoadedObjectsResponse> reply(new LoadedObjectsResponse);
        const std::lock_guard<std::mutex> lock(m_mutex);
        for (const AutoPtr<ObjectsReferenced>& wanted : request.getLoadedInfoArray()) {
            const std::string uid = wanted->getTargetObject() ? wanted->getTargetObject()->getUid() : "";
            const auto found = m_documents.find(uid);
            if (found == m_documents.end()) throw unknownUid(uid);
            const SavedObjectInfo& saved = *found->second;
            AutoPtr<LoadedObjectInfo> document(new LoadedObjectInfo);
            document->setWorkInstructionFile(saved.getWorkInstructionFile());
            document->setTargetContext(wanted->getTargetContext());
            document->setTargetObject(saved.getTargetObject());
            for (const auto& step : saved.getModifiedDCDArray()) document->addLoadedDCD(loaded(*step, "DataCollectionDefinition"));
            for (const auto& part : saved.getModifiedPFArray()) document->addLoadedPF(loaded(*part, "ProcessFeature"));
            for (const auto& symbol : saved.getSymbolArray()) document->addSymbol(symbol);
            reply->addLoadedObject(document);
        }
        reply->setServiceData(new ServiceData);
        return reply;
    }

private:
    // The client's mistake (Client, or Sender in SOAP 1.2), told apart by a
    // subcode of our own, with the uid in the detail.
    static SoapFault unknownUid(const std::string& uid)
    {
        SoapFaultParts parts(SoapFaultCode::Sender, "no work instruction was saved for '" + uid + "'");
        parts.subcodes.push_back(std::string("{") + faultNamespace + "}UnknownObject");
        parts.detailXml = std::string("<store:uid xmlns:store=\"") + faultNamespace + "\">";
        appendFaultText(parts.detailXml, uid);
        parts.detailXml += "</store:uid>";
        return SoapFault(std::move(parts));
    }

    std::mutex m_mutex;
    std::map<std::string, AutoPtr<SavedObjectInfo>> m_documents;
};

// A PasswordDigest needs the password itself: here from a file, in a real
// service from its own store.
std::function<std::string(std::string_view)> tokenPasswords(const std::string& path)
{
    std::ifstream file(path);
    if (!file) throw std::runtime_error("cannot read the token users file " + path);
    auto passwords = std::make_shared<std::map<std::string, std::string, std::less<>>>();
    for (std::string line; std::getline(file, line);) {
        const std::size_t colon = line.find(':');
        if (colon != std::string::npos) (*passwords)[line.substr(0, colon)] = line.substr(colon + 1);
    }
    return [passwords](std::string_view user) {
        const auto found = passwords->find(user);
        return found == passwords->end() ? std::string() : found->second;
    };
}

} // namespace

int main(int argc, char** argv)
{
    ServerOptions options;
    options.logPrefix = "example_service: ";
    std::string users;
    std::string tokenUsers;
    for (int i = 1; i < argc; i += 2) {
        const std::string name = argv[i];
        const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
        if (value && name == "--port") {
            options.port = static_cast<unsigned short>(std::strtoul(value, nullptr, 10));
        } else if (value && name == "--tls-cert") {
            options.tlsCertificate = value;
        } else if (value && name == "--tls-key") {
            options.tlsKey = value;
        } else if (value && name == "--users") {
            users = value;
        } else if (value && name == "--token-users") {
            tokenUsers = value;
        } else {
            std::cerr << "usage: example_service [--port N] [--tls-cert FILE --tls-key FILE] [--users FILE] "
                         "[--token-users FILE]\n";
            return 1;
        }
    }
    // Blocked before the server's threads start, so that only sigwait sees them.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    DocumentStore store;
    try {
        if (!users.empty()) options.authenticator = htpasswdUsers(users, "work instructions");
        if (!tokenUsers.empty()) options.usernameTokens.password = tokenPasswords(tokenUsers);
        Server server(store, options);
        server.start();
        std::cout << "listening on " << server.url() << std::endl;
        int received = 0;
        sigwait(&stopSignals, &received);
        server.stop();
    } catch (const std::exception& error) {
        std::cerr << "example_service: " << error.what() << '\n';
        return 1;
    }
    return 0;
}
