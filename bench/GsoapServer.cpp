// gSOAP's own server for the work-instruction service, generated from the
// WSDL (soapcpp2 -S), as the peer that bench/load measures `wixml serve`
// against. It answers every load and save with the objects read once from
// DIR/load-reply.xml and DIR/save-reply.xml, serialised anew per request as a
// gSOAP service does. A thread per connection, as gSOAP's guide shows its
// multi-threaded stand-alone server, with keep-alive.
//
//   kvsoa-gsoap-server PORT REPLIES_DIR      (PORT 0: a free one)
// prints "listening on http://127.0.0.1:PORT/" once it accepts connections.

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <pthread.h>
#include <sys/socket.h>

#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include "WorkInstructionsSoap11.nsmap"
#include "soapH.h"

namespace {

struct Replies {
    ns1__LoadedObjectsResponse* load = nullptr;
    ns1__SavedObjectsResponse* save = nullptr;
};

// Set once before the first connection is accepted, read-only afterwards.
Replies replies;

template <typename Message>
Message* readReply(soap* context, const std::string& path, int (*read)(soap*, Message*), Message* (*make)(soap*, int))
{
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        std::cerr << "kvsoa-gsoap-server: cannot open " << path << '\n';
        return nullptr;
    }
    context->is = &file;
    Message* message = make(context, -1);
    if (read(context, message) != SOAP_OK) {
        std::cerr << "kvsoa-gsoap-server: cannot read " << path << ": ";
        soap_stream_fault(context, std::cerr);
        message = nullptr;
    }
    context->is = nullptr;
    return message;
}

// The keep-alive loop of soap_serve keeps what each request allocated until
// the connection ends, unless it is freed here.
int freeRequest(soap* context)
{
    soap_destroy(context);
    soap_end(context);
    return SOAP_OK;
}

void* serveConnection(void* context)
{
    auto* connection = static_cast<soap*>(context);
    pthread_detach(pthread_self());
    soap_serve(connection);
    soap_destroy(connection);
    soap_end(connection);
    soap_free(connection);
    return nullptr;
}

} // namespace

// Both bindings (SOAP 1.1 and 1.2) dispatch here; the reply shares the
// objects read at start-up, which no request context owns.
int __ns1__load(soap*, ns1__LoadWorkInstructionDocInput*, ns1__LoadedObjectsResponse& reply)
{
    reply = *replies.load;
    return SOAP_OK;
}

int __ns1__save(soap*, ns1__SaveWorkInstructionDocInput*, ns1__SavedObjectsResponse& reply)
{
    reply = *replies.save;
    return SOAP_OK;
}

int __ns1__load_(soap* context, ns1__LoadWorkInstructionDocInput* request, ns1__LoadedObjectsResponse& reply)
{
    return __ns1__load(context, request, reply);
}

int __ns1__save_(soap* context, ns1__SaveWorkInstructionDocInput* request, ns1__SavedObjectsResponse& reply)
{
    return __ns1__save(context, request, reply);
}

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::cerr << "usage: kvsoa-gsoap-server PORT REPLIES_DIR\n";
        return 2;
    }
    // Tree mode: the replies have no shared parts to number; UTF-8 unchanged.
    const int mode = SOAP_IO_KEEPALIVE | SOAP_XML_TREE | SOAP_C_UTFSTRING;
    soap* stock = soap_new1(mode);
    const std::string directory = argv[2];
    replies.load = readReply(stock, directory + "/load-reply.xml", soap_read_ns1__LoadedObjectsResponse,
                             soap_new_ns1__LoadedObjectsResponse);
    replies.save = readReply(stock, directory + "/save-reply.xml", soap_read_ns1__SavedObjectsResponse,
                             soap_new_ns1__SavedObjectsResponse);
    if (!replies.load || !replies.save) return 2;

    soap* listener = soap_new1(mode);
    listener->bind_flags = SO_REUSEADDR;
    listener->max_keep_alive = 0; // as long as the client keeps the connection, as wixml serve does
    listener->send_timeout = listener->recv_timeout = 30;
    listener->fserveloop = freeRequest;
    if (!soap_valid_socket(soap_bind(listener, "127.0.0.1", std::stoi(argv[1]), 128))) {
        soap_stream_fault(listener, std::cerr);
        return 2;
    }
    sockaddr_in bound{};
    socklen_t length = sizeof bound;
    getsockname(listener->master, reinterpret_cast<sockaddr*>(&bound), &length);
    std::cout << "listening on http://127.0.0.1:" << ntohs(bound.sin_port) << "/" << std::endl;
    for (;;) {
        if (!soap_valid_socket(soap_accept(listener))) {
            soap_stream_fault(listener, std::cerr);
            continue;
        }
        const int on = 1; // as wixml serve's library does; small replies must not wait for Nagle
        setsockopt(listener->socket, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        soap* connection = soap_copy(listener);
        pthread_t thread;
        if (!connection || pthread_create(&thread, nullptr, serveConnection, connection) != 0) {
            soap_force_closesock(listener);
            if (connection) soap_free(connection);
        }
    }
}
