// The HTTP side of the server: libmicrohttpd's callbacks, which read each
// request within its bounds, hand it to the dispatcher and log the exchange.

#include "ServerState.hpp"

#include <microhttpd.h>

#include <malloc.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <memory>
#include <new>
#include <thread>
#include <vector>

#include "BodyBudget.hpp"
#include "Dispatch.hpp"
#include "RequestDeadlines.hpp"
#include "Framing.hpp"
#include "LibraryLog.hpp"
#include "LingeringCloser.hpp"
#include "AccessLog.hpp"
#include "AnswerMemory.hpp"
#include "CallFacts.hpp"
#include "ExchangeRecord.hpp"
#include "Listener.hpp"

namespace Velmora::Schemas::Mes::_2010_09::Workinstructions::serving {

namespace {

void* beginExchange(void* context, const char*, MHD_Connection* connection)
{
    ServerState& server = *static_cast<ServerState*>(context);
    try {
        server.deadlines.exchangeBegun(connection);
        auto* exchange = new Exchange(server.budget);
        ++server.open;
        return exchange;
    } catch (...) {
        return nullptr;
    }
}

const char* header(MHD_Connection* connection, const char* name)
{
    return MHD_lookup_connection_value(connection, MHD_HEADER_KIND, name);
}

// What becomes of the connection after the answer: kept; closed; or closed
// gracefully, for its client may still be sending a body nobody reads.
enum class Then { keep, close, linger };

MHD_Result queue(ServerState& server, Exchange& exchange, MHD_Connection* connection, ServiceAnswer answer,
                 Then then = Then::keep, const char* retryAfter = nullptr, Refusal refusal = Refusal::none)
{
    server.deadlines.requestIn(connection);
    int status = 0;
    std::size_t size = 0;
    MHD_Response* response = responseFor(server.answers, answer, status, size);
    if (!response) return MHD_NO;
    if (status == answer.status) {
        MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE, answer.contentType);
        if (answer.allowHeader) MHD_add_response_header(response, MHD_HTTP_HEADER_ALLOW, "GET, HEAD, POST");
        if (answer.challenge) MHD_add_response_header(response, MHD_HTTP_HEADER_WWW_AUTHENTICATE, answer.challenge);
        if (retryAfter) MHD_add_response_header(response, MHD_HTTP_HEADER_RETRY_AFTER, retryAfter);
    } else {
        MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE, "text/plain; charset=utf-8");
    }
    if (!exchange.facts.requestId.empty()) {
        MHD_add_response_header(response, "X-Request-Id", exchange.facts.requestId.c_str());
    }
    // A stopping server takes no further request on the connection.
    if (then != Then::keep || server.stopping) MHD_add_response_header(response, MHD_HTTP_HEADER_CONNECTION, "close");
    const MHD_Result result = MHD_queue_response(connection, static_cast<unsigned>(status), response);
    MHD_destroy_response(response);
    if (result == MHD_YES) {
        exchange.queued = true;
        exchange.status = status;
        exchange.sent = size;
        exchange.operation = answer.operation;
        // Replaced by the 503 of the answers' budget, it is no SOAP answer any more.
        const bool replaced = status != answer.status;
        if (!replaced) exchange.version = answer.version;
        if (!replaced) exchange.end.fault = answer.fault;
        exchange.end.refusal = replaced ? Refusal::answerMemory : refusal;
        if (then == Then::linger) server.deadlines.lingerOnClose(connection);
    }
    return result;
}

MHD_Result refuse(ServerState& server, Exchange& exchange, MHD_Connection* connection, int status, std::string why,
                  Refusal refusal, Then then = Then::linger)
{
    exchange.body.release();
    return queue(server, exchange, connection, plainAnswer(status, std::move(why)), then, nullptr, refusal);
}

MHD_Result tooLarge(ServerState& server, Exchange& exchange, MHD_Connection* connection, Then then = Then::linger)
{
    return refuse(server, exchange, connection, 413,
                  "the request body is over the limit of " + std::to_string(server.options.maxBody) +
                      " bytes",
                  Refusal::bodyLimit, then);
}

