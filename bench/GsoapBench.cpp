// gSOAP's generated binding reading and writing the same documents.

#include "Benchmarks.hpp"

#ifdef KVSOABENCH_GSOAP

#include <exception>

#include "GsoapPeer.hpp"

namespace kvsoabench
{

namespace
{

// Reading ends when the objects are there; freeing them is not counted.
template <typename Message>
void benchGsoapRead(benchmark::State& state, Choice choice)
{
    const Document& doc = document<Message>(choice.bytes, choice.indented);
    try {
        GsoapPeer<Message> peer;
        for (auto _ : state) {
            const Stopwatch watch;
            const std::size_t records = peer.read(doc.text);
            state.SetIterationTime(watch.stop());
            peer.clear();
            if (records != doc.records) state.SkipWithError("gSOAP read a different number of records");
        }
    } catch (const std::exception& error) {
        state.SkipWithError(error.what());
    }
    countBytes(state, doc);
}

// Counted over our document, so that both tools are rated per message; the
// text gSOAP writes differs in prefixes and number forms.
template <typename Message>
void benchGsoapWrite(benchmark::State& state, Choice choice)
{
    const Document& doc = document<Message>(choice.bytes, choice.indented);
    try {
        GsoapPeer<Message> peer;
        peer.read(doc.text);
        std::size_t written = 0;
        for (auto _ : state) {
            const Stopwatch watch;
            std::string out;
            peer.write(out);
            written = out.size();
            state.SetIterationTime(watch.stop());
        }
        state.counters["own_bytes"] = static_cast<double>(written);
    } catch (const std::exception& error) {
        state.SkipWithError(error.what());
    }
    countBytes(state, doc);
}

} // namespace

void registerGsoap(Choice choice)
{
    // gSOAP writes compact text only; its read of the indented text still counts.
    sized(benchmark::RegisterBenchmark(benchmarkName<SaveWorkInstructionDocInput>("gsoap-read", choice).c_str(),
                                       &benchGsoapRead<SaveWorkInstructionDocInput>, choice),
          choice)
        ->UseManualTime();
    sized(benchmark::RegisterBenchmark(benchmarkName<LoadedObjectsResponse>("gsoap-read", choice).c_str(),
                                       &benchGsoapRead<LoadedObjectsResponse>, choice),
          choice)
        ->UseManualTime();
    if (choice.indented) return;
    sized(benchmark::RegisterBenchmark(benchmarkName<SaveWorkInstructionDocInput>("gsoap-write", choice).c_str(),
                                       &benchGsoapWrite<SaveWorkInstructionDocInput>, choice),
          choice)
        ->UseManualTime();
    sized(benchmark::RegisterBenchmark(benchmarkName<LoadedObjectsResponse>("gsoap-write", choice).c_str(),
                                       &benchGsoapWrite<LoadedObjectsResponse>, choice),
          choice)
        ->UseManualTime();
}

} // namespace kvsoabench

#else

namespace kvsoabench
{

void registerGsoap(Choice) {}

} // namespace kvsoabench

#endif
