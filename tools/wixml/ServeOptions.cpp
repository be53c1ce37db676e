#include "ServeOptions.hpp"

#include "LimitOptions.hpp"

#include <cerrno>
#include <algorithm>
#include <cstdlib>

namespace wixml {

const char* const serveValueOptions[] = {"--host",         "--port",         "--replies",        "--threads",
                                         "--max-body",     "--max-body-memory", "--max-header", "--max-connections",
                                         "--read-timeout", "--idle-timeout", "--max-answer-memory",
                                         "--tls-cert",     "--tls-key",      "--client-ca",      "--users",
                                         "--token-users",  nullptr};

namespace {

template <class Field>
bool readField(const std::map<std::string, std::string>& given, const std::string& option,
               unsigned long long low, unsigned long long high, Field& field, std::string& problem)
{
    const auto found = given.find(option);
    if (found == given.end()) return true;
    unsigned long long value = 0;
    if (!readWholeNumber(option, found->second, low, high, value, problem)) return false;
    field = static_cast<Field>(value);
    return true;
}

} // namespace

bool readServeOptions(const std::map<std::string, std::string>& given, ServeOptions& options, std::string& problem)
{
    if (given.count("--host")) {
        options.host = given.at("--host");
        if (options.host.empty()) {
            problem = "--host wants a name or an address";
            return false;
        }
    }
    if (given.count("--replies")) options.repliesDirectory = given.at("--replies");
    for (const auto& [option, field] : {std::pair{"--tls-cert", &options.tlsCertificate},
                                        std::pair{"--tls-key", &options.tlsKey},
                                        std::pair{"--client-ca", &options.clientCa},
                                        std::pair{"--users", &options.usersFile},
                                        std::pair{"--token-users", &options.tokenUsersFile}}) {
        if (!given.count(option)) continue;
        *field = given.at(option);
        if (field->empty()) {
            problem = std::string(option) + " wants a file";
            return false;
        }
    }
    if (options.tlsCertificate.empty() != options.tlsKey.empty()) {
        problem = "--tls-cert and --tls-key go together";
        return false;
    }
    if (!options.tokenUsersFile.empty() && options.tlsCertificate.empty()) {
        problem = "--token-users needs --tls-cert and --tls-key: a PasswordText token carries the password itself";
        return false;
    }
    if (!options.clientCa.empty() && options.tlsCertificate.empty()) {
        problem = "--client-ca needs --tls-cert and --tls-key";
        return false;
    }
    options.strict = given.count("--strict") != 0;
    if (given.count("--metrics") && given.count("--no-metrics")) {
        problem = "--metrics and --no-metrics contradict each other";
        return false;
    }
    options.metrics = given.count("--no-metrics") == 0;
    // The body is held whole for the reader; a gibibyte is far past any message.
    const bool numbersRead = readField(given, "--port", 0, 65535, options.port, problem) &&
                             readField(given, "--threads", 1, 1024, options.threads, problem) &&
                             readField(given, "--max-body", 1, 1ull << 30, options.maxBody, problem) &&
                             readField(given, "--max-body-memory", 1, 1ull << 40, options.maxBodyMemory, problem) &&
                             readField(given, "--max-header", 1024, 1ull << 20, options.maxHeader, problem) &&
                             readField(given, "--max-connections", 1, 65536, options.maxConnections, problem) &&
                             readField(given, "--read-timeout", 1, 3600, options.readTimeout, problem) &&
                             readField(given, "--idle-timeout", 1, 3600, options.idleTimeout, problem) &&
                             readField(given, "--max-answer-memory", 1, 1ull << 40, options.maxAnswerMemory, problem);
    if (!numbersRead) return false;
    // One body at the limit must fit, or it could never be taken.
    if (!given.count("--max-body-memory")) {
        options.maxBodyMemory = std::max(options.maxBodyMemory, options.maxBody);
    } else if (options.maxBodyMemory < options.maxBody) {
        problem = "--max-body-memory " + std::to_string(options.maxBodyMemory) + " is below --max-body " +
                  std::to_string(options.maxBody) + ": a body at the limit could never be taken";
        return false;
    }
    return true;
}

} // namespace wixml
