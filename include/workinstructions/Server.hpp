#pragma once

// Serves a Service over HTTP: SOAP 1.1, SOAP 1.2 and bare messages, the WSDL
// and its schemas, a health check, and the limits a server on a network needs.

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "workinstructions/Authentication.hpp"
#include "workinstructions/Service.hpp"
#include "workinstructions/ServiceExport.hpp"
#include "workinstructions/XmlIO.hpp"

namespace Velmora::Schemas::Mes::_2010_09::Workinstructions {

/// One exchange as the access log has it (see ServerOptions::accessLog).
/// Fields clients sent (path, request id, user) come as sent, unescaped.
struct AccessRecord {
    /// When the request began to arrive.
    std::chrono::system_clock::time_point time;
    /// The client's address; empty when unknown.
    std::string peerAddress;
    /// The client's port; 0 when unknown.
    unsigned short peerPort = 0;
    /// Who the caller proved to be, or claimed to be when refused; empty when nobody.
    std::string user;
    /// The request id sent back in X-Request-Id; empty when the request was never read.
    std::string requestId;
    /// GET, POST...; empty when the request line was never read.
    std::string method;
    /// The path of the request, without its query.
    std::string path;
    /// load, save, wsdl, xsd, health, metrics, or "-" when none was recognised.
    std::string operation = "-";
    /// The SOAP version of the answer: "soap11", "soap12", "bare", or "-" for
    /// an answer that is no SOAP message (a fault to a bare request is SOAP 1.1).
    std::string version = "-";
    /// The HTTP status of the answer; 0 when the exchange was cut before one.
    int status = 0;
    /// "answered"; "unsent" when an answer was made but its client did not
    /// take it all; else what cut the exchange short: "read-timeout",
    /// "idle-timeout", "client-gone", "stopping", "body-too-large",
    /// "request-line", "no-request" (a TLS handshake without a request),
    /// "read-error" or "error".
    std::string outcome = "answered";
    /// Bytes of the request body that arrived.
    std::size_t received = 0;
    /// Bytes of the answer's body sent.
    std::size_t sent = 0;
    /// From the request's first byte to the end of the exchange.
    std::chrono::microseconds duration{0};
};

/// How a Server listens, and what it takes from clients.
struct ServerOptions {
    /// The address to listen on, numeric or a name; "0.0.0.0" or "::" for all.
    /// The default keeps the service to this machine.
    std::string host = "127.0.0.1";
    /// The port; 0 for a free one (see Server::url()).
    unsigned short port = 0;
    /// Worker threads, each running its share of the connections and calling
    /// the handlers of their requests; 0 for one per core.
    unsigned threads = 0;
    /// The most bytes of one request body; a longer one is answered 413.
    std::size_t maxBody = 8u << 20;
    /// The most bytes of all request bodies in flight together (at least
    /// maxBody); a request beyond it is answered 503 with Retry-After. Memory
    /// is taken as bytes arrive, never reserved for a declared length.
    std::size_t maxBodyMemory = 128u << 20;
    /// The most bytes of all answers made and not yet sent together, which
    /// clients that do not read hold; an answer beyond it is replaced by a 503
    /// with Retry-After.
    std::size_t maxAnswerMemory = 256u << 20;
    /// The most bytes of a request line and its headers; more is answered 431 or 414.
    std::size_t maxHeader = 16u << 10;
    /// The most connections at once; fewer when the process's descriptor limit
    /// leaves no room for them (said in the log).
    unsigned maxConnections = 256;
    /// Seconds for a whole request to arrive, from its first byte to its last,
    /// whatever part of it trickles.
    unsigned readTimeout = 30;
    /// Seconds a connection may stay silent.
    unsigned idleTimeout = 10;
    /// Milliseconds stop() gives answers in the making before it returns.
    unsigned stopGraceMs = 1500;
    /// The reader's limits on requests (depth, attributes, names...).
    XMLReadLimits readLimits;
    /// Called with each request's text and envelope once it has been read as
    /// its operation's message, before the handler: a further check of the
    /// request (against the XML Schema, say). It throws
    /// `Kavella::Soa::Common::Xml::SoapFault` to refuse the request with that
    /// fault; the handler is then not called. Called on worker threads.
    std::function<void(std::string_view text, Envelope envelope)> checkRequest;
    /// HTTPS: the server's certificate, a PEM file (its chain after it, if
    /// any). With tlsKey, the server speaks TLS 1.2 and 1.3 only, with
    /// forward-secret AEAD suites only; empty for plain HTTP.
    std::string tlsCertificate;
    /// The private key of tlsCertificate, an unencrypted PEM file.
    std::string tlsKey;
    /// CA certificates (a PEM file) that clients' certificates are checked
    /// against; empty asks clients for none.
    std::string clientCa;
    /// With clientCa: a request without a client certificate that the CAs
    /// vouch for is refused (403) before its body is read (mutual TLS).
    bool requireClientCertificate = false;
    /// Who may call (see Authenticator): htpasswdUsers(), bearerTokens(),
    /// clientCertificates() or one's own. Empty: everyone.
    Authenticator authenticator;
    /// WS-Security UsernameTokens in the SOAP header, judged after the
    /// authenticator (see UsernameTokens); not enabled by default.
    UsernameTokens usernameTokens;
    /// The start of the server's own lines on standard error (the access log
    /// has none), e.g. "myservice: ".
    std::string logPrefix = "server: ";
    /// Receives each exchange's record in place of its line on standard error,
    /// to route it to the program's logger; empty: the line. Called on worker
    /// threads, several at once, after the answer: it should be quick. What it
    /// throws is dropped with the record (and said once on standard error).
    /// What it refers to must outlive the exchanges, as the service must.
    /// The server's own lines (a handler that failed, a refused caller) stay
    /// on standard error.
    std::function<void(const AccessRecord& record)> accessLog;
    /// Where GET serves the server's counters in the Prometheus text format
    /// 0.0.4, e.g. "/metrics"; empty: none served and none counted. Open to
    /// every caller, as ?wsdl is, unless authenticator.guardDocuments.
    std::string metricsPath;
};

/// An HTTP server of one Service (libmicrohttpd underneath).
///
/// POST takes a request of either operation, as SOAP 1.1 (`text/xml` with a
/// `SOAPAction` header), SOAP 1.2 (`application/soap+xml`, its `action`
/// parameter optional) or a bare message (`text/xml` or `application/xml`).
/// The envelope, media type, action and message are checked before a handler
/// is called, and the reply or fault is written in the request's version.
/// `GET ?wsdl` hands out the WSDL with this server's address, `GET ?xsd=NAME`
/// its schemas (built into the library). `GET /health` answers 200 while the
/// server takes work and 503 once it stops, for load balancers.
///
/// Each exchange writes one line to standard error, with the client's address,
/// the user it proved to be and the request id (see CallContext):
///   POST save 200 received 4628 sent 812 bytes in 153 us peer 10.0.0.7:51324 user alice id 5f0c2a9e81d3b447
/// or hands its AccessRecord to ServerOptions::accessLog. With
/// ServerOptions::metricsPath, `GET /metrics` counts requests, faults,
/// latencies, bytes, memory in use and refusals for Prometheus.
///
/// Threads: start(), stop(), wait() and the destructor are called from one
/// thread, not from a handler. url() may be called from any thread.
class WI_SERVICE_API Server {
public:
    /// A server of service, which must outlive it; nothing listens before start().
    explicit Server(Service& service, ServerOptions options = {});
    /// Stops, as stop() does, if still running.
    ~Server();
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;

