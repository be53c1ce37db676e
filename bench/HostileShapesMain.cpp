// hostile-shapes DIR [SIZE_BYTES]
//
// Writes DIR/<shape>.xml for every hostile shape of tests/hostile, each about
// SIZE_BYTES long (default 1 MB), and prints one line per file: the reader a
// service would use on it (XMLDocument or the message class), the file and its
// size. For fuzz seeds, and for timing tools such as `wixml check` on files.

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "HostileShapes.hpp"

namespace {

int usage()
{
    std::fprintf(stderr, "usage: hostile-shapes DIR [SIZE_BYTES]\n");
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2 || argc > 3) return usage();
    std::size_t size = 1000 * 1000;
    if (argc == 3) {
        char* end = nullptr;
        errno = 0;
        const unsigned long long parsed = std::strtoull(argv[2], &end, 10);
        if (errno != 0 || end == argv[2] || *end != '\0' || parsed == 0 || argv[2][0] == '-') return usage();
        size = static_cast<std::size_t>(parsed);
    }
    const std::filesystem::path directory = argv[1];
    std::error_code error;
    std::filesystem::create_directories(directory, error);
    if (error) {
        std::fprintf(stderr, "hostile-shapes: %s: %s\n", argv[1], error.message().c_str());
        return 1;
    }
    for (const hostile::HostileShape& shape : hostile::hostileShapes()) {
        const std::string text = shape.make(hostile::unitsForSize(shape, size));
        const std::filesystem::path file = directory / (std::string(shape.name) + ".xml");
        std::ofstream out(file, std::ios::binary);
        out.write(text.data(), static_cast<std::streamsize>(text.size()));
        out.close();
        if (!out) {
            std::fprintf(stderr, "hostile-shapes: cannot write %s\n", file.c_str());
            return 1;
        }
        std::printf("%s %s %zu\n", hostile::readerName(shape.reader), file.c_str(), text.size());
    }
    return 0;
}