MHD_Result overBudget(ServerState& server, Exchange& exchange, MHD_Connection* connection)
{
    exchange.body.release();
    ServiceAnswer answer = plainAnswer(503, "the request bodies in flight fill the server's memory for them (" +
                                                std::to_string(server.budget.limit()) + " bytes); try again shortly");
    return queue(server, exchange, connection, std::move(answer), Then::linger, "1", Refusal::bodyMemory);
}

// The same answer whatever was wrong. A body it announced is not read: the
// connection is closed after the answer, but for a small one, drained so
// that the client reads the answer.
MHD_Result refuseCaller(ServerState& server, Exchange& exchange, MHD_Connection* connection,
                        const Admission& admission, unsigned long long declared)
{
    const bool body = declared > 0 || header(connection, MHD_HTTP_HEADER_TRANSFER_ENCODING);
    ServiceAnswer answer = plainAnswer(admission.status, admission.status == 401 ? "authentication required"
                                                                                 : "not allowed");
    answer.challenge = admission.challenge;
    const Then then = !body ? Then::keep : declared > 0 && declared <= (64u << 10) ? Then::linger : Then::close;
    return queue(server, exchange, connection, std::move(answer), then, nullptr, Refusal::authentication);
}

MHD_Result headersIn(ServerState& server, Exchange& exchange, MHD_Connection* connection, const char* url,
                     const char* method, const char* version)
{
    exchange.headersSeen = true;
    exchange.method = method;
    exchange.path = url;
    HeaderFields fields;
    MHD_get_connection_values_n(
        connection, MHD_HEADER_KIND,
        [](void* target, MHD_ValueKind, const char* key, size_t keySize, const char* value,
           size_t valueSize) -> MHD_Result {
            static_cast<HeaderFields*>(target)->emplace_back(std::string_view(key, keySize),
                                                             std::string_view(value ? value : key + keySize, valueSize));
            return MHD_YES;
        },
        &fields);
    // Gathered first, so that a refusal too carries the request id and is logged with the peer.
    exchange.facts = gatherFacts(connection, fields, !server.tls.clientCa.empty());
    FramingVerdict framing = checkLineEnds(version, fields);
    if (framing.status == 0) framing = checkFraming(fields, std::strcmp(version, MHD_HTTP_VERSION_1_0) != 0);
    if (framing.status != 0) {
        return refuse(server, exchange, connection, framing.status, framing.reason, Refusal::framing);
    }
    // Refused before a byte of the body is read.
    const char* length = header(connection, MHD_HTTP_HEADER_CONTENT_LENGTH);
    const unsigned long long declared = length ? std::strtoull(length, nullptr, 10) : 0;
    const Admission admission = admit(server.options, exchange.facts, method, url);
    if (admission.status != 0) return refuseCaller(server, exchange, connection, admission, declared);
    // A body too long to drain gets an abrupt close: no point reading what never ends in time.
    if (declared > server.options.maxBody) {
        return tooLarge(server, exchange, connection,
                        declared > lingerBytes(server.options) ? Then::close : Then::linger);
    }
    // Nothing is reserved for it, but a body that cannot fit beside those in flight is turned away now.
    if (declared > server.budget.limit() - std::min(server.budget.used(), server.budget.limit())) {
        return overBudget(server, exchange, connection);
    }
    return MHD_YES;
}

