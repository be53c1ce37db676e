// Calls per second and latency of one service client against a server: the
// library's Client, or (built with KVSOABENCH_GSOAP_PROXY) gSOAP's proxy
// generated from the same WSDL. Each thread has a client of its own, or with
// --shared all threads call through one (the library's Client only; each
// thread keeps request objects of its own), and calls
// until the time is up or the calls are made; every reply is checked against
// the first one's size.
//
//   kvsoa-calls [--shared] URL REQUEST THREADS SECONDS [CALLS]
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
#include <memory>
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

// Latencies by the microsecond up to a tenth of a second: filled in place, so
// that a long run's memory stays what it was at its start.
constexpr std::size_t kBuckets = 100001;

struct Tally {
    std::vector<long> latencies = std::vector<long>(kBuckets, 0);
    long calls = 0;
    long differed = 0;
};

} // namespace

int main(int argc, char** argv)
{
    const bool shared = argc > 1 && std::string(argv[1]) == "--shared";
    if (shared) {
        --argc;
        ++argv;
    }
    if (argc < 5 || argc > 6) {
        std::fprintf(stderr, "usage: kvsoa-calls [--shared] URL REQUEST THREADS SECONDS [CALLS]\n");
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
    std::unique_ptr<kvsoabench::CallsDriver> sharedDriver;
    if (shared) sharedDriver = std::make_unique<kvsoabench::CallsDriver>(url, text.str());
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t) {
        workers.emplace_back([&, t] {
            kvsoabench::CallsDriver driver = shared ? kvsoabench::CallsDriver(*sharedDriver, text.str())
                                                    : kvsoabench::CallsDriver(url, text.str());
            Tally& tally = tallies[static_cast<std::size_t>(t)];
            std::size_t expected = 0;
            for (;;) {
                const long number = made.fetch_add(1);
                if (calls ? number >= calls : Clock::now() >= end) break;
                if (calls && number == calls / 10) warmKb = residentKb();
                const Clock::time_point before = Clock::now();
                const std::size_t size = driver.call();
                const long us = std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - before).count();
                ++tally.latencies[std::min<std::size_t>(static_cast<std::size_t>(us), kBuckets - 1)];
                ++tally.calls;
                if (expected == 0) expected = size;
                if (size != expected || size == 0) ++tally.differed;
            }
        });
    }
    for (std::thread& worker : workers) worker.join();
    const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();

    std::vector<long> all(kBuckets, 0);
    long total = 0;
    long differed = 0;
    for (const Tally& tally : tallies) {
        for (std::size_t us = 0; us < kBuckets; ++us) all[us] += tally.latencies[us];
        total += tally.calls;
        differed += tally.differed;
    }
    const auto at = [&](double share) {
        long seen = 0;
        for (std::size_t us = 0; us < kBuckets; ++us) {
            seen += all[us];
            if (seen > static_cast<long>(share * static_cast<double>(total - 1))) return static_cast<long>(us);
        }
        return 0L;
    };
    std::printf("{\"calls\": %ld, \"seconds\": %.3f, \"rps\": %.1f, \"p50_us\": %ld, \"p99_us\": %ld, "
                "\"differed\": %ld, \"warm_kb\": %ld, \"end_kb\": %ld}\n",
                total, elapsed, static_cast<double>(total) / elapsed, at(0.5), at(0.99), differed, warmKb.load(),
                residentKb());
    return differed == 0 ? 0 : 1;
}
