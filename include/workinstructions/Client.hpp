#pragma once

// A typed client of the work-instruction service: one call per operation, the
// request written into a SOAP envelope, posted over HTTP (libcurl), and the
// reply read into its object as it arrives.

#include <chrono>
#include <cstddef>
#include <memory>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "workinstructions/LoadWorkInstructionDocInput.hpp"
#include "workinstructions/LoadedObjectsResponse.hpp"
#include "workinstructions/SaveWorkInstructionDocInput.hpp"
#include "workinstructions/SavedObjectsResponse.hpp"
#include "workinstructions/ServiceExport.hpp"
#include "workinstructions/XmlIO.hpp"

namespace Velmora::Schemas::Mes::_2010_09::Workinstructions {

/// WS-Security UsernameToken credentials (UsernameToken Profile 1.1), sent in
/// a `wsse:Security` header block marked mustUnderstand.
struct UsernameToken {
    /// The user name; no token is sent while it is empty.
    std::string user;
    /// The password.
    std::string password;
    /// PasswordDigest: Base64(SHA-1(nonce + created + password)) with a fresh
    /// nonce and the time of each call, so the password itself never travels.
    /// false sends it as PasswordText, which is refused for an http:// URL.
    bool digest = true;
};

/// How a Client calls the service.
struct ClientOptions {
    /// The envelope of requests: SOAP 1.1 (`text/xml` with a `SOAPAction`
    /// header), SOAP 1.2 (`application/soap+xml` with an `action` parameter),
    /// or None, the message alone as `text/xml` with a `SOAPAction` header.
    Envelope envelope = Envelope::Soap11;
    /// How long establishing a connection may take, name lookup and TLS included.
    std::chrono::milliseconds connectTimeout{10000};
    /// How long a whole call may take, from its start to the reply's last byte.
    std::chrono::milliseconds timeout{60000};
    /// Whether an https service's certificate and host name are checked; off
    /// only for a test service whose certificate cannot be checked.
    bool verifyTls = true;
    /// A file of CA certificates (PEM) to check the service's certificate
    /// against instead of the system's; empty for the system's.
    std::string caFile;
    /// Further request headers, as name and value (an access token, say). They
    /// may not replace Content-Type or SOAPAction, which the call sets, nor
    /// the transport's own (Content-Length, Transfer-Encoding, Host, Connection...).
    std::vector<std::pair<std::string, std::string>> headers;
    /// A client certificate (PEM) for a service that asks for one (mutual
    /// TLS); empty for none.
    std::string clientCertFile;
    /// The private key (PEM) of clientCertFile; required with it.
    std::string clientKeyFile;
    /// The passphrase of clientKeyFile when it is encrypted; empty when not.
    std::string clientKeyPassword;
    /// SOAP header blocks sent with every request, in this order: each one
    /// well-formed XML element that declares the namespaces it uses. Needs
    /// an envelope (not Envelope::None).
    std::vector<std::string> soapHeaders;
    /// A WS-Security UsernameToken sent with every request when its user is
    /// not empty, after soapHeaders. Needs an envelope.
    UsernameToken usernameToken;
    /// HTTP basic authentication, sent when user is not empty.
    std::string user;
    /// The password for user.
    std::string password;
    /// The reader's limits on the reply (depth, attributes, names...).
    XMLReadLimits readLimits;
    /// The most bytes of reply body taken; a longer reply fails the call
    /// (CallError::Kind::ReplyTooLarge) as soon as it is known to be longer.
    std::size_t maxReplyBytes = 64 * 1024 * 1024;
    /// The most elements (start tags) a reply may hold; each becomes an object
    /// or a value, which costs far more than its bytes, so this bounds what a
    /// reply costs in memory (see the wire page). A reply with more fails the
    /// call (CallError::Kind::ReplyTooLarge) when the next arrives.
    std::size_t maxReplyElements = 200000;
};

/// What one call adds to, or changes of, its client's options.
struct CallOptions {
    /// How long this call may take, from its start to the reply's last byte;
    /// zero for ClientOptions::timeout.
    std::chrono::milliseconds timeout{0};
    /// Request headers sent after the client's, under the same rules.
    std::vector<std::pair<std::string, std::string>> headers;
    /// SOAP header blocks sent after the client's, under the same rules.
    std::vector<std::string> soapHeaders;
};

/// A call that failed for a reason other than a SOAP fault or an unreadable
/// reply: the transport, or an HTTP status without a fault. The message names
/// the URL and what went wrong.
class WI_SERVICE_API CallError : public std::runtime_error {
public:
    /// What went wrong.
    enum class Kind {
        Unreachable,    ///< the host name did not resolve, or no route led to it
        Refused,        ///< the host refused the connection: nothing listens there
        ConnectTimeout, ///< no connection within ClientOptions::connectTimeout
        Timeout,        ///< connected, but the reply was not complete within ClientOptions::timeout
        Closed,         ///< the service closed the connection before the reply was complete
        Tls,            ///< the TLS handshake or the certificate check failed
        HttpStatus,     ///< an HTTP status other than 2xx, and no SOAP fault in the body
        ReplyTooLarge,  ///< the reply passed ClientOptions::maxReplyBytes or maxReplyElements, or libcurl's header limits
        Other,          ///< any other failure of the transport
    };

