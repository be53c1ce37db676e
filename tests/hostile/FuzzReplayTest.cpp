// Replays every fuzz seed, every example message and every input that once
// made a fuzz target fail, through the same targets the fuzzers run.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "../../fuzz/FuzzTargets.hpp"

namespace {

namespace fs = std::filesystem;

const fs::path kSourceRoot = KVSOA_SOURCE_DIR;

std::vector<fs::path> filesIn(const fs::path& directory)
{
    std::vector<fs::path> files;
    if (fs::is_directory(directory)) {
        for (const auto& entry : fs::directory_iterator(directory)) {
            if (entry.is_regular_file()) files.push_back(entry.path());
        }
    }
    return files;
}

std::string contents(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void replay(const fuzztargets::Target& target, const fs::path& file)
{
    try {
        target.run(contents(file));
    } catch (const fuzztargets::Failure& failure) {
        ADD_FAILURE() << target.name << " on " << file << ": " << failure.what();
    }
}

TEST(HostileFuzzReplay, SeedsExamplesAndFormerFailuresPassEveryTarget)
{
    std::vector<fs::path> examples;
    for (const auto& file : filesIn(kSourceRoot / "examples")) {
        if (file.extension() == ".xml") examples.push_back(file);
    }
    for (const fuzztargets::Target& target : fuzztargets::targets) {
        SCOPED_TRACE(target.name);
        const std::vector<fs::path> seeds = filesIn(kSourceRoot / "fuzz" / "corpus" / target.name);
        EXPECT_FALSE(seeds.empty()) << "no seeds for " << target.name;
        for (const auto& file : seeds) replay(target, file);
        for (const auto& file : filesIn(kSourceRoot / "fuzz" / "regressions" / target.name)) replay(target, file);
        // Every example goes through every target: a message target refuses the others cleanly.
        for (const auto& file : examples) replay(target, file);
    }
}

} // namespace
