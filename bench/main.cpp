// Registers every benchmark over the generated documents and runs them.
// 1 KB documents show what a call costs whatever its message; --large adds the
// 200 MB documents (several GB of memory, minutes of time).

#include <cstring>
#include <vector>

#include "Benchmarks.hpp"

int main(int argc, char** argv)
{
    using namespace kvsoabench;
    std::vector<std::size_t> sizes = {1 * kKB, 100 * kKB, 20 * kMB};
    std::vector<char*> arguments;
    for (int i = 0; i < argc; ++i) {
        if (std::strcmp(argv[i], "--large") == 0) {
            sizes.push_back(200 * kMB);
        } else {
            arguments.push_back(argv[i]);
        }
    }
    int count = static_cast<int>(arguments.size());

    for (const std::size_t bytes : sizes) {
        for (const bool indented : {false, true}) {
            const Choice choice{bytes, indented};
            registerBinding<SaveWorkInstructionDocInput>(choice);
            registerBinding<LoadedObjectsResponse>(choice);
            registerBaselines<SaveWorkInstructionDocInput>(choice);
            registerBaselines<LoadedObjectsResponse>(choice);
            registerGsoap(choice);
        }
    }
    registerVariants({20 * kMB, false});

    benchmark::Initialize(&count, arguments.data());
    if (benchmark::ReportUnrecognizedArguments(count, arguments.data())) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
