#pragma once

// One client of the service, as kvsoa-calls drives it: the library's Client
// (CallsClient.cpp) or gSOAP's generated proxy (CallsGsoap.cpp).

#include <cstddef>
#include <memory>
#include <string>

namespace kvsoabench {

class CallsDriver {
public:
    /// A client of url that sends request (a SOAP 1.1 envelope of a load or save request) on each call.
    CallsDriver(const std::string& url, const std::string& request);
    /// A driver with a request object of its own that calls through the client of clientOf, shared (the
    /// library's Client only: gSOAP's proxy throws std::logic_error).
    CallsDriver(const CallsDriver& clientOf, const std::string& request);
    ~CallsDriver();
    CallsDriver(const CallsDriver&) = delete;
    CallsDriver& operator=(const CallsDriver&) = delete;

    /// One call: the records the reply holds (load: loaded objects; save: uids in its service data). Throws on
    /// failure. Drivers sharing a Client may call from many threads at once.
    std::size_t call();

private:
    struct State;
    std::unique_ptr<State> m_state;
};

} // namespace kvsoabench
