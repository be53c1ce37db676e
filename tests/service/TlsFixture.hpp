#pragma once

// Certificates for the TLS tests, made once per run in a directory of their
// own by tests/wire/make_certificates.sh, and removed at exit.

#include <unistd.h>

#include <cstdlib>
#include <stdexcept>
#include <string>

#include "workinstructions/Server.hpp"

namespace serverfixture {

class TestCertificates {
public:
    static const TestCertificates& made()
    {
        static const TestCertificates certificates;
        return certificates;
    }
    std::string path(const std::string& name) const { return m_directory + "/" + name; }

    /// options with the server's certificate and key.
    Velmora::Schemas::Mes::_2010_09::Workinstructions::ServerOptions
    tlsOptions(Velmora::Schemas::Mes::_2010_09::Workinstructions::ServerOptions options) const
    {
        options.tlsCertificate = path("server.pem");
        options.tlsKey = path("server.key");
        return options;
    }

    ~TestCertificates() { std::system(("rm -rf '" + m_directory + "'").c_str()); }

private:
    TestCertificates()
    {
        char pattern[] = "/tmp/wi-certificates-XXXXXX";
        if (!::mkdtemp(pattern)) throw std::runtime_error("mkdtemp failed");
        m_directory = pattern;
        const std::string command = std::string("sh '") + MAKE_CERTIFICATES + "' '" + m_directory + "'";
        if (std::system(command.c_str()) != 0) throw std::runtime_error("failed: " + command);
    }
    std::string m_directory;
};

} // namespace serverfixture
