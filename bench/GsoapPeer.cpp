#include "GsoapPeer.hpp"

#include <cstring>
#include <stdexcept>
#include <string_view>

#include "Corpus.hpp"
#include "ns1.nsmap"
#include "soapH.h"

namespace kvsoabench
{

namespace
{

template <typename Message>
struct Generated;
template <>
struct Generated<SaveWorkInstructionDocInput> {
    using Type = ns1__SaveWorkInstructionDocInput;
    static Type* make(soap* context) { return soap_new_ns1__SaveWorkInstructionDocInput(context); }
    static int read(soap* context, Type* message)
    {
        return soap_read_ns1__SaveWorkInstructionDocInput(context, message);
    }
    static int write(soap* context, const Type* message)
    {
        return soap_write_ns1__SaveWorkInstructionDocInput(context, message);
    }
    static std::size_t records(const Type& message) { return message.savedObjects.size(); }
};
template <>
struct Generated<LoadedObjectsResponse> {
    using Type = ns1__LoadedObjectsResponse;
    static Type* make(soap* context) { return soap_new_ns1__LoadedObjectsResponse(context); }
    static int read(soap* context, Type* message) { return soap_read_ns1__LoadedObjectsResponse(context, message); }
    static int write(soap* context, const Type* message)
    {
        return soap_write_ns1__LoadedObjectsResponse(context, message);
    }
    static std::size_t records(const Type& message) { return message.loadedObjects.size(); }
};

// The callbacks find their text through soap::user.
size_t receive(soap* context, char* buffer, size_t length)
{
    auto& rest = *static_cast<std::string_view*>(context->user);
    const size_t size = rest.size() < length ? rest.size() : length;
    std::memcpy(buffer, rest.data(), size);
    rest.remove_prefix(size);
    return size;
}

int send(soap* context, const char* data, size_t length)
{
    static_cast<std::string*>(context->user)->append(data, length);
    return SOAP_OK;
}

[[noreturn]] void fail(soap* context, const char* what)
{
    const char* detail = *soap_faultdetail(context) ? *soap_faultdetail(context) : "";
    throw std::runtime_error(std::string(what) + ": gSOAP error " + std::to_string(context->error) + " " +
                             (*soap_faultstring(context) ? *soap_faultstring(context) : "") + " " + detail);
}

} // namespace

// Tree mode: no multi-reference analysis, which these messages never need;
// strings carry UTF-8 unchanged, as ours do.
template <typename Message>
GsoapPeer<Message>::GsoapPeer() : m_soap(soap_new1(SOAP_XML_TREE | SOAP_C_UTFSTRING))
{
    if (!m_soap) throw std::bad_alloc();
}

template <typename Message>
GsoapPeer<Message>::~GsoapPeer()
{
    clear();
    soap_free(m_soap);
}

template <typename Message>
std::size_t GsoapPeer<Message>::read(const std::string& text)
{
    using G = Generated<Message>;
    std::string_view rest(text);
    m_soap->user = &rest;
    m_soap->frecv = &receive;
    auto* message = G::make(m_soap);
    if (G::read(m_soap, message) != SOAP_OK) fail(m_soap, "reading");
    m_message = message;
    return G::records(*message);
}

template <typename Message>
void GsoapPeer<Message>::write(std::string& out)
{
    using G = Generated<Message>;
    m_soap->user = &out;
    m_soap->fsend = &send;
    if (G::write(m_soap, static_cast<const typename G::Type*>(m_message)) != SOAP_OK) fail(m_soap, "writing");
}

template <typename Message>
void GsoapPeer<Message>::clear()
{
    soap_destroy(m_soap);
    soap_end(m_soap);
    m_message = nullptr;
}

template class GsoapPeer<SaveWorkInstructionDocInput>;
template class GsoapPeer<LoadedObjectsResponse>;

} // namespace kvsoabench
