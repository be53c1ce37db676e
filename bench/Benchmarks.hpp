#pragma once

#include <benchmark/benchmark.h>

#include <cstddef>
#include <ctime>
#include <string>

#include "Corpus.hpp"

namespace kvsoabench
{

/// Which document a benchmark works on; its name reads "operation/save/20MB/compact".
struct Choice {
    std::size_t bytes;
    bool indented;
};

template <typename Message>
std::string benchmarkName(const char* operation, Choice choice)
{
    return std::string(operation) + "/" + MessageTraits<Message>::label + "/" + sizeLabel(choice.bytes) +
           (choice.indented ? "/indented" : "/compact");
}

/// MB/s over the document, whatever the operation touches.
inline void countBytes(benchmark::State& state, const Document& document)
{
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(document.text.size()));
}

/// For UseManualTime: the thread's CPU time between construction and stop(),
/// as the automatic timings report it, so that other work on a shared machine
/// does not count.
class Stopwatch
{
public:
    double stop() const { return now() - m_start; }

private:
    static double now()
    {
        timespec time{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &time);
        return static_cast<double>(time.tv_sec) + static_cast<double>(time.tv_nsec) * 1e-9;
    }
    double m_start = now();
};

/// Big documents run few iterations; a second one already costs seconds.
inline benchmark::internal::Benchmark* sized(benchmark::internal::Benchmark* benchmark, Choice choice)
{
    benchmark->Unit(benchmark::kMillisecond);
    if (choice.bytes >= 100 * kMB) benchmark->Iterations(2);
    return benchmark;
}

// The binding's own operations, also run under the variants.
template <typename Message>
void benchRead(benchmark::State& state, Choice choice);
template <typename Message>
void benchWrite(benchmark::State& state, Choice choice);
template <typename Message>
void benchDestroy(benchmark::State& state, Choice choice);

// Registration, one family per file.
template <typename Message>
void registerBinding(Choice choice);
template <typename Message>
void registerBaselines(Choice choice);
/// Manager installed and tracing on, against the plain runs of the same document.
void registerVariants(Choice choice);
/// The least work the object contract allows, next to read and read+release.
template <typename Message>
void registerFloor(Choice choice);
/// Documents on which the floor did not make what readXml makes; the run fails.
int& floorCheckFailures();
/// gSOAP's generated binding on the same documents; does nothing when not built.
void registerGsoap(Choice choice);

} // namespace kvsoabench
