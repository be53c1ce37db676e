#pragma once

// What the tests of the library's Server share: a service whose handlers do
// what a test gives them, requests, and a raw connection for what the Client
// does not send.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "workinstructions/Server.hpp"
#include "workinstructions/WorkInstructions.hpp"

namespace serverfixture {

namespace wi = Velmora::Schemas::Mes::_2010_09::Workinstructions;


// Each operation does what the test gives it; by default it answers with the
// uid the request named, so that a reply shows the request arrived whole.
class TestService : public wi::Service {
public:
    std::function<void()> beforeLoad = [] {};
    std::string padding; // after each file name of load's reply, to make it as long as a test needs

    wi::AutoPtr<wi::LoadedObjectsResponse> load(const wi::LoadWorkInstructionDocInput& request) override
    {
        beforeLoad();
        wi::AutoPtr<wi::LoadedObjectInfo> document(new wi::LoadedObjectInfo);
        document->setWorkInstructionFile(request.getLoadedInfoArray().at(0)->getTargetObject()->getUid() + ".wix" + padding);
        wi::AutoPtr<wi::LoadedObjectsResponse> reply(new wi::LoadedObjectsResponse);
        reply->addLoadedObject(document);
        return reply;
    }
    wi::AutoPtr<wi::SavedObjectsResponse> save(const wi::SaveWorkInstructionDocInput& request) override
    {
        wi::AutoPtr<wi::ServiceData> changes(new wi::ServiceData);
        changes->addCreated(request.getSavedObjectArray().at(0)->getTargetObject()->getUid());
        wi::AutoPtr<wi::SavedObjectsResponse> reply(new wi::SavedObjectsResponse);
        reply->setServiceData(changes);
        return reply;
    }
};

// Keeps what the server told the handler of its last call.
class ContextService : public TestService {
public:
    using TestService::load;
    std::function<void(wi::CallContext&)> during = [](wi::CallContext&) {};
    wi::AutoPtr<wi::LoadedObjectsResponse> load(const wi::LoadWorkInstructionDocInput& request,
                                                wi::CallContext& context) override
    {
        during(context);
        {
            const std::lock_guard<std::mutex> lock(mutex);
            last = std::make_unique<wi::CallContext>(context);
        }
        return load(request);
    }
    std::mutex mutex;
    std::unique_ptr<wi::CallContext> last;
};

inline wi::LoadWorkInstructionDocInput loadRequest(const std::string& uid)
{
    wi::AutoPtr<wi::ObjectsReferenced> wanted(new wi::ObjectsReferenced);
    wanted->setTargetObject(new wi::ModelObject(uid));
    wi::LoadWorkInstructionDocInput request;
    request.addLoadedInfo(wanted);
    return request;
}

inline wi::SaveWorkInstructionDocInput saveRequest(const std::string& uid)
{
    wi::AutoPtr<wi::SavedObjectInfo> document(new wi::SavedObjectInfo);
    document->setTargetObject(new wi::ModelObject(uid));
    wi::SaveWorkInstructionDocInput request;
    request.addSavedObject(document);
    return request;
}

inline wi::ServerOptions quickOptions()
{
    wi::ServerOptions options;
    options.threads = 2;
    return options;
}

inline unsigned short portOf(const std::string& url)
{
    return static_cast<unsigned short>(std::stoul(url.substr(url.rfind(':') + 1)));
}

// A plain TCP connection to the server, for what the Client does not do.
class RawConnection {
public:
    /// receiveBuffer: the socket's receive buffer, when not 0; a small one
    /// keeps the server's answer in the server while nothing is read.
    explicit RawConnection(unsigned short port, int receiveBuffer = 0) : m_socket(::socket(AF_INET, SOCK_STREAM, 0))
    {
        if (receiveBuffer != 0) ::setsockopt(m_socket, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        m_connected = ::connect(m_socket, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    }
    ~RawConnection() { ::close(m_socket); }
    bool connected() const { return m_connected; }

    bool send(const std::string& text)
    {
        return ::send(m_socket, text.data(), text.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(text.size());
    }

    // The next answer, head and body; the connection stays open.
    std::string answer()
    {
        std::string answer;
        char buffer[65536];
        std::size_t end = std::string::npos; // of the whole answer, once its head is in
        for (;;) {
            const auto headEnd = end == std::string::npos ? answer.find("\r\n\r\n") : std::string::npos;
            if (headEnd != std::string::npos) {
                const auto length = answer.find("Content-Length: ");
                end = headEnd + 4 + (length < headEnd ? std::stoul(answer.substr(length + 16)) : 0);
            }
            if (end != std::string::npos && answer.size() >= end) return answer;
            const ssize_t got = ::recv(m_socket, buffer, sizeof buffer, 0);
            if (got <= 0) return "closed: " + answer;
            answer.append(buffer, static_cast<std::size_t>(got));
        }
    }

    // The status line of the answer to GET path.
    std::string get(const std::string& path)
    {
        if (!send("GET " + path + " HTTP/1.1\r\nHost: localhost\r\n\r\n")) return "send failed";
        const std::string text = answer();
        return text.substr(0, text.find("\r\n"));
    }

private:
    int m_socket;
    bool m_connected = false;
};

// The head of a load request in the envelope, for a body of length bytes.
inline std::string loadHead(wi::Envelope envelope, std::size_t length, const std::string& more = {})
{
    const std::string action = "http://velmora.com/Schemas/MES/2010-09/WorkInstructions/load";
    return "POST / HTTP/1.1\r\nHost: localhost\r\nContent-Length: " + std::to_string(length) + "\r\n" +
           (envelope == wi::Envelope::Soap12 ? "Content-Type: application/soap+xml; action=\"" + action + "\"\r\n"
                                              : "Content-Type: text/xml\r\nSOAPAction: \"" + action + "\"\r\n") +
           more + "\r\n";
}

// This process's standard error, into a file while it lives: the server's log.
class CapturedLog {
public:
    CapturedLog() : m_file(std::tmpfile()), m_saved(::dup(STDERR_FILENO))
    {
        std::fflush(stderr);
        ::dup2(::fileno(m_file), STDERR_FILENO);
    }
    ~CapturedLog()
    {
        ::dup2(m_saved, STDERR_FILENO);
        ::close(m_saved);
        std::fclose(m_file);
    }
    CapturedLog(const CapturedLog&) = delete;
    CapturedLog& operator=(const CapturedLog&) = delete;

    std::string text() const
    {
        std::string text;
        char buffer[4096];
        for (off_t at = 0;;) {
            const ssize_t got = ::pread(::fileno(m_file), buffer, sizeof buffer, at);
            if (got <= 0) return text;
            text.append(buffer, static_cast<std::size_t>(got));
            at += got;
        }
    }

private:
    std::FILE* m_file;
    int m_saved;
};

} // namespace serverfixture
