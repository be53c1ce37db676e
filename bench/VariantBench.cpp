// The same read, write and destroy with a MemoryManager installed and with a
// trace listener installed; the plain runs of the same document are the reference.

#include <cstdlib>

#include "Benchmarks.hpp"

namespace kvsoabench
{

namespace
{

using ::Kavella::Soa::Common::MemoryManager;
using ::Kavella::Soa::Common::Monitor;
using ::Kavella::Soa::Common::MonitorListener;

// Hands every object to malloc: what remains is the cost of going through a manager.
class MallocManager : public MemoryManager
{
public:
    void* allocate(std::size_t size, const char*) override { return std::malloc(size); }
    void deallocate(void* pointer) override { std::free(pointer); }
    void* placementallocate(std::size_t, void* place) override { return place; }
    void placementdeallocate(void*, void*) override {}
};

// Counts the markers so that the calls cannot be dropped.
class CountingListener : public MonitorListener
{
public:
    void onStart(const std::string&) override { ++m_marks; }
    void onEnd(const std::string&) override { ++m_marks; }
    std::size_t marks() const { return m_marks; }

private:
    std::size_t m_marks = 0;
};

using Bench = void (*)(benchmark::State&, Choice);

// Every object made under the manager is freed under it too, inside bench.
template <Bench bench>
void withManager(benchmark::State& state, Choice choice)
{
    MallocManager manager;
    MemoryManager::setMemoryManager(&manager);
    bench(state, choice);
    MemoryManager::setMemoryManager(nullptr);
}

template <Bench bench>
void withTracing(benchmark::State& state, Choice choice)
{
    CountingListener listener;
    Monitor::setListener(&listener);
    bench(state, choice);
    Monitor::setListener(nullptr);
    state.counters["marks"] = static_cast<double>(listener.marks());
}

} // namespace

void registerVariants(Choice choice)
{
    using M = SaveWorkInstructionDocInput;
    const std::pair<const char*, Bench> variants[] = {{"read+manager", &withManager<&benchRead<M>>},
                                                      {"destroy+manager", &withManager<&benchDestroy<M>>},
                                                      {"read+tracing", &withTracing<&benchRead<M>>},
                                                      {"write+tracing", &withTracing<&benchWrite<M>>}};
    for (const auto& [name, bench] : variants)
        sized(benchmark::RegisterBenchmark(benchmarkName<M>(name, choice).c_str(), bench, choice), choice)
            ->UseManualTime();
}

} // namespace kvsoabench
