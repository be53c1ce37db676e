#pragma once

// The header lists of a client's requests, one per operation, made once: the
// media type and soapAction that the WSDL binds, and the user's own headers.

#include <curl/curl.h>

#include <memory>

#include "workinstructions/Client.hpp"

namespace Velmora::Schemas::Mes::_2010_09::Workinstructions::detail {

struct HeaderListFree {
    void operator()(curl_slist* list) const noexcept { curl_slist_free_all(list); }
};
using HeaderList = std::unique_ptr<curl_slist, HeaderListFree>;

/// The headers of a request with the given soapAction, the client's and then
/// the call's (call may be null). Throws std::invalid_argument naming a user
/// header that cannot be sent.
HeaderList requestHeaders(const ClientOptions& options, const char* soapAction, const CallOptions* call = nullptr);

/// Throws std::invalid_argument naming the first option out of range, or a url
/// that is not an http or https URL.
void checkClientSetup(const std::string& url, const ClientOptions& options);

} // namespace Velmora::Schemas::Mes::_2010_09::Workinstructions::detail
