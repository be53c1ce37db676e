// A name lookup that hangs must not hold a call past its timeouts. This
// program's own getaddrinfo stands in for a resolver that never answers for
// names under "hang.test." and passes every other name on to the C library's;
// libcurl looks names up on a thread of its own through it.

#include <dlfcn.h>
#include <netdb.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <string>
#include <thread>

#include "workinstructions/Client.hpp"

namespace wi = Velmora::Schemas::Mes::_2010_09::Workinstructions;

extern "C" int getaddrinfo(const char* node, const char* service, const addrinfo* hints, addrinfo** result)
{
    constexpr const char suffix[] = "hang.test";
    const std::size_t length = node ? std::strlen(node) : 0;
    if (length >= sizeof suffix - 1 && std::strcmp(node + length - (sizeof suffix - 1), suffix) == 0) {
        std::this_thread::sleep_for(std::chrono::seconds(20));
        return EAI_AGAIN;
    }
    using Lookup = int (*)(const char*, const char*, const addrinfo*, addrinfo**);
    static const auto next = reinterpret_cast<Lookup>(dlsym(RTLD_NEXT, "getaddrinfo"));
    return next(node, service, hints, result);
}

// The lookup counts against the connect timeout, and the call returns when it
// is up, leaving the lookup's thread behind instead of waiting for it.
TEST(ClientResolve, HangingLookupEndsAtTheConnectTimeout)
{
    wi::ClientOptions options;
    options.connectTimeout = std::chrono::milliseconds(1000);
    options.timeout = std::chrono::milliseconds(3000);
    wi::Client client("http://service.hang.test:8080/", options);
    const auto start = std::chrono::steady_clock::now();
    try {
        client.load(wi::LoadWorkInstructionDocInput());
        ADD_FAILURE() << "a call to a name that never resolves succeeded";
    } catch (const wi::CallError& error) {
        EXPECT_EQ(error.kind(), wi::CallError::Kind::ConnectTimeout) << error.what();
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_GE(seconds, 0.9);
    EXPECT_LT(seconds, 2.5) << "the call waited for the lookup's thread";
}
