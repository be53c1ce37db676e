// Who may call the Server, judged before the body; and what a handler knows
// of its call.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <regex>
#include <thread>

#include "ServerFixture.hpp"
#include "workinstructions/Client.hpp"

using namespace serverfixture;

namespace {

// A directory of this test's own, removed at its end.
class TemporaryDirectory {
public:
    TemporaryDirectory()
    {
        char pattern[] = "/tmp/wi-auth-XXXXXX";
        m_path = ::mkdtemp(pattern) ? pattern : "";
    }
    ~TemporaryDirectory() { std::system(("rm -rf '" + m_path + "'").c_str()); }
    std::string path(const std::string& name) const { return m_path + "/" + name; }

private:
    std::string m_path;
};

// htpasswd's own file of users, with the hashing its flags ask for.
std::string passwordFile(const TemporaryDirectory& directory, const std::string& flags)
{
    const std::string path = directory.path("users");
    std::remove(path.c_str());
    const std::string command = "htpasswd -c -b -B -C 4 '" + path + "' alice 'open sesame' >/dev/null 2>&1 && " +
                                "htpasswd -b " + flags + " '" + path + "' bob hunter2 >/dev/null 2>&1";
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
    return path;
}

std::string basic(const std::string& credentials)
{
    static const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string text;
    for (std::size_t i = 0; i < credentials.size(); i += 3) {
        const std::size_t count = std::min<std::size_t>(3, credentials.size() - i);
        unsigned group = 0;
        for (std::size_t j = 0; j < 3; ++j) {
            group = (group << 8) | (j < count ? static_cast<unsigned char>(credentials[i + j]) : 0u);
        }
        for (std::size_t j = 0; j < 4; ++j) text += j <= count ? alphabet[(group >> (18 - 6 * j)) & 0x3F] : '=';
    }
    return "Authorization: Basic " + text + "\r\n";
}

std::string statusLine(const std::string& answer)
{
    return answer.substr(0, answer.find("\r\n"));
}

std::string bodyOf(const std::string& answer)
{
    return answer.substr(answer.find("\r\n\r\n") + 4);
}

std::string exchange(unsigned short port, const std::string& more)
{
    RawConnection raw(port);
    const std::string body = wi::writeXml(loadRequest("Op0010"), wi::Envelope::Soap11);
    if (!raw.send(loadHead(wi::Envelope::Soap11, body.size(), more) + body)) return "send failed";
    return raw.answer();
}

} // namespace

TEST(ServerAuth, PasswordFilesOfWeakHashesAreRefusedAtLoad)
{
    struct Case {
        const char* flags;
        const char* hash;
    };
    const Case cases[] = {{"-m", "MD5"}, {"-s", "SHA-1"}, {"-p", "plain"}, {"-d", "crypt"}};
    TemporaryDirectory directory;
    for (const Case& test : cases) {
        SCOPED_TRACE(test.hash);
        const std::string path = passwordFile(directory, test.flags);
        try {
            wi::htpasswdUsers(path);
            ADD_FAILURE() << "loaded";
        } catch (const std::runtime_error& error) {
            EXPECT_NE(std::string(error.what()).find(path + " line 2: the entry of 'bob' is no bcrypt hash"),
                      std::string::npos)
                << error.what();
        }
    }
    EXPECT_NO_THROW(wi::htpasswdUsers(passwordFile(directory, "-B -C 4")));
    EXPECT_THROW(wi::htpasswdUsers(directory.path("absent")), std::runtime_error);
}

