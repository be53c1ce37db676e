// How the cost of reading grows with the size of hostile, well-formed
// documents. Each shape is read at n and at 8n units, every read in a forked
// child so that no read inherits another's allocator state or peak: the CPU
// time of the read must grow less than 24-fold (linear cost gives 8,
// quadratic 64), and the memory it takes at 8n must stay below ten times the
// input plus a fixed allowance (forty for the tree reader, a node per element). A DomException is a finished read (refused);
// any other exception fails. Every shape prints its figures:
//   hostile_tests --gtest_filter='HostileComplexity*'
// and HOSTILE_SHAPE=part in the environment measures only the shapes whose
// names hold part.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <malloc.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "HostileShapes.hpp"
#include "HostileSupport.hpp"

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define HOSTILE_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer) || __has_feature(memory_sanitizer)
#define HOSTILE_SANITIZED 1
#endif
#endif

namespace {

using namespace hostile;

constexpr double kRatioLimit = 24;
constexpr double kMemoryMultiple = 10;
// The tree keeps a node per element (XMLNode, 112 bytes, and its place in the
// parent's list): for "<e/>" that alone is 30 times the text. Its bound is
// that constant, not the objects' ten.
constexpr double kTreeMemoryMultiple = 40;
constexpr double kMemoryAllowance = 4.0 * (1 << 20); // the reader's fixed costs
constexpr std::size_t kTargetBytes = 200 * 1024;     // of the n document
// Reads faster than this are mostly noise: n grows while the document allows,
// and a ratio never divides by less.
constexpr double kShortestTimedRead = 0.002;
constexpr std::size_t kLargestScaledBytes = 1280 * 1024;
constexpr int kRepeats = 3;
constexpr unsigned kSmallCpuCap = 60; // seconds; no n document should come near

struct Reading {
    bool finished = false; // false: stopped at the CPU cap, or died
    bool refused = false;
    bool otherError = false;
    int signal = 0;
    double seconds = 0; // CPU
    long peakKb = 0;    // the rise of the peak resident size during the read
    char message[128] = {};
};

void keepMessage(Reading& reading, const char* text)
{
    std::snprintf(reading.message, sizeof reading.message, "%s", text);
}

double seconds(const timespec& t) { return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9; }

// Lowers the peak resident size to the current one (Linux 4.0 and later);
// without it the peak inherited from the parent would hide the read's own.
void resetPeak()
{
    const int fd = open("/proc/self/clear_refs", O_WRONLY);
    if (fd < 0) return;
    if (write(fd, "5", 1) < 0) {
    }
    close(fd);
}

[[noreturn]] void readAndReport(ShapeReader reader, const std::string& text, unsigned cpuCap, int out)
{
    const rlimit noCore{0, 0};
    setrlimit(RLIMIT_CORE, &noCore);
    const rlimit cpu{cpuCap, cpuCap + 1};
    setrlimit(RLIMIT_CPU, &cpu);
    Reading reading;
    // Memory freed in the parent, still resident, would otherwise serve the read unseen.
    malloc_trim(0);
    resetPeak();
    rusage before{};
    getrusage(RUSAGE_SELF, &before);
    // The thread's clock: the read runs on this one thread, and with RLIMIT_CPU
    // set the process clock advances only in scheduler ticks.
    timespec start{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &start);
    try {
        readShape(reader, text);
    } catch (const DomException& error) {
        reading.refused = true;
        keepMessage(reading, error.getMessage().c_str());
    } catch (const std::exception& error) {
        reading.otherError = true;
        keepMessage(reading, error.what());
    } catch (...) {
        reading.otherError = true;
        keepMessage(reading, "an exception that is no std::exception");
    }
    timespec end{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &end);
    rusage after{};
    getrusage(RUSAGE_SELF, &after);
    reading.finished = true;
    reading.seconds = seconds(end) - seconds(start);
    reading.peakKb = after.ru_maxrss - before.ru_maxrss;
    const char* bytes = reinterpret_cast<const char*>(&reading);
    for (std::size_t sent = 0; sent < sizeof reading;) {
        const ssize_t wrote = write(out, bytes + sent, sizeof reading - sent);
        if (wrote < 0 && errno == EINTR) continue;
        if (wrote <= 0) break;
        sent += static_cast<std::size_t>(wrote);
    }
    _exit(0);
}

/// One read of text in a child of its own, stopped after cpuCap seconds of CPU.
Reading readInChild(ShapeReader reader, const std::string& text, unsigned cpuCap)
{
    int pipeEnds[2];
    if (pipe(pipeEnds) != 0) throw std::runtime_error(std::string("pipe: ") + std::strerror(errno));
    std::fflush(nullptr);
    const pid_t child = fork();
    if (child < 0) throw std::runtime_error(std::string("fork: ") + std::strerror(errno));
    if (child == 0) {
        close(pipeEnds[0]);
        readAndReport(reader, text, cpuCap, pipeEnds[1]);
    }
    close(pipeEnds[1]);
    Reading reading;
    char* bytes = reinterpret_cast<char*>(&reading);
    std::size_t received = 0;
    while (received < sizeof reading) {
        const ssize_t got = read(pipeEnds[0], bytes + received, sizeof reading - received);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        received += static_cast<std::size_t>(got);
    }
    close(pipeEnds[0]);
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    if (received != sizeof reading) {
        reading = Reading{};
        if (WIFSIGNALED(status)) reading.signal = WTERMSIG(status);
    }
    return reading;
}

/// The fastest of up to kRepeats reads and the highest peak among them; an
/// unfinished read ends the series and is what comes back. Repeats stop once a
/// read takes longer than giveUpSeconds.
Reading bestOf(ShapeReader reader, const std::string& text, unsigned cpuCap, double giveUpSeconds)
{
    Reading best;
    for (int run = 0; run < kRepeats; ++run) {
        const Reading reading = readInChild(reader, text, cpuCap);
        if (!reading.finished) return reading;
        const long peak = std::max(best.peakKb, reading.peakKb);
        if (run == 0 || reading.seconds < best.seconds) best = reading;
        best.peakKb = peak;
        if (reading.seconds > giveUpSeconds) break;
    }
    return best;
}

std::string outcome(const Reading& reading)
{
    if (!reading.finished) {
        if (reading.signal == SIGXCPU) return "stopped at the CPU cap";
        return "died" + (reading.signal ? " of signal " + std::to_string(reading.signal) : std::string());
    }
    if (reading.otherError) return std::string("FAILED: ") + std::string(reading.message).substr(0, 80);
    if (reading.refused) return std::string("refused: ") + std::string(reading.message).substr(0, 80);
    return "read";
}

// One-time costs (the parser's initialisation, code paged in) are paid here,
// before any child is forked.
void warmUp()
{
    std::set<ShapeReader> done;
    for (const HostileShape& shape : hostileShapes()) {
        if (!done.insert(shape.reader).second) continue;
        try {
            readShape(shape.reader, shape.make(8));
        } catch (const DomException&) {
        }
    }
}

TEST(HostileComplexity, ShapesAreWellFormedAndSizedForTheTest)
{
    std::set<std::string> names;
    XMLReadLimits deep;
    deep.maxDepth = std::size_t{1} << 20;
    for (const HostileShape& shape : hostileShapes()) {
        SCOPED_TRACE(shape.name);
        EXPECT_TRUE(names.insert(shape.name).second) << "a second shape named " << shape.name;

        const std::string small = shape.make(16);
        const std::string malformed = domError([&] { XMLDocument document(small, deep); });
        const std::string refusal = domError([&] { readShape(shape.reader, small); });
        if (shape.small == SmallOutcome::Malformed) {
            EXPECT_NE(malformed, "no exception");
        } else {
            EXPECT_EQ(malformed, "no exception");
        }
        if (shape.small == SmallOutcome::Read) {
            EXPECT_EQ(refusal, "no exception");
        } else {
            EXPECT_NE(refusal, "no exception");
        }

        const std::size_t n = unitsForSize(shape, kTargetBytes);
        const double bytes = static_cast<double>(shape.make(n).size());
        const double eightfold = static_cast<double>(shape.make(8 * n).size());
        EXPECT_GE(bytes, 100e3);
        EXPECT_LE(bytes, 300e3);
        EXPECT_GE(eightfold, 1e6);
        EXPECT_LE(eightfold, 2.5e6);
        EXPECT_GE(eightfold / bytes, 6.0);
        EXPECT_LE(eightfold / bytes, 10.0);
    }
}

TEST(HostileComplexity, ReadingCostGrowsLinearlyWithTheDocument)
{
#ifdef HOSTILE_SANITIZED
    GTEST_SKIP() << "a sanitizer's instrumentation and shadow memory swamp the figures";
#endif
    const char* only = std::getenv("HOSTILE_SHAPE");
    std::size_t measured = 0;
    warmUp();
    std::printf("[ figure   ] shape, reader: n, size and CPU time of the read at n | at 8n | time ratio (over at"
                " least %.0f ms) | speed at 8n | memory taken at 8n over its size | outcome at 8n\n",
                kShortestTimedRead * 1e3);
    std::vector<std::string> failing;
    for (const HostileShape& shape : hostileShapes()) {
        if (only && !std::strstr(shape.name, only)) continue;
        ++measured;
        SCOPED_TRACE(shape.name);
        std::size_t n = unitsForSize(shape, kTargetBytes);
        std::string text = shape.make(n);
        Reading small = bestOf(shape.reader, text, kSmallCpuCap, kSmallCpuCap);
        while (small.finished && small.seconds < kShortestTimedRead && text.size() * 2 <= kLargestScaledBytes) {
            n *= 2;
            text = shape.make(n);
            small = bestOf(shape.reader, text, kSmallCpuCap, kSmallCpuCap);
        }
        const std::size_t smallBytes = text.size();
        text = shape.make(8 * n);
        const std::size_t bigBytes = text.size();

        // Reads taking twice what passes are stopped: they fail either way.
        const double timed = std::max(small.seconds, kShortestTimedRead);
        const double giveUp = 2 * kRatioLimit * timed;
        const unsigned cap = static_cast<unsigned>(std::min(600.0, std::max(1.0, std::ceil(giveUp))));
        const Reading big = small.finished ? bestOf(shape.reader, text, cap, giveUp) : Reading{};
        text.clear();
        text.shrink_to_fit();

        const double ratio = big.seconds / timed;
        const double memory = static_cast<double>(big.peakKb) * 1024.0;
        std::vector<std::string> faults;
        const Reading& unfinished = small.finished ? big : small;
        if (!unfinished.finished) faults.push_back(unfinished.signal == SIGXCPU ? "time (stopped)" : "died");
        if (small.otherError || big.otherError) faults.push_back("exception");
        if (big.finished && ratio >= kRatioLimit) faults.push_back("time");
        const double multiple = shape.reader == ShapeReader::Document ? kTreeMemoryMultiple : kMemoryMultiple;
        if (big.finished && memory >= multiple * static_cast<double>(bigBytes) + kMemoryAllowance)
            faults.push_back("memory");

        char figures[512];
        if (!small.finished) {
            std::snprintf(figures, sizeof figures, "n=%zu %.0f KB %s", n, smallBytes / 1e3,
                          small.signal == SIGXCPU ? ("over " + std::to_string(kSmallCpuCap) + " s").c_str() : "died");
        } else if (big.finished) {
            std::snprintf(figures, sizeof figures,
                          "n=%zu %.0f KB %.2f ms | %.2f MB %.1f ms | ratio %.1f | %.1f MB/s | memory %.1fx (%.1f MB)",
                          n, smallBytes / 1e3, small.seconds * 1e3, bigBytes / 1e6, big.seconds * 1e3, ratio,
                          bigBytes / 1e6 / std::max(big.seconds, 1e-9), memory / static_cast<double>(bigBytes),
                          memory / 1e6);
        } else if (big.signal == SIGXCPU) {
            std::snprintf(figures, sizeof figures, "n=%zu %.0f KB %.2f ms | %.2f MB over %u s | ratio > %.0f", n,
                          smallBytes / 1e3, small.seconds * 1e3, bigBytes / 1e6, cap, cap / timed);
        } else {
            std::snprintf(figures, sizeof figures, "n=%zu %.0f KB %.2f ms | %.2f MB died", n, smallBytes / 1e3,
                          small.seconds * 1e3, bigBytes / 1e6);
        }
        std::string verdict = "ok";
        if (!faults.empty()) {
            verdict = "FAIL";
            for (const std::string& fault : faults) verdict += " " + fault;
        }
        const std::string ending = big.finished ? outcome(big) : "at n " + outcome(small);
        const std::string line =
            std::string(shape.name) + ", " + readerName(shape.reader) + ": " + figures + " | " + ending + " | " + verdict;
        std::printf("[ figure   ] %s\n", line.c_str());
        std::fflush(stdout);
        if (!faults.empty()) {
            failing.push_back(shape.name);
            ADD_FAILURE() << line;
        }
    }
    std::printf("[ figure   ] %zu of %zu shapes within bounds\n", measured - failing.size(), measured);
}

} // namespace
