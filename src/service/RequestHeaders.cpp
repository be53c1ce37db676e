#include "RequestHeaders.hpp"

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

} // namespace

HeaderList requestHeaders(const ClientOptions& options, const char* soapAction)
{
    HeaderList list;
    const std::string action(soapAction);
    append(list, "Content-Type: " + serving::requestContentType(options.envelope, action));
    if (options.envelope != Envelope::Soap12) append(list, "SOAPAction: \"" + action + "\"");
    append(list, "Expect:"); // no wait for a 100 Continue before a large body
    for (const auto& [name, value] : options.headers) {
        if (!serving::isToken(name)) throw std::invalid_argument("ClientOptions::headers: '" + name + "' is no header name");
        const std::string lower = serving::lowered(name);
        if (lower == "content-type" || lower == "soapaction") {
            throw std::invalid_argument("ClientOptions::headers: " + name + " is set by each call");
        }
        if (value.find_first_of("\r\n") != std::string::npos) {
            throw std::invalid_argument("ClientOptions::headers: the value of " + name + " holds a line break");
        }
        // "Name;" is libcurl's way to send a header with an empty value.
        append(list, value.empty() ? name + ";" : name + ": " + value);
    }
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
}

} // namespace Velmora::Schemas::Mes::_2010_09::Workinstructions::detail
