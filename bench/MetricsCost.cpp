// What counting one exchange in the server's metrics costs, apart from
// everything else a call does: two threads (the server's workers on the
// bench's two cores) count a spread of records into one ServerMetrics at once.
//
//   kvsoa-metrics-cost [RECORDS PER THREAD]
//
// Prints one JSON line: records, seconds, nanoseconds per record.

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

#include "ServerMetrics.hpp"

namespace wi = Velmora::Schemas::Mes::_2010_09::Workinstructions;

int main(int argc, char** argv)
{
    const long perThread = argc > 1 ? std::atol(argv[1]) : 2000000;
    // What a server sees: both operations, all three forms, answers and faults.
    std::vector<wi::AccessRecord> records;
    for (const char* operation : {"load", "save"}) {
        for (const char* version : {"soap11", "soap12", "bare"}) {
            for (const int status : {200, 500}) {
                wi::AccessRecord record;
                record.operation = operation;
                record.version = version;
                record.status = status;
                record.received = 1024;
                record.sent = 812;
                record.duration = std::chrono::microseconds(150 + 700 * (status == 500));
                records.push_back(record);
            }
        }
    }
    wi::serving::ServerMetrics metrics;
    wi::serving::ExchangeEnd answered;
    const auto started = std::chrono::steady_clock::now();
    std::vector<std::thread> workers;
    for (int worker = 0; worker < 2; ++worker) {
        workers.emplace_back([&] {
            for (long i = 0; i < perThread; ++i) {
                metrics.count(records[static_cast<std::size_t>(i) % records.size()], answered);
            }
        });
    }
    for (std::thread& worker : workers) worker.join();
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    const long total = 2 * perThread;
    // Read back, so that the counting cannot be left out.
    const std::size_t size = metrics.exposition({}).size();
    // Each thread made half the records in the time: a core's nanoseconds per record.
    const double nanoseconds = seconds * 1e9 / static_cast<double>(perThread);
    std::printf("{\"records\": %ld, \"seconds\": %.4f, \"ns_per_record\": %.1f, \"exposition_bytes\": %zu}\n", total,
                seconds, nanoseconds, size);
    return 0;
}
