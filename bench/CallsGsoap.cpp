// gSOAP's proxy, used as its guide shows: one proxy per thread, keep-alive,
// and what a call read freed before the next.

#include <sstream>
#include <stdexcept>

#include "CallsDriver.hpp"
#include "WorkInstructionsSoap11.nsmap"
#include "soapWorkInstructionsSoap11Proxy.h"

namespace kvsoabench {

struct CallsDriver::State {
    WorkInstructionsSoap11Proxy proxy{SOAP_IO_KEEPALIVE, SOAP_IO_KEEPALIVE};
    soap* requests = soap_new1(SOAP_XML_STRICT); // owns the request, read once
    std::string url;
    ns1__LoadWorkInstructionDocInput* load = nullptr;
    ns1__SaveWorkInstructionDocInput* save = nullptr;
    ~State()
    {
        soap_destroy(requests);
        soap_end(requests);
        soap_free(requests);
    }
};

namespace {

// The message inside the envelope: what gSOAP's reader of one element takes.
std::string message(const std::string& envelope)
{
    const std::size_t body = envelope.find("Body>");
    const std::size_t end = envelope.rfind("</");
    const std::size_t close = envelope.rfind("</", end - 1);
    if (body == std::string::npos || close == std::string::npos) throw std::runtime_error("no Body in the request");
    return envelope.substr(body + 5, close - body - 5);
}

} // namespace

CallsDriver::CallsDriver(const std::string& url, const std::string& request) : m_state(new State)
{
    m_state->url = url;
    soap_set_namespaces(m_state->requests, namespaces);
    std::istringstream in(message(request));
    m_state->requests->is = &in;
    if (request.find("LoadWorkInstructionDocInput") != std::string::npos) {
        m_state->load = soap_new_ns1__LoadWorkInstructionDocInput(m_state->requests);
        if (soap_read_ns1__LoadWorkInstructionDocInput(m_state->requests, m_state->load) != SOAP_OK)
            throw std::runtime_error("gSOAP cannot read the load request");
    } else {
        m_state->save = soap_new_ns1__SaveWorkInstructionDocInput(m_state->requests);
        if (soap_read_ns1__SaveWorkInstructionDocInput(m_state->requests, m_state->save) != SOAP_OK)
            throw std::runtime_error("gSOAP cannot read the save request");
    }
    m_state->requests->is = nullptr;
}

CallsDriver::CallsDriver(const CallsDriver&, const std::string&)
{
    throw std::logic_error("gSOAP's proxy is not shared by threads");
}

CallsDriver::~CallsDriver() = default;

std::size_t CallsDriver::call()
{
    WorkInstructionsSoap11Proxy& proxy = m_state->proxy;
    const char* url = m_state->url.c_str();
    std::size_t records = 0;
    if (m_state->load) {
        ns1__LoadedObjectsResponse reply;
        if (proxy.load(url, nullptr, m_state->load, reply) != SOAP_OK) throw std::runtime_error("gSOAP load failed");
        records = reply.loadedObjects.size();
    } else {
        ns1__SavedObjectsResponse reply;
        if (proxy.save(url, nullptr, m_state->save, reply) != SOAP_OK) throw std::runtime_error("gSOAP save failed");
        if (reply.ServiceData) {
            records = reply.ServiceData->created.size() + reply.ServiceData->updated.size() +
                      reply.ServiceData->deleted.size();
        }
    }
    proxy.destroy(); // what the reply read, before the next call
    return records;
}

} // namespace kvsoabench
