#include "workinstructions/Client.hpp"

#include <istream>

#include "kvsoa/Soap.hpp"

#include "ConnectionPool.hpp"
#include "ReplyStream.hpp"
#include "RequestHeaders.hpp"
#include "SoapBinding.hpp"
#include "SoapHeader.hpp"
#include "Transfer.hpp"

namespace Velmora::Schemas::Mes::_2010_09::Workinstructions {

using ::Kavella::Soa::Common::Xml::DomException;
using ::Kavella::Soa::Common::Xml::SoapFault;

namespace {

// The start of an error page, on one line, for the message of an HTTP error.
std::string excerpt(std::istream& body)
{
    constexpr std::size_t shown = 160;
    std::string text(shown + 1, '\0');
    body.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<std::size_t>(body.gcount()));
    const bool cut = text.size() > shown;
    std::string line;
    for (const char c : text.substr(0, shown)) {
        const bool space = static_cast<unsigned char>(c) < 0x20 || c == ' ';
        if (!space) {
            line += c;
        } else if (!line.empty() && line.back() != ' ') {
            line += ' ';
        }
    }
    // No half a UTF-8 character at the cut.
    while (cut && !line.empty() && (static_cast<unsigned char>(line.back()) & 0xC0) == 0x80) line.pop_back();
    if (cut && !line.empty() && static_cast<unsigned char>(line.back()) >= 0xC0) line.pop_back();
    while (!line.empty() && line.back() == ' ') line.pop_back();
    return cut ? line + "..." : line;
}

const char* loadAction()
{
    return serving::operationInfo(serving::Operation::Load).action;
}

const char* saveAction()
{
    return serving::operationInfo(serving::Operation::Save).action;
}

} // namespace

CallError::CallError(Kind kind, std::string url, long httpStatus, const std::string& message)
    : std::runtime_error(message), m_kind(kind), m_url(std::move(url)), m_httpStatus(httpStatus)
{
}

CallError::~CallError() = default;

class WI_SERVICE_HIDDEN Client::Connection {
public:
    Connection(std::string url, ClientOptions options)
        : m_url(std::move(url)), m_options(std::move(options)), m_pool(m_url, m_options),
          m_loadHeaders(detail::requestHeaders(m_options, loadAction())),
          m_saveHeaders(detail::requestHeaders(m_options, saveAction()))
    {
    }

    template <class Reply, class Request>
    AutoPtr<Reply> call(const Request& request, const char* action, const curl_slist* headers,
                        const CallOptions* callOptions);

    std::string m_url;
    ClientOptions m_options;

private:
    [[noreturn]] void raiseHttpError(detail::Transfer& transfer, detail::ReplyStream& body, bool xmlWithoutFault);

    detail::ConnectionPool m_pool;
    detail::HeaderList m_loadHeaders;
    detail::HeaderList m_saveHeaders;

    friend class Client;
};

