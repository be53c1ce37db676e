// The libFuzzer entry point of one target, chosen when compiling with
// -DKVSOA_FUZZ_TARGET=<name of a target in FuzzTargets.hpp>.

#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "FuzzTargets.hpp"

#define KVSOA_STRINGIFY2(x) #x
#define KVSOA_STRINGIFY(x) KVSOA_STRINGIFY2(x)

namespace {
const fuzztargets::Target* const target = fuzztargets::findTarget(KVSOA_STRINGIFY(KVSOA_FUZZ_TARGET));
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (!target) {
        std::fprintf(stderr, "no fuzz target named %s\n", KVSOA_STRINGIFY(KVSOA_FUZZ_TARGET));
        std::abort();
    }
    try {
        target->run(std::string_view(reinterpret_cast<const char*>(data), size));
    } catch (const fuzztargets::Failure& failure) {
        std::fprintf(stderr, "fault found by %s: %s\n", target->name, failure.what());
        std::abort();
    }
    // Any other exception escapes to std::terminate: also a finding.
    return 0;
}