// Who gets in with which credentials; every refusal looks alike to the caller.
TEST(ServerAuth, BasicUsersAndBearerTokensAreJudgedBeforeTheBody)
{
    struct Case {
        const char* name;
        std::string more;
        std::string status;
        std::string user; // in the access log
    };
    TemporaryDirectory directory;
    const Case basicCases[] = {
        {"a user and her password", basic("alice:open sesame"), "HTTP/1.1 200 OK", "alice"},
        {"a user with a wrong password", basic("alice:open sesame!"), "HTTP/1.1 401 Unauthorized", "alice"},
        {"a user the file does not name", basic("carol:open sesame"), "HTTP/1.1 401 Unauthorized", "carol"},
        {"no credentials", "", "HTTP/1.1 401 Unauthorized", "-"},
        {"credentials that are no base64", "Authorization: Basic !!!\r\n", "HTTP/1.1 401 Unauthorized", "-"},
        {"a token where a password is asked", "Authorization: Bearer t0k3n\r\n", "HTTP/1.1 401 Unauthorized", "-"},
    };
    const Case bearerCases[] = {
        {"the service's token", "Authorization: bearer t0k3n\r\n", "HTTP/1.1 200 OK", "robot"},
        {"a token the program's check fails on", "Authorization: Bearer fail\r\n", "HTTP/1.1 401 Unauthorized", "-"},
        {"another token", "Authorization: Bearer t0k3m\r\n", "HTTP/1.1 401 Unauthorized", "-"},
        {"a password where a token is asked", basic("alice:open sesame"), "HTTP/1.1 401 Unauthorized", "-"},
    };
    const wi::Authenticator authenticators[] = {
        wi::htpasswdUsers(passwordFile(directory, "-B -C 4"), "work instructions"),
        wi::bearerTokens([](std::string_view token) -> std::string {
            if (token == "fail") throw std::runtime_error("token store unreachable");
            return wi::sameSecret(token, "t0k3n") ? "robot" : "";
        }),
    };
    const std::string challenges[] = {"Basic realm=\"work instructions\", charset=\"UTF-8\"",
                                      "Bearer realm=\"service\""};
    for (int which = 0; which < 2; ++which) {
        TestService service;
        wi::ServerOptions options = quickOptions();
        options.authenticator = authenticators[which];
        CapturedLog log;
        std::string refusal;
        {
            wi::Server server(service, options);
            server.start();
            const unsigned short port = portOf(server.url());
            for (const Case& test : which == 0 ? std::vector<Case>(std::begin(basicCases), std::end(basicCases))
                                               : std::vector<Case>(std::begin(bearerCases), std::end(bearerCases))) {
                SCOPED_TRACE(test.name);
                const std::string answer = exchange(port, test.more);
                EXPECT_EQ(statusLine(answer), test.status);
                if (test.status == "HTTP/1.1 200 OK") continue;
                EXPECT_NE(answer.find("WWW-Authenticate: " + challenges[which] + "\r\n"), std::string::npos)
                    << answer;
                if (refusal.empty()) refusal = bodyOf(answer);
                EXPECT_EQ(bodyOf(answer), refusal);
            }
            // Balancers and those who read the WSDL need no credentials.
            RawConnection balancer(port);
            EXPECT_EQ(balancer.get("/health"), "HTTP/1.1 200 OK");
            EXPECT_EQ(balancer.get("/?wsdl"), "HTTP/1.1 200 OK");
        }
        const std::string text = log.text();
        EXPECT_EQ(text.find("open sesame"), std::string::npos) << text;
        EXPECT_EQ(text.find("t0k3"), std::string::npos) << text;
        if (which == 0) {
            EXPECT_NE(text.find("refused user 'carol' from 127.0.0.1:"), std::string::npos) << text;
        } else {
            EXPECT_NE(text.find("server: the authenticator failed: token store unreachable\n"), std::string::npos) << text;
        }
        for (const Case& test : which == 0 ? std::vector<Case>(std::begin(basicCases), std::end(basicCases))
                                           : std::vector<Case>(std::begin(bearerCases), std::end(bearerCases))) {
            // A refused request's operation is not known: its body is not read.
            const std::string shown = test.status == "HTTP/1.1 200 OK" ? "POST load 200 " : "POST - 401 ";
            const std::regex line(shown + "received \\d+ sent \\d+ bytes in \\d+ us peer 127\\.0\\.0\\.1:\\d+ user " +
                                  test.user + " id [0-9a-f]{16}\n");
            EXPECT_TRUE(std::regex_search(text, line)) << test.name << "\n" << text;
        }
    }
}