    /// Listens and serves on the worker threads; listening when it returns.
    /// Throws std::runtime_error naming the address and the reason when it
    /// cannot listen (the port in use, say), and std::invalid_argument for an
    /// option out of range. With TLS, throws std::runtime_error naming the
    /// file when a certificate or key cannot be read, the key is not the
    /// certificate's, or the certificate has expired. For the whole process it ignores SIGPIPE (a client
    /// gone mid-answer must not end it) and fixes glibc's mmap threshold at
    /// 128 KiB, so that freed request bodies go back to the system.
    void start();
    /// "http://HOST:PORT/" (https with TLS) with the port actually bound;
    /// empty before start() and after stop().
    std::string url() const;
    /// Stops gracefully: takes no further connection or request at once,
    /// delivers every answer ready or made within the grace, then closes.
    /// Returns false when exchanges were still open at the end of the grace
    /// (a handler still running): they are left to finish on their own, and
    /// the service must outlive them; wait() waits for them.
    bool stop();
    /// After a stop() that returned false: blocks until the exchanges it left
    /// open have ended, so that the service may be destroyed. Returns at once
    /// otherwise. The destructor does not wait: a program that destroys the
    /// service after the server calls wait() first.
    void wait();

private:
    class Running;
    Service& m_service;
    ServerOptions m_options;
    std::shared_ptr<const Running> m_running; // read by url() from any thread
    std::unique_ptr<Running> m_leftover;     // what a stop out of grace left running
};

} // namespace Velmora::Schemas::Mes::_2010_09::Workinstructions
