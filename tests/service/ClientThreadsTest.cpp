// A client shared by threads, in a program of its own that needs no wixml, so
// that the thread sanitizer's build runs it too.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <optional>
#include <thread>
#include <vector>

#include "ServiceProcess.hpp"
#include "workinstructions/Client.hpp"

namespace wi = Velmora::Schemas::Mes::_2010_09::Workinstructions;
using service_test::connectionsSoFar;

namespace {

wi::AutoPtr<wi::SaveWorkInstructionDocInput> saveRequest()
{
    return wi::readXml<wi::SaveWorkInstructionDocInput>(service_test::exampleFile("save-request.xml"));
}

} // namespace

// One client's calls from eight threads run at once, each on a connection of
// its own, kept for the next round: /gather-8 answers no call before eight are
// waiting, so calls made one at a time would each run into their timeout.
TEST(ClientCalls, SharedClientCallsFromThreadsRunAtOnce)
{
    const service_test::ServiceProcess standIn = service_test::startStandIn();
    wi::ClientOptions options;
    options.timeout = std::chrono::seconds(8);
    wi::Client client(standIn.url() + "gather-8", options);
    const auto request = saveRequest();
    const int before = connectionsSoFar(standIn.url());
    std::atomic<int> answered{0};
    for (int round = 0; round < 2; ++round) {
        std::vector<std::thread> threads;
        for (int t = 0; t < 8; ++t) {
            threads.emplace_back([&] {
                try {
                    if (client.save(*request)->getServiceData()->getCreatedArray().size() == 1) ++answered;
                } catch (const std::exception& error) {
                    ADD_FAILURE() << error.what();
                }
            });
        }
        for (std::thread& thread : threads) thread.join();
    }
    EXPECT_EQ(answered.load(), 16);
    EXPECT_EQ(connectionsSoFar(standIn.url()) - before, 8 + 1) << "eight connections, kept; and this GET";
}

// Eight threads calling at once, each with a client of its own or all with
// one shared client, some calls with options of their own: every reply whole.
TEST(ClientCalls, ClientsOnThreadsOwnOrShared)
{
    const service_test::ServiceProcess standIn = service_test::startStandIn();
    const std::string url = standIn.url() + "echo";
    const std::string expected =
        wi::writeXml(*wi::readXml<wi::SavedObjectsResponse>(service_test::exampleFile("save-reply.xml")));
    const auto request = saveRequest();
    wi::CallOptions callOptions;
    callOptions.timeout = std::chrono::seconds(30);
    callOptions.headers = {{"X-Call", "own"}};
    for (const bool shared : {false, true}) {
        SCOPED_TRACE(shared ? "one shared client" : "a client per thread");
        wi::Client sharedClient(url);
        std::atomic<int> whole{0};
        std::vector<std::thread> threads;
        for (int t = 0; t < 8; ++t) {
            threads.emplace_back([&, t] {
                wi::ClientOptions options;
                options.envelope = t % 2 ? wi::Envelope::Soap12 : wi::Envelope::Soap11;
                std::optional<wi::Client> own;
                if (!shared) own.emplace(url, options);
                wi::Client& client = shared ? sharedClient : *own;
                for (int call = 0; call < 25; ++call) {
                    const auto reply = call % 2 ? client.save(*request, callOptions) : client.save(*request);
                    if (wi::writeXml(*reply) == expected) ++whole;
                }
            });
        }
        for (std::thread& thread : threads) thread.join();
        EXPECT_EQ(whole.load(), 200);
    }
}
