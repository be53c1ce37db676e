#include "ServiceProcess.hpp"

#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <curl/curl.h>

#include <cerrno>
#include <chrono>
#include <fstream>
#include <sstream>
#include <stdexcept>

extern char** environ;

namespace service_test {

namespace {

constexpr int startMilliseconds = 30000;

} // namespace

ServiceProcess::ServiceProcess(const std::vector<std::string>& command)
{
    int pipeEnds[2];
    if (pipe(pipeEnds) != 0) throw std::runtime_error("pipe failed");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, pipeEnds[0]);
    std::vector<char*> arguments;
    for (const std::string& argument : command) arguments.push_back(const_cast<char*>(argument.c_str()));
    arguments.push_back(nullptr);
    const int spawned = posix_spawn(&m_pid, arguments[0], &actions, nullptr, arguments.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(pipeEnds[1]);
    m_output = pipeEnds[0];
    if (spawned != 0) {
        close(m_output);
        throw std::runtime_error("cannot start " + command[0]);
    }
    // The first line names the address; anything else is a failed start.
    std::string line;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(startMilliseconds);
    while (line.find('\n') == std::string::npos && std::chrono::steady_clock::now() < deadline) {
        pollfd ready{m_output, POLLIN, 0};
        if (poll(&ready, 1, 100) <= 0) continue;
        char c[256];
        const ssize_t count = read(m_output, c, sizeof c);
        if (count <= 0) break;
        line.append(c, static_cast<std::size_t>(count));
    }
    const std::string prefix = "listening on ";
    if (line.compare(0, prefix.size(), prefix) != 0 || line.find('\n') == std::string::npos) {
        stop();
        throw std::runtime_error(command[0] + " did not start: '" + line + "'");
    }
    m_url = line.substr(prefix.size(), line.find('\n') - prefix.size());
}

ServiceProcess::~ServiceProcess()
{
    stop();
}

void ServiceProcess::stop() noexcept
{
    if (m_pid > 0) {
        kill(m_pid, SIGTERM);
        int status = 0;
        while (waitpid(m_pid, &status, 0) < 0 && errno == EINTR) {
        }
        m_pid = -1;
    }
    if (m_output >= 0) close(m_output);
    m_output = -1;
}

ServiceProcess startServe(const std::vector<std::string>& options)
{
    std::vector<std::string> command{WIXML_PATH, "serve", "--port", "0"};
    command.insert(command.end(), options.begin(), options.end());
    return ServiceProcess(command);
}

ServiceProcess startStandIn(const std::vector<std::string>& options)
{
    std::vector<std::string> command{PYTHON_PATH, STANDIN_SCRIPT, EXAMPLES_DIR};
    command.insert(command.end(), options.begin(), options.end());
    return ServiceProcess(command);
}

std::string exampleFile(const std::string& name)
{
    std::ifstream in(std::string(EXAMPLES_DIR) + "/" + name, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    if (!in) throw std::runtime_error("cannot read " + name);
    return text.str();
}

// A GET of the stand-in's record, with libcurl as any other peer would.
std::string fetch(const std::string& url)
{
    CURL* curl = curl_easy_init();
    std::string text;
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, +[](char* data, size_t size, size_t count, void* out) {
        static_cast<std::string*>(out)->append(data, size * count);
        return size * count;
    });
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &text);
    const CURLcode result = curl_easy_perform(curl);
    curl_easy_cleanup(curl);
    if (result != CURLE_OK) throw std::runtime_error("GET " + url + ": " + curl_easy_strerror(result));
    return text;
}

int connectionsSoFar(const std::string& base)
{
    const std::string record = fetch(base + "last");
    return std::stoi(record.substr(record.find(':') + 1));
}

} // namespace service_test
