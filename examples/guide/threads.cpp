// Threads: an object is used by one thread at a time while it changes, but
// separate messages read in parallel, each thread with its own objects.
// Measures how much one and two threads read per second of wall-clock time,
// and per second of processor time (which other programs on the machine do
// not affect).
//
//   guide_threads [ROUNDS]

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

#include "workinstructions/WorkInstructions.hpp"

namespace wi = Velmora::Schemas::Mes::_2010_09::Workinstructions;
using Kavella::Soa::Common::AutoPtr;

// A save request of about a megabyte: objects, each with one step of properties.
std::string sampleRequest(int objects)
{
    wi::SaveWorkInstructionDocInput request;
    for (int i = 0; i < objects; ++i) {
        AutoPtr<wi::SavedSubSTXInfo> step(new wi::SavedSubSTXInfo);
        step->setTransientId("dcd-" + std::to_string(i));
        for (int p = 0; p < 8; ++p) {
            AutoPtr<wi::DoubleMap> value(new wi::DoubleMap);
            value->setKey("measure_" + std::to_string(p));
            value->setValue(i + p / 8.0);
            step->getObjectData()->addDoubleProp(value);
        }
        AutoPtr<wi::SavedObjectInfo> saved(new wi::SavedObjectInfo);
        saved->setWorkInstructionFile("line-4.wi");
        saved->addModifiedDCD(step);
        request.addSavedObject(saved);
    }
    return wi::writeXml(request);
}

//! [parallel]
// Each thread reads its own copy of the text into its own objects; that is
// all it takes to read in parallel.
struct Rate {
    double wall; // MB per second
    double cpu;  // MB per processor second, all threads together
};

Rate readInParallel(int threads, const std::string& text, int rounds, std::atomic<int>& wrong)
{
    const auto start = std::chrono::steady_clock::now();
    const std::clock_t cpuStart = std::clock();
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t) {
        workers.emplace_back([text, rounds, &wrong] {
            for (int i = 0; i < rounds; ++i) {
                AutoPtr<wi::SaveWorkInstructionDocInput> request = wi::readXml<wi::SaveWorkInstructionDocInput>(text);
                if (request->getSavedObjectArray().size() != 2000) ++wrong;
            }
        });
    }
    for (std::thread& worker : workers) worker.join();
    const std::chrono::duration<double> seconds = std::chrono::steady_clock::now() - start;
    const double cpuSeconds = double(std::clock() - cpuStart) / CLOCKS_PER_SEC;
    const double megabytes = threads * rounds * (text.size() / 1e6);
    return {megabytes / seconds.count(), megabytes / cpuSeconds};
}
//! [parallel]

int main(int argc, char** argv)
{
    const int rounds = argc > 1 ? std::atoi(argv[1]) : 3;
    const std::string text = sampleRequest(2000);
    std::atomic<int> wrong{0};
    readInParallel(1, text, 1, wrong); // warm up
    const Rate one = readInParallel(1, text, rounds, wrong);
    const Rate two = readInParallel(2, text, rounds, wrong);
    std::printf("document: %.1f MB, %d rounds per thread, %u hardware threads\n", text.size() / 1e6, rounds,
                std::thread::hardware_concurrency());
    std::printf("1 thread: %.1f MB/s, %.1f MB per CPU second\n", one.wall, one.cpu);
    std::printf("2 threads: %.1f MB/s (%.2fx), %.1f MB per CPU second\n", two.wall, two.wall / one.wall, two.cpu);
    std::printf("reads that went wrong: %d\n", wrong.load());
    return wrong == 0 ? 0 : 1;
}