MHD_Result answerRequest(ServerState& server, Exchange& exchange, MHD_Connection* connection, const char* url,
                         const char* method)
{
    server.deadlines.requestIn(connection); // however long the answer takes
    ServiceRequest request;
    request.method = method;
    request.path = url;
    // libmicrohttpd takes the query off the URL; a bare "?wsdl" comes back as an argument without value.
    MHD_get_connection_values(
        connection, MHD_GET_ARGUMENT_KIND,
        [](void* target, MHD_ValueKind, const char* key, const char* value) -> MHD_Result {
            auto& text = *static_cast<std::string*>(target);
            if (text.empty()) text = value ? std::string(key) + "=" + value : key;
            return MHD_NO;
        },
        &request.query);
    const char* host = header(connection, MHD_HTTP_HEADER_HOST);
    if (host) request.host = host;
    request.contentType = header(connection, MHD_HTTP_HEADER_CONTENT_TYPE);
    request.soapAction = header(connection, "SOAPAction");
    request.body = exchange.body.text();
    CallFacts& facts = exchange.facts;
    const int socket = facts.socket;
    CallContext context(facts.peerAddress, facts.peerPort, std::move(facts.headers), facts.identity, facts.requestId,
                        [socket] { return clientGone(socket); });
    request.context = &context;
    ServiceAnswer answer;
    const char* retryAfter = nullptr;
    Refusal refusal = Refusal::none;
    try {
        const bool get = request.method == "GET" || request.method == "HEAD";
        if (server.metrics && get && request.path == server.options.metricsPath && request.query.empty()) {
            answer = metricsAnswer(server);
        } else {
            answer = server.dispatcher.answer(request, server.stopping);
        }
    } catch (const std::bad_alloc&) {
        exchange.body.release();
        answer = plainAnswer(503, "the server ran out of memory for this request; try again shortly");
        retryAfter = "1";
        refusal = Refusal::outOfMemory;
    } catch (const std::exception& error) {
        logLine(server.options.logPrefix, std::string("answering failed: ") + error.what());
        answer.status = 500;
        answer.contentType = "text/xml; charset=utf-8";
        answer.text = internalErrorFault("the server failed to answer");
        answer.version = SoapVersion::Soap11;
        answer.fault = ::Kavella::Soa::Common::Xml::SoapFaultCode::Receiver;
    }
    exchange.body.release();
    if (answer.caller) facts.identity = *answer.caller;
    if (answer.refusedCaller) refusal = Refusal::authentication;
    return queue(server, exchange, connection, std::move(answer), Then::keep, retryAfter, refusal);
}

MHD_Result handleUnguarded(ServerState& server, MHD_Connection* connection, const char* url, const char* method,
                           const char* version, const char* data, size_t* size, void** slot)
{
    auto* exchange = static_cast<Exchange*>(*slot);
    if (!exchange) { // when the URI log callback did not run
        *slot = exchange = new Exchange(server.budget);
        ++server.open;
    }
    if (!exchange->headersSeen) return headersIn(server, *exchange, connection, url, method, version);
    if (exchange->queued) { // answered early; the rest is not read
        *size = 0;
        return MHD_YES;
    }
    if (*size != 0) {
        // libmicrohttpd 0.9.75 takes no answer while a body is coming in: one
        // refused midway is answered at its end, the bytes up to it dropped.
        exchange->received += *size;
        const std::string_view arrived(data, *size);
        *size = 0;
        if (exchange->refusal == 0) {
            if (exchange->received > server.options.maxBody) { // chunked, so no length came first
                exchange->refusal = 413;
            } else if (!exchange->body.append(arrived, server.options.maxBody)) {
                exchange->refusal = 503;
            }
            if (exchange->refusal != 0) exchange->body.release();
        }
        if (exchange->received > 2 * server.options.maxBody) {
            exchange->cutForBody = true;
            return MHD_NO;
        }
        return MHD_YES;
    }
    if (exchange->refusal == 413) return tooLarge(server, *exchange, connection);
    if (exchange->refusal == 503) return overBudget(server, *exchange, connection);
    return answerRequest(server, *exchange, connection, url, method);
}

// No exception may cross into libmicrohttpd's C: one that gets here (out of
// memory for bookkeeping) ends the connection.
MHD_Result handle(void* context, MHD_Connection* connection, const char* url, const char* method,
                  const char* version, const char* data, size_t* size, void** slot)
{
    try {
        return handleUnguarded(*static_cast<ServerState*>(context), connection, url, method, version, data, size,
                               slot);
    } catch (...) {
        return MHD_NO;
    }
}