// An unauthenticated request announcing 8 MB is answered as soon as its
// headers are in, and its connection closed: none of the body is waited for.
TEST(ServerAuth, AnUnauthenticatedBodyIsNeverRead)
{
    TemporaryDirectory directory;
    TestService service;
    wi::ServerOptions options = quickOptions();
    options.authenticator = wi::htpasswdUsers(passwordFile(directory, "-B -C 4"));
    wi::Server server(service, options);
    server.start();
    RawConnection raw(portOf(server.url()));
    ASSERT_TRUE(raw.send(loadHead(wi::Envelope::Soap11, 8u << 20, basic("alice:guess"))));
    const std::string answer = raw.answer();
    EXPECT_EQ(statusLine(answer), "HTTP/1.1 401 Unauthorized");
    EXPECT_NE(answer.find("Connection: close"), std::string::npos) << answer;
    EXPECT_EQ(raw.answer().rfind("closed: ", 0), 0u);
}

TEST(ServerAuth, TheHandlerKnowsItsCall)
{
    TemporaryDirectory directory;
    ContextService service;
    wi::ServerOptions options = quickOptions();
    options.authenticator = wi::htpasswdUsers(passwordFile(directory, "-B -C 4"));
    wi::Server server(service, options);
    server.start();
    struct Case {
        const char* name;
        std::string more;
        std::string requestId; // empty: one the server makes
    };
    const Case cases[] = {
        {"the caller's request id", "X-Request-Id: order-7/line-2\r\n", "order-7/line-2"},
        {"a request id with a space", "X-Request-Id: order 7\r\n", ""},
        {"a request id too long", "X-Request-Id: " + std::string(65, 'a') + "\r\n", ""},
        {"no request id", "", ""},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.name);
        const std::string answer = exchange(portOf(server.url()), basic("alice:open sesame") + "X-Trace: t-1\r\n" + test.more);
        ASSERT_EQ(statusLine(answer), "HTTP/1.1 200 OK");
        const std::lock_guard<std::mutex> lock(service.mutex);
        ASSERT_TRUE(service.last);
        const wi::CallContext& context = *service.last;
        EXPECT_EQ(context.peerAddress(), "127.0.0.1");
        EXPECT_NE(context.peerPort(), 0);
        ASSERT_NE(context.headers().find("x-TRACE"), nullptr);
        EXPECT_EQ(*context.headers().find("x-TRACE"), "t-1");
        EXPECT_EQ(context.identity().name, "alice");
        EXPECT_EQ(context.identity().proof, "basic");
        if (test.requestId.empty()) {
            EXPECT_TRUE(std::regex_match(context.requestId(), std::regex("[0-9a-f]{16}"))) << context.requestId();
        } else {
            EXPECT_EQ(context.requestId(), test.requestId);
        }
        EXPECT_NE(answer.find("X-Request-Id: " + context.requestId() + "\r\n"), std::string::npos) << answer;
    }
}

// A handler that watches cancelled() learns that its client has gone.
TEST(ServerAuth, CancelledOnceTheClientHasGone)
{
    ContextService service;
    std::atomic<bool> running{false};
    using Clock = std::chrono::steady_clock;
    std::atomic<long long> noticedAfterMs{-1};
    std::atomic<Clock::rep> gone{0};
    service.during = [&](wi::CallContext& context) {
        running = true;
        const auto start = std::chrono::steady_clock::now();
        while (!context.cancelled() && std::chrono::steady_clock::now() - start < std::chrono::seconds(10)) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        const Clock::duration since = Clock::now().time_since_epoch() - Clock::duration(gone.load());
        noticedAfterMs = std::chrono::duration_cast<std::chrono::milliseconds>(since).count();
    };
    wi::Server server(service, quickOptions());
    server.start();
    {
        RawConnection raw(portOf(server.url()));
        const std::string body = wi::writeXml(loadRequest("Op0010"), wi::Envelope::Soap11);
        ASSERT_TRUE(raw.send(loadHead(wi::Envelope::Soap11, body.size()) + body));
        for (int i = 0; i < 500 && !running; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        ASSERT_TRUE(running);
        gone = Clock::now().time_since_epoch().count();
    }
    for (int i = 0; i < 1000 && noticedAfterMs < 0; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_GE(noticedAfterMs, 0);
    EXPECT_LT(noticedAfterMs, 1000); // 100 ms is the goal; the margin is for a loaded machine
    server.stop();
}
