#include "TlsSetup.hpp"

#include <gnutls/gnutls.h>
#include <gnutls/x509.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <fstream>
#include <memory>
#include <sstream>
#include <stdexcept>

namespace Velmora::Schemas::Mes::_2010_09::Workinstructions::serving {

const char tlsPriorities[] = "SECURE:-VERS-ALL:+VERS-TLS1.3:+VERS-TLS1.2:-KX-ALL:+ECDHE-ECDSA:+ECDHE-RSA:"
                             "-CIPHER-ALL:+AES-256-GCM:+AES-128-GCM:+CHACHA20-POLY1305:-MAC-ALL:+AEAD:"
                             "%SERVER_PRECEDENCE";

namespace {

std::string readFile(const std::string& path, const char* what)
{
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    if (file) text << file.rdbuf();
    if (!file || file.bad()) {
        throw std::runtime_error(std::string("cannot read the ") + what + " " + path + ": " + std::strerror(errno));
    }
    return text.str();
}

gnutls_datum_t datum(const std::string& text)
{
    return {reinterpret_cast<unsigned char*>(const_cast<char*>(text.data())), static_cast<unsigned>(text.size())};
}

std::string day(time_t when)
{
    char text[32];
    tm parts{};
    gmtime_r(&when, &parts);
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M UTC", &parts);
    return text;
}

struct Certificates {
    gnutls_x509_crt_t* list = nullptr;
    unsigned count = 0;
    ~Certificates()
    {
        for (unsigned i = 0; i < count; ++i) gnutls_x509_crt_deinit(list[i]);
        gnutls_free(list);
    }
};

// The certificates of a PEM text; throws naming path when it holds none.
void importCertificates(const std::string& text, const std::string& path, const char* what, Certificates& into)
{
    const gnutls_datum_t pem = datum(text);
    const int result = gnutls_x509_crt_list_import2(&into.list, &into.count, &pem, GNUTLS_X509_FMT_PEM, 0);
    if (result < 0 || into.count == 0) {
        throw std::runtime_error(std::string("the ") + what + " " + path + " holds no PEM certificate" +
                                 (result < 0 ? std::string(": ") + gnutls_strerror(result) : std::string()));
    }
}

void checkValidity(const TlsMaterial& material, const ServerOptions& options)
{
    Certificates chain;
    importCertificates(material.certificate, options.tlsCertificate, "TLS certificate", chain);
    const time_t now = std::time(nullptr);
    const time_t expires = gnutls_x509_crt_get_expiration_time(chain.list[0]);
    const time_t begins = gnutls_x509_crt_get_activation_time(chain.list[0]);
    if (expires != static_cast<time_t>(-1) && expires < now) {
        throw std::runtime_error("the TLS certificate " + options.tlsCertificate + " expired on " + day(expires));
    }
    if (begins != static_cast<time_t>(-1) && begins > now) {
        throw std::runtime_error("the TLS certificate " + options.tlsCertificate + " is not valid before " +
                                 day(begins));
    }
}

void checkKeyPair(const TlsMaterial& material, const ServerOptions& options)
{
    gnutls_certificate_credentials_t credentials = nullptr;
    if (gnutls_certificate_allocate_credentials(&credentials) < 0) throw std::bad_alloc();
    const std::unique_ptr<gnutls_certificate_credentials_st, void (*)(gnutls_certificate_credentials_t)> owned(
        credentials, gnutls_certificate_free_credentials);
    const gnutls_datum_t certificate = datum(material.certificate);
    const gnutls_datum_t key = datum(material.key);
    const int result = gnutls_certificate_set_x509_key_mem(credentials, &certificate, &key, GNUTLS_X509_FMT_PEM);
    if (result == GNUTLS_E_CERTIFICATE_KEY_MISMATCH) {
        throw std::runtime_error("the TLS key " + options.tlsKey + " is not the key of the certificate " +
                                 options.tlsCertificate);
    }
    if (result < 0) {
        throw std::runtime_error("cannot use the TLS key " + options.tlsKey + " with the certificate " +
                                 options.tlsCertificate + ": " + gnutls_strerror(result));
    }
}

} // namespace

bool wantsTls(const ServerOptions& options)
{
    return !options.tlsCertificate.empty() || !options.tlsKey.empty() || !options.clientCa.empty() ||
           options.requireClientCertificate;
}

TlsMaterial loadTls(const ServerOptions& options)
{
    if (options.tlsCertificate.empty() || options.tlsKey.empty()) {
        throw std::invalid_argument("ServerOptions: TLS needs both tlsCertificate and tlsKey");
    }
    if (options.requireClientCertificate && options.clientCa.empty()) {
        throw std::invalid_argument("ServerOptions: requireClientCertificate needs clientCa");
    }
    TlsMaterial material;
    material.certificate = readFile(options.tlsCertificate, "TLS certificate");
    material.key = readFile(options.tlsKey, "TLS key");
    checkValidity(material, options);
    checkKeyPair(material, options);
    if (!options.clientCa.empty()) {
        material.clientCa = readFile(options.clientCa, "client CA file");
        Certificates authorities;
        importCertificates(material.clientCa, options.clientCa, "client CA file", authorities);
    }
    return material;
}

std::string verifiedClientSubject(MHD_Connection* connection)
{
    const MHD_ConnectionInfo* info = MHD_get_connection_info(connection, MHD_CONNECTION_INFO_GNUTLS_SESSION);
    if (!info || !info->tls_session) return {};
    const auto session = static_cast<gnutls_session_t>(info->tls_session);
    unsigned status = 0;
    // Checked against the client CAs libmicrohttpd gave the session, and for its dates.
    if (gnutls_certificate_verify_peers2(session, &status) < 0 || status != 0) return {};
    unsigned count = 0;
    const gnutls_datum_t* peers = gnutls_certificate_get_peers(session, &count);
    if (!peers || count == 0) return {};
    gnutls_x509_crt_t certificate = nullptr;
    if (gnutls_x509_crt_init(&certificate) < 0) return {};
    std::string subject;
    gnutls_datum_t name{};
    if (gnutls_x509_crt_import(certificate, &peers[0], GNUTLS_X509_FMT_DER) >= 0 &&
        gnutls_x509_crt_get_dn3(certificate, &name, 0) >= 0) {
        subject.assign(reinterpret_cast<const char*>(name.data), name.size);
        gnutls_free(name.data);
    }
    gnutls_x509_crt_deinit(certificate);
    return subject;
}

} // namespace Velmora::Schemas::Mes::_2010_09::Workinstructions::serving