    /// A failure of the given kind; httpStatus is 0 when no status came.
    CallError(Kind kind, std::string url, long httpStatus, const std::string& message);
    /// Out of line, so that the class's type information has one home.
    ~CallError() override;

    /// What went wrong.
    Kind kind() const noexcept { return m_kind; }
    /// The URL called.
    const std::string& url() const noexcept { return m_url; }
    /// The reply's HTTP status; 0 when none came.
    long httpStatus() const noexcept { return m_httpStatus; }

private:
    Kind m_kind;
    std::string m_url;
    long m_httpStatus;
};

/// Calls the service at one URL. Each call writes the request in the options'
/// envelope with the operation's soapAction, posts it, and reads the reply into
/// a new object as its bytes arrive, under the reader's limits: the reply is
/// never held whole. The connection is kept open between calls and reused.
///
/// A call raises
/// - `Kavella::Soa::Common::Xml::SoapFault` when the service answers a fault
///   (whatever the HTTP status), with its code, subcodes, reason and detail;
/// - `Kavella::Soa::Common::Xml::DomException` when the reply cannot be read,
///   or is another message than the operation's reply (naming both);
/// - CallError when the transport fails or the service answers an HTTP error
///   without a fault.
///
/// Threads: load and save may be called from any number of threads at once;
/// the calls run in parallel, each on a kept-alive connection of its own, taken
/// from the client's pool (as many connections as calls ran at once). The
/// client must outlive its calls; moving or assigning it is not safe while
/// calls run. The first Client made sets up libcurl for the process, once,
/// and that step is guarded. A program that also uses libcurl elsewhere should
/// call `curl_global_init` itself before starting threads.
class WI_SERVICE_API Client {
public:
    /// A client of the service at url (`http://` or `https://`). Throws
    /// std::invalid_argument naming a URL that cannot be used, or an option out
    /// of range, a header or SOAP header block that cannot be sent, or a
    /// client certificate or key that cannot be read. Nothing is sent before
    /// the first call.
    explicit Client(std::string url, ClientOptions options = {});
    /// Closes the connections.
    ~Client();
    /// Moves the connections along; the moved-from client may only be destroyed or assigned.
    Client(Client&& other) noexcept;
    /// Moves the connections along, closing this one's.
    Client& operator=(Client&& other) noexcept;
    Client(const Client&) = delete;
    Client& operator=(const Client&) = delete;

    /// The load operation: the work-instruction documents of the request's objects.
    AutoPtr<LoadedObjectsResponse> load(const LoadWorkInstructionDocInput& request);
    /// The save operation: stores the documents and reports what changed.
    AutoPtr<SavedObjectsResponse> save(const SaveWorkInstructionDocInput& request);
    /// The load operation with this call's options beside the client's;
    /// options that cannot be used throw std::invalid_argument, and nothing is sent.
    AutoPtr<LoadedObjectsResponse> load(const LoadWorkInstructionDocInput& request, const CallOptions& call);
    /// The save operation with this call's options beside the client's, as load.
    AutoPtr<SavedObjectsResponse> save(const SaveWorkInstructionDocInput& request, const CallOptions& call);

    /// The URL called.
    const std::string& url() const noexcept;
    /// The options in force.
    const ClientOptions& options() const noexcept;

private:
    class Connection;
    std::unique_ptr<Connection> m_connection;
};

} // namespace Velmora::Schemas::Mes::_2010_09::Workinstructions