void endExchange(void* context, MHD_Connection* connection, void** slot, MHD_RequestTerminationCode code)
{
    ServerState& server = *static_cast<ServerState*>(context);
    const std::unique_ptr<Exchange> exchange(static_cast<Exchange*>(*slot));
    *slot = nullptr;
    try {
        if (code == MHD_REQUEST_TERMINATED_COMPLETED_OK) server.deadlines.requestDone(connection);
        if (exchange) recordExchange(server, *exchange, connection, code);
    } catch (...) {
        // Out of memory for the record: the exchange goes unlogged rather than the server down.
    }
    if (exchange) --server.open;
}

// A request refused by libmicrohttpd, or cut, before it reached our callbacks
// still gets its record.
void notifyConnection(void* context, MHD_Connection* connection, void** socketContext,
                      MHD_ConnectionNotificationCode code)
{
    ServerState& server = *static_cast<ServerState*>(context);
    if (server.metrics) {
        if (code == MHD_CONNECTION_NOTIFY_STARTED) server.metrics->connectionOpened();
        if (code == MHD_CONNECTION_NOTIFY_CLOSED) server.metrics->connectionClosed();
    }
    if (code == MHD_CONNECTION_NOTIFY_CLOSED && server.deadlines.unseenRequest(connection)) {
        try {
            recordUnseenRequest(server, connection);
        } catch (...) {
            // Out of memory for the record: the exchange goes unlogged.
        }
    }
    RequestDeadlines::notify(&server.deadlines, connection, socketContext, code);
}

} // namespace

std::size_t lingerBytes(const ServerOptions& options)
{
    return std::max<std::size_t>(2 * options.maxBody, 1u << 20);
}

MHD_Daemon* startDaemon(ServerState& state, int listeningSocket, bool ipv6, unsigned connections)
{
    // poll, not epoll: edge-triggered, libmicrohttpd 0.9.75 misses a hang-up that
    // arrives with the last bytes of a partial body and holds the connection until
    // the idle timeout.
    unsigned flags = MHD_USE_ERROR_LOG | MHD_USE_INTERNAL_POLLING_THREAD | MHD_USE_POLL | MHD_USE_ITC;
    if (ipv6) flags |= MHD_USE_IPv6;
    ServerState* context = &state;
    std::vector<MHD_OptionItem> tls;
    if (!state.tls.certificate.empty()) {
        flags |= MHD_USE_TLS;
        tls.push_back({MHD_OPTION_HTTPS_MEM_CERT, 0, const_cast<char*>(state.tls.certificate.c_str())});
        tls.push_back({MHD_OPTION_HTTPS_MEM_KEY, 0, const_cast<char*>(state.tls.key.c_str())});
        tls.push_back({MHD_OPTION_HTTPS_PRIORITIES, 0, const_cast<char*>(tlsPriorities)});
        if (!state.tls.clientCa.empty()) {
            tls.push_back({MHD_OPTION_HTTPS_MEM_TRUST, 0, const_cast<char*>(state.tls.clientCa.c_str())});
        }
    }
    tls.push_back({MHD_OPTION_END, 0, nullptr});
    // The header limit is the connection's memory pool, which holds the request line and headers.
    return MHD_start_daemon(
        flags, 0, nullptr, nullptr, handle, context,
        MHD_OPTION_EXTERNAL_LOGGER, keepLibraryRefusal, nullptr,
        MHD_OPTION_LISTEN_SOCKET, listeningSocket,
        MHD_OPTION_THREAD_POOL_SIZE, state.options.threads,
        MHD_OPTION_CONNECTION_LIMIT, connections,
        MHD_OPTION_CONNECTION_TIMEOUT, state.options.idleTimeout,
        MHD_OPTION_CONNECTION_MEMORY_LIMIT, state.options.maxHeader,
        MHD_OPTION_URI_LOG_CALLBACK, beginExchange, context,
        MHD_OPTION_NOTIFY_COMPLETED, endExchange, context,
        MHD_OPTION_NOTIFY_CONNECTION, notifyConnection, context,
        MHD_OPTION_ARRAY, tls.data(),
        MHD_OPTION_END);
}

} // namespace Velmora::Schemas::Mes::_2010_09::Workinstructions::serving
