// Watching a service: its counters for Prometheus at GET /metrics, and each
// exchange's access record handed to the program instead of standard error.
// Two loads and a save that faults, then what the log and the counters say.
//
//   guide_watching

#include <netdb.h>
#include <sys/socket.h>
#include <unistd.h>

#include <iostream>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

#include "workinstructions/Client.hpp"
#include "workinstructions/Server.hpp"
#include "workinstructions/WorkInstructions.hpp"

namespace wi = Velmora::Schemas::Mes::_2010_09::Workinstructions;
using Kavella::Soa::Common::AutoPtr;
using Kavella::Soa::Common::Xml::SoapFault;
using Kavella::Soa::Common::Xml::SoapFaultCode;
using Kavella::Soa::Common::Xml::SoapFaultParts;

namespace {

class ReadOnlyStore : public wi::Service {
public:
    AutoPtr<wi::LoadedObjectsResponse> load(const wi::LoadWorkInstructionDocInput&) override
    {
        return AutoPtr<wi::LoadedObjectsResponse>(new wi::LoadedObjectsResponse);
    }
    AutoPtr<wi::SavedObjectsResponse> save(const wi::SaveWorkInstructionDocInput&) override
    {
        throw SoapFault(SoapFaultParts(SoapFaultCode::Sender, "this store is read-only"));
    }
};

// What a scraper does: GET the path and keep the body (HTTP/1.0, so the
// server closes when done).
std::string scrape(const std::string& url, const std::string& path)
{
    const std::string hostPort = url.substr(7, url.size() - 8); // http://HOST:PORT/
    const std::string host = hostPort.substr(0, hostPort.rfind(':'));
    const std::string port = hostPort.substr(hostPort.rfind(':') + 1);
    addrinfo* found = nullptr;
    if (getaddrinfo(host.c_str(), port.c_str(), nullptr, &found) != 0) return {};
    const int peer = socket(found->ai_family, SOCK_STREAM, 0);
    std::string text;
    if (connect(peer, found->ai_addr, found->ai_addrlen) == 0) {
        const std::string request =
            "GET " + path + " HTTP/1.0\r\nHost: " + hostPort + "\r\nX-Request-Id: scraper\r\n\r\n";
        if (send(peer, request.data(), request.size(), 0) == static_cast<ssize_t>(request.size())) {
            char buffer[4096];
            for (ssize_t got; (got = recv(peer, buffer, sizeof buffer, 0)) > 0;) text.append(buffer, got);
        }
    }
    close(peer);
    freeaddrinfo(found);
    return text.substr(text.find("\r\n\r\n") + 4);
}

} // namespace

int main()
{
    ReadOnlyStore store;
    std::mutex logged;
    std::vector<std::string> log;
    //! [watching]
    wi::ServerOptions options;
    options.metricsPath = "/metrics";
    // Each exchange's record goes to the program's own logger (here a list);
    // called on the server's workers, several at once.
    options.accessLog = [&](const wi::AccessRecord& record) {
        std::ostringstream line;
        line << record.method << ' ' << record.path << ' ' << record.operation << ' ' << record.version << ' '
             << record.status << ' ' << record.outcome << ' ' << record.received << " bytes in, id "
             << record.requestId;
        const std::lock_guard<std::mutex> lock(logged);
        log.push_back(line.str());
    };
    wi::Server server(store, options);
    server.start();
    //! [watching]
    wi::Client client(server.url());
    wi::CallOptions call;
    for (const char* id : {"guide-1", "guide-2"}) {
        call.headers = {{"X-Request-Id", id}};
        client.load(wi::LoadWorkInstructionDocInput(), call);
    }
    try {
        call.headers = {{"X-Request-Id", "guide-3"}};
        client.save(wi::SaveWorkInstructionDocInput(), call);
    } catch (const SoapFault& fault) {
        std::cout << "save: " << fault.what() << '\n';
    }
    // Counted and logged once each exchange has ended, after its answer went out.
    for (int tries = 0; tries < 1000; ++tries) {
        {
            const std::lock_guard<std::mutex> lock(logged);
            if (log.size() == 3) break;
        }
        usleep(1000);
    }
    const std::string metrics = scrape(server.url(), "/metrics");
    server.stop();
    for (const std::string& line : log) std::cout << line << '\n';
    // The samples of two of the families; the rest are on the wire page.
    std::istringstream lines(metrics);
    for (std::string line; std::getline(lines, line);) {
        const bool shown = line.rfind("wi_server_requests_total{", 0) == 0 ||
                           line.rfind("wi_server_faults_total{code=\"Sender\"}", 0) == 0 ||
                           line.rfind("# TYPE wi_server_request_duration_seconds", 0) == 0;
        if (shown) {
            std::cout << line << '\n';
        }
    }
    return 0;
}
