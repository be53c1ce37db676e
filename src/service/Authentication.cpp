// The ready-made authenticators: Basic against htpasswd's bcrypt entries,
// bearer tokens, client certificates.

#include "workinstructions/Authentication.hpp"

#include <crypt.h>

#include <fstream>
#include <memory>
#include <stdexcept>
#include <unordered_map>

#include "SoapBinding.hpp"
#include "UsernameToken.hpp"

namespace Velmora::Schemas::Mes::_2010_09::Workinstructions {

namespace {

// The credentials after "SCHEME " in the Authorization header; empty when
// there is none of that scheme.
std::string_view credentials(const AuthRequest& request, std::string_view scheme)
{
    const std::string* header = request.headers.find("Authorization");
    if (!header) return {};
    const std::string_view value(*header);
    if (value.size() <= scheme.size() + 1 || !serving::sameIgnoringCase(value.substr(0, scheme.size()), scheme) ||
        value[scheme.size()] != ' ') {
        return {};
    }
    std::string_view rest = value.substr(scheme.size() + 1);
    while (!rest.empty() && rest.front() == ' ') rest.remove_prefix(1);
    return rest;
}

bool isBcrypt(std::string_view hash)
{
    return (hash.rfind("$2y$", 0) == 0 || hash.rfind("$2b$", 0) == 0) && hash.size() == 60;
}

class PasswordFile {
public:
    explicit PasswordFile(const std::string& path)
    {
        std::ifstream file(path);
        if (!file) throw std::runtime_error("cannot read the password file " + path);
        std::string line;
        for (unsigned number = 1; std::getline(file, line); ++number) {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            if (line.empty() || line.front() == '#') continue;
            const std::size_t colon = line.find(':');
            const std::string where = path + " line " + std::to_string(number) + ": ";
            if (colon == std::string::npos || colon == 0) throw std::runtime_error(where + "no user:hash entry");
            const std::string user = line.substr(0, colon);
            const std::string hash = line.substr(colon + 1);
            if (!isBcrypt(hash)) {
                throw std::runtime_error(where + "the entry of '" + user +
                                         "' is no bcrypt hash ($2y$ or $2b$, htpasswd -B); plain, MD5 ($apr1$), "
                                         "SHA-1 ({SHA}) and crypt entries are refused");
            }
            if (!m_hashes.emplace(user, hash).second) throw std::runtime_error(where + "'" + user + "' again");
        }
        if (m_hashes.empty()) throw std::runtime_error("the password file " + path + " names no user");
        m_decoy = m_hashes.begin()->second;
    }

    AuthResult check(const AuthRequest& request) const
    {
        std::string decoded;
        if (!detail::fromBase64(credentials(request, "Basic"), decoded)) return AuthResult::refuse();
        const std::size_t colon = decoded.find(':');
        if (colon == std::string::npos) return AuthResult::refuse();
        const std::string user = decoded.substr(0, colon);
        if (!matches(user, std::string_view(decoded).substr(colon + 1))) return AuthResult::refuse(user);
        return AuthResult::accept(user, "basic");
    }

    bool matches(std::string_view user, std::string_view password) const
    {
        const auto found = m_hashes.find(std::string(user));
        // An unknown user costs a hash as a known one does: the time tells nothing.
        const std::string& hash = found == m_hashes.end() ? m_decoy : found->second;
        const auto work = std::make_unique<crypt_data>();
        const char* computed = crypt_r(std::string(password).c_str(), hash.c_str(), work.get());
        return computed && sameSecret(computed, hash) && found != m_hashes.end();
    }

private:
    std::unordered_map<std::string, std::string> m_hashes;
    std::string m_decoy;
};

std::string realmParameter(const std::string& realm)
{
    std::string quoted;
    for (const char c : realm) {
        if (c == '"' || c == '\\') quoted += '\\';
        if (static_cast<unsigned char>(c) >= 0x20 && c != 0x7F) quoted += c;
    }
    return "realm=\"" + quoted + "\"";
}

} // namespace

bool sameSecret(std::string_view a, std::string_view b)
{
    unsigned char difference = a.size() == b.size() ? 0 : 1;
    const std::size_t length = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < length; ++i) difference |= static_cast<unsigned char>(a[i] ^ b[i]);
    return difference == 0;
}

Authenticator htpasswdUsers(const std::string& path, const std::string& realm)
{
    auto users = std::make_shared<const PasswordFile>(path);
    return {[users](const AuthRequest& request) { return users->check(request); },
            "Basic " + realmParameter(realm) + ", charset=\"UTF-8\"", false};
}

std::function<bool(std::string_view user, std::string_view password)> htpasswdPasswords(const std::string& path)
{
    auto users = std::make_shared<const PasswordFile>(path);
    return [users](std::string_view user, std::string_view password) { return users->matches(user, password); };
}

Authenticator bearerTokens(std::function<std::string(std::string_view token)> owner, const std::string& realm)
{
    return {[owner = std::move(owner)](const AuthRequest& request) {
                const std::string_view token = credentials(request, "Bearer");
                std::string name = token.empty() ? std::string() : owner(token);
                return name.empty() ? AuthResult::refuse() : AuthResult::accept(std::move(name), "bearer");
            },
            "Bearer " + realmParameter(realm), false};
}

Authenticator clientCertificates()
{
    return {[](const AuthRequest& request) {
                return request.clientCertificate.empty() ? AuthResult::refuse()
                                                         : AuthResult::accept(request.clientCertificate, "certificate");
            },
            "", false};
}

} // namespace Velmora::Schemas::Mes::_2010_09::Workinstructions
