// Saving a work instruction over the wire: the request goes in a SOAP 1.1
// envelope by HTTP POST to the service, and the reply (or a SOAP fault) comes
// back the same way.
//
//   example_soap_client URL
//
// Exit status: 0 saved, 1 no answer or an unreadable one, 2 a SOAP fault.

#include <curl/curl.h>

#include <iostream>
#include <memory>
#include <stdexcept>
#include <string>

#include "kvsoa/Soap.hpp"
#include "workinstructions/WorkInstructions.hpp"

using namespace Velmora::Schemas::Mes::_2010_09::Workinstructions;
using Kavella::Soa::Common::Xml::DomException;
using Kavella::Soa::Common::Xml::messageNode;
using Kavella::Soa::Common::Xml::SoapFault;
using Kavella::Soa::Common::Xml::Soap11NamespaceUri;
using Kavella::Soa::Common::Xml::XMLDocument;

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

// The message declares its own namespaces, so the envelope only adds its own.
std::string envelopeFor(const SaveWorkInstructionDocInput& request)
{
    XmlStream stream;
    const std::string prefix = stream.getNamespacePrefix(NamespaceUri);
    request.outputXML(stream, prefix + ":SaveWorkInstructionDocInput");
    return std::string("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<soapenv:Envelope xmlns:soapenv=\"") +
           Soap11NamespaceUri + "\"><soapenv:Body>" + stream.str() + "</soapenv:Body></soapenv:Envelope>\n";
}

size_t collect(char* data, size_t size, size_t count, void* target)
{
    static_cast<std::string*>(target)->append(data, size * count);
    return size * count;
}

// The body of the answer, whatever its HTTP status: SOAP 1.1 sends faults with 500.
std::string post(const std::string& url, const std::string& body, long& httpStatus)
{
    const std::unique_ptr<CURL, void (*)(CURL*)> curl(curl_easy_init(), curl_easy_cleanup);
    if (!curl) throw std::runtime_error("cannot start libcurl");
    curl_slist* headers = curl_slist_append(nullptr, "Content-Type: text/xml; charset=utf-8");
    // The save operation's action, as the service description binds it.
    headers = curl_slist_append(headers, "SOAPAction: \"http://velmora.com/Schemas/MES/2010-09/WorkInstructions/save\"");
    const std::unique_ptr<curl_slist, void (*)(curl_slist*)> headerList(headers, curl_slist_free_all);
    std::string answer;
    curl_easy_setopt(curl.get(), CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl.get(), CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(curl.get(), CURLOPT_POSTFIELDS, body.data());
    curl_easy_setopt(curl.get(), CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
    curl_easy_setopt(curl.get(), CURLOPT_WRITEFUNCTION, collect);
    curl_easy_setopt(curl.get(), CURLOPT_WRITEDATA, &answer);
    // A service that does not answer must not hang its client.
    curl_easy_setopt(curl.get(), CURLOPT_CONNECTTIMEOUT, 10L);
    curl_easy_setopt(curl.get(), CURLOPT_TIMEOUT, 60L);
    const CURLcode result = curl_easy_perform(curl.get());
    if (result != CURLE_OK) throw std::runtime_error(std::string("POST ") + url + ": " + curl_easy_strerror(result));
    curl_easy_getinfo(curl.get(), CURLINFO_RESPONSE_CODE, &httpStatus);
    return answer;
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

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::cerr << "usage: example_soap_client URL\n";
        return 1;
    }
    curl_global_init(CURL_GLOBAL_DEFAULT);
    int status = 1;
    long httpStatus = 0;
    try {
        const std::string answer = post(argv[1], envelopeFor(buildRequest()), httpStatus);
        const XMLDocument document(answer);
        SavedObjectsResponse reply;
        reply.parse(messageNode(document.root()));
        printReply(reply);
        status = 0;
    } catch (const SoapFault& fault) {
        std::cerr << "SOAP fault (HTTP " << httpStatus << "): code " << fault.code() << "\n  reason: " << fault.reason()
                  << '\n';
        if (!fault.detail().empty()) std::cerr << "  detail: " << fault.detail() << '\n';
        status = 2;
    } catch (const DomException& error) {
        std::cerr << "unreadable answer (HTTP " << httpStatus << "), line " << error.line() << ", column "
                  << error.column() << ": " << error.what() << '\n';
    } catch (const std::exception& error) {
        std::cerr << "error: " << error.what() << '\n';
    }
    curl_global_cleanup();
    return status;
}
