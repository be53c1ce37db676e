#include "RequestHeaders.hpp"

#include <cctype>
#include <fstream>
#include <stdexcept>
#include <string>

#include "SoapBinding.hpp"

namespace Velmora::Schemas::Mes::_2010_09::Workinstructions::detail {

namespace {

void append(HeaderList& list, const std::string& line)
{
    curl_slist* longer = curl_slist_append(list.get(), line.c_str());
    if (!longer) throw std::bad_alloc();
    static_cast<void>(list.release());
    list.reset(longer);
}

void appendUserHeaders(HeaderList& list, const std::vector<std::pair<std::string, std::string>>& headers,
                       const std::string& where)
{
    for (const auto& [name, value] : headers) {
        if (!serving::isToken(name)) throw std::invalid_argument(where + ": '" + name + "' is no header name");
        const std::string lower = serving::lowered(name);
        if (lower == "content-type" || lower == "soapaction") {
            throw std::invalid_argument(where + ": " + name + " is set by each call");
        }
        // Headers that frame the message or steer the connection are the
        // transport's: a second Content-Length or a Transfer-Encoding would
        // make the service read the body differently from how it is sent.
        for (const char* framing : {"content-length", "transfer-encoding", "host", "connection", "expect", "te",
                                    "trailer", "upgrade", "keep-alive", "proxy-connection"}) {
            if (lower == framing) {
                throw std::invalid_argument(where + ": " + name +
                                            " frames the request or steers the connection; the transport sets it");
            }
        }
        if (value.find_first_of("\r\n") != std::string::npos) {
            throw std::invalid_argument(where + ": the value of " + name + " holds a line break");
        }
        // "Name;" is libcurl's way to send a header with an empty value.
        append(list, value.empty() ? name + ";" : name + ": " + value);
    }
}

} // namespace

HeaderList requestHeaders(const ClientOptions& options, const char* soapAction, const CallOptions* call)
{
    HeaderList list;
    const std::string action(soapAction);
    append(list, "Content-Type: " + serving::requestContentType(options.envelope, action));
    if (options.envelope != Envelope::Soap12) append(list, "SOAPAction: \"" + action + "\"");
    append(list, "Expect:"); // no wait for a 100 Continue before a large body
    appendUserHeaders(list, options.headers, "ClientOptions::headers");
    if (call) appendUserHeaders(list, call->headers, "CallOptions::headers");
    return list;
}

void checkClientSetup(const std::string& url, const ClientOptions& options)
{
    const std::string lower = serving::lowered(url.substr(0, 8));
    if (lower.compare(0, 7, "http://") != 0 && lower.compare(0, 8, "https://") != 0) {
        throw std::invalid_argument("Client: '" + url + "' is not an http:// or https:// URL");
    }
    if (url.find_first_of(" \t\r\n") != std::string::npos) {
        throw std::invalid_argument("Client: '" + url + "' holds white space");
    }
    // libcurl reads 0 as "no limit": a client must not wait for ever by mistake.
    if (options.connectTimeout.count() <= 0) {
        throw std::invalid_argument("ClientOptions::connectTimeout must be positive, not " +
                                    std::to_string(options.connectTimeout.count()) + " ms");
    }
    if (options.timeout.count() <= 0) {
        throw std::invalid_argument("ClientOptions::timeout must be positive, not " +
                                    std::to_string(options.timeout.count()) + " ms");
    }
    if (options.maxReplyBytes == 0) throw std::invalid_argument("ClientOptions::maxReplyBytes must be positive");
    if (options.maxReplyElements == 0) throw std::invalid_argument("ClientOptions::maxReplyElements must be positive");
    if (options.clientCertFile.empty() != options.clientKeyFile.empty()) {
        throw std::invalid_argument("ClientOptions::clientCertFile and clientKeyFile go together: both or neither");
    }
    for (const std::string* file : {&options.clientCertFile, &options.clientKeyFile}) {
        if (!file->empty() && !std::ifstream(*file)) {
            throw std::invalid_argument("ClientOptions: cannot read '" + *file + "'");
        }
    }
}

} // namespace Velmora::Schemas::Mes::_2010_09::Workinstructions::detail
