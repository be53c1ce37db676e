// Calls per second and latency of one service client against a server: the
// library's Client, or (built with KVSOABENCH_GSOAP_PROXY) gSOAP's proxy
// generated from the same WSDL. Each thread has a client of its own and calls
// until the time is up or the calls are made; every reply is checked against
// the first one's size.
//
//   kvsoa-calls URL REQUEST THREADS SECONDS [CALLS]
//
// REQUEST is a SOAP 1.1 envelope of a load or save request (bench/calls writes
// them). Prints one JSON line: calls, seconds, calls per second, p50/p99 in µs,
// replies that differed, and the client's resident memory after a tenth of the
// calls and at the end (with CALLS).

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "CallsDriver.hpp"

namespace {

using Clock = std::chrono::steady_clock;

long residentKb()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
    }
    return 0;
}

struct Tally {
    std::vector<long> latenciesUs;
    long differed = 0;
};

} // namespace

int main(int argc, char** argv)
{
    if (argc < 5 || argc > 6) {
        std::fprintf(stderr, "usage: kvsoa-calls URL REQUEST THREADS SECONDS [CALLS]\n");
        return 2;
    }
    const std::string url = argv[1];
    std::ifstream file(argv[2], std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    const int threads = std::max(1, std::atoi(argv[3]));
    const auto seconds = std::chrono::duration<double>(std::atof(argv[4]));
    const long calls = argc == 6 ? std::atol(argv[5]) : 0;

    std::atomic<long> made{0};
    std::atomic<long> warmKb{0};
    std::vector<Tally> tallies(static_cast<std::size_t>(threads));
    const Clock::time_point start = Clock::now();
    const Clock::time_point end = start + std::chrono::duration_cast<Clock::duration>(seconds);
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t) {
        workers.emplace_back([&, t] {
            kvsoabench::CallsDriver driver(url, text.str());
            Tally& tally = tallies[static_cast<std::size_t>(t)];
            std::size_t expected = 0;
            for (;;) {
                const long number = made.fetch_add(1);
                if (calls ? number >= calls : Clock::now() >= end) break;
                if (calls && number == calls / 10) warmKb = residentKb();
                const Clock::time_point before = Clock::now();
                const std::size_t size = driver.call();
                tally.latenciesUs.push_back(
                    std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - before).count());
                if (expected == 0) expected = size;
                if (size != expected || size == 0) ++tally.differed;
            }
        });
    }
    for (std::thread& worker : workers) worker.join();
    const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();

    std::vector<long> all;
    long differed = 0;
    for (const Tally& tally : tallies) {
        all.insert(all.end(), tally.latenciesUs.begin(), tally.latenciesUs.end());
        differed += tally.differed;
    }
    std::sort(all.begin(), all.end());
    const auto at = [&](double share) { return all.empty() ? 0L : all[static_cast<std::size_t>(share * (all.size() - 1))]; };
    std::printf("{\"calls\": %zu, \"seconds\": %.3f, \"rps\": %.1f, \"p50_us\": %ld, \"p99_us\": %ld, "
                "\"differed\": %ld, \"warm_kb\": %ld, \"end_kb\": %ld}\n",
                all.size(), elapsed, static_cast<double>(all.size()) / elapsed, at(0.5), at(0.99), differed,
                warmKb.load(), residentKb());
    return differed == 0 ? 0 : 1;
}