template <class Reply, class Request>
AutoPtr<Reply> Client::Connection::call(const Request& request, const char* action, const curl_slist* headers,
                                        const CallOptions* callOptions)
{
    // A call's own headers make a list for it alone; the client's lists are shared by all its calls.
    detail::HeaderList callHeaders;
    std::chrono::milliseconds timeout = m_options.timeout;
    if (callOptions) {
        if (callOptions->timeout.count() < 0) {
            throw std::invalid_argument("CallOptions::timeout must not be negative, not " +
                                        std::to_string(callOptions->timeout.count()) + " ms");
        }
        if (callOptions->timeout.count() > 0) timeout = callOptions->timeout;
        detail::checkSoapHeaders(callOptions->soapHeaders, m_options.envelope, "CallOptions::soapHeaders");
        if (!callOptions->headers.empty()) {
            callHeaders = detail::requestHeaders(m_options, action, callOptions);
            headers = callHeaders.get();
        }
    }
    const std::string body = detail::withSoapHeader(writeXml(request, m_options.envelope), m_options, callOptions);
    const detail::ConnectionPool::Lease lease = m_pool.take();
    detail::Transfer& transfer = *lease;
    struct StopAtEnd {
        detail::Transfer& transfer;
        ~StopAtEnd() { transfer.stop(); }
    } stopAtEnd{transfer};
    transfer.start(body, headers, timeout);
    transfer.awaitReply();

    const bool success = transfer.status() >= 200 && transfer.status() < 300;
    const bool xml = serving::parseMediaType(transfer.contentType()).isXml();
    detail::ReplyStream stream(transfer);
    try {
        if (!success && !xml) raiseHttpError(transfer, stream, false);
        // An error status with XML is a fault if the body holds one; otherwise
        // the status is the error, shown with the start of the body.
        if (!success) stream.keep();
        std::istream text(&stream);
        AutoPtr<Reply> reply;
        try {
            reply = readXml<Reply>(text, m_options.readLimits);
        } catch (const SoapFault&) {
            throw;
        } catch (const DomException&) {
            if (success) throw;
        }
        if (!success) {
            stream.rewind();
            raiseHttpError(transfer, stream, true);
        }
        // The reader read to the end of the body, so the exchange is over.
        if (transfer.failed()) transfer.raise();
        return reply;
    } catch (const CallError&) {
        throw;
    } catch (...) {
        // A reply cut short by the transport is reported as such, not as the
        // reader's complaint about where it ends.
        if (transfer.failed()) transfer.raise();
        throw;
    }
}

void Client::Connection::raiseHttpError(detail::Transfer& transfer, detail::ReplyStream& body, bool xmlWithoutFault)
{
    std::istream text(&body);
    const std::string start = excerpt(text);
    if (transfer.failed()) transfer.raise();
    std::string message = m_url + ": HTTP " + std::to_string(transfer.status());
    if (!transfer.reason().empty()) message += " " + transfer.reason();
    message += xmlWithoutFault ? ", and no SOAP fault in the reply" : "";
    if (!start.empty()) message += ": " + start;
    throw CallError(CallError::Kind::HttpStatus, m_url, transfer.status(), message);
}

Client::Client(std::string url, ClientOptions options)
{
    detail::checkClientSetup(url, options);
    detail::checkSoapHeaders(options.soapHeaders, options.envelope, "ClientOptions::soapHeaders");
    detail::checkUsernameToken(options.usernameToken, options.envelope, url);
    m_connection = std::make_unique<Connection>(std::move(url), std::move(options));
}

Client::~Client() = default;
Client::Client(Client&& other) noexcept = default;
Client& Client::operator=(Client&& other) noexcept = default;

AutoPtr<LoadedObjectsResponse> Client::load(const LoadWorkInstructionDocInput& request)
{
    return m_connection->call<LoadedObjectsResponse>(request, loadAction(), m_connection->m_loadHeaders.get(), nullptr);
}

AutoPtr<SavedObjectsResponse> Client::save(const SaveWorkInstructionDocInput& request)
{
    return m_connection->call<SavedObjectsResponse>(request, saveAction(), m_connection->m_saveHeaders.get(), nullptr);
}

AutoPtr<LoadedObjectsResponse> Client::load(const LoadWorkInstructionDocInput& request, const CallOptions& call)
{
    return m_connection->call<LoadedObjectsResponse>(request, loadAction(), m_connection->m_loadHeaders.get(), &call);
}

AutoPtr<SavedObjectsResponse> Client::save(const SaveWorkInstructionDocInput& request, const CallOptions& call)
{
    return m_connection->call<SavedObjectsResponse>(request, saveAction(), m_connection->m_saveHeaders.get(), &call);
}

const std::string& Client::url() const noexcept
{
    return m_connection->m_url;
}

const ClientOptions& Client::options() const noexcept
{
    return m_connection->m_options;
}

} // namespace Velmora::Schemas::Mes::_2010_09::Workinstructions
