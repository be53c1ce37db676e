#pragma once

// A service run for a test: `wixml serve` or the misbehaving stand-in, started
// with --port 0 or its own, and stopped with SIGTERM when the test ends.

#include <sys/types.h>

#include <string>
#include <vector>

namespace service_test {

class ServiceProcess {
public:
    /// Runs command and waits for its line "listening on URL".
    explicit ServiceProcess(const std::vector<std::string>& command);
    ~ServiceProcess();
    ServiceProcess(const ServiceProcess&) = delete;
    ServiceProcess& operator=(const ServiceProcess&) = delete;

    /// "http://127.0.0.1:PORT/"
    const std::string& url() const { return m_url; }

private:
    void stop() noexcept;

    pid_t m_pid = -1;
    int m_output = -1;
    std::string m_url;
};

/// `wixml serve --port 0` with the given further options.
ServiceProcess startServe(const std::vector<std::string>& options = {});
/// tests/wire/client_standin.py with the examples' replies, and the further options.
ServiceProcess startStandIn(const std::vector<std::string>& options = {});

/// The body of a GET of url, made with libcurl as any other peer would.
std::string fetch(const std::string& url);
/// The connections the stand-in at base has accepted so far, this GET's included.
int connectionsSoFar(const std::string& base);

/// A file of the examples directory, read whole.
std::string exampleFile(const std::string& name);

} // namespace service_test
