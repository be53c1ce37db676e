// One read or one write of a fixed seeded document, after one that warms up,
// for instruction counts under callgrind: only the functions named measured*
// are collected. "expat" and "libxml2" parse the same text with empty
// handlers, the floor under reading.
//   kvsoa-once read|write|expat|libxml2 save|load KILOBYTES

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "Corpus.hpp"
#include "EmptyParse.hpp"

namespace
{

using namespace kvsoabench;

template <typename Message>
__attribute__((noinline)) wi::AutoPtr<Message> measuredRead(const std::string& text)
{
    return wi::readXml<Message>(text);
}

template <typename Message>
__attribute__((noinline)) std::size_t measuredWrite(const Message& message)
{
    return wi::writeXml(message).size();
}

__attribute__((noinline)) bool measuredExpat(const std::string& text)
{
    return parseWithEmptyHandlers(text);
}

__attribute__((noinline)) bool measuredLibxml2(const std::string& text)
{
    return parseWithLibxml2EmptyHandlers(text);
}

template <typename Message>
int run(const std::string& operation, std::size_t bytes)
{
    const Document& doc = document<Message>(bytes, false);
    // Once unmeasured first, so that what a process pays only once (binding
    // symbols, the parser's set-up) is not counted as the cost of a call.
    if (operation == "read") {
        wi::readXml<Message>(doc.text);
    } else if (operation == "write") {
        wi::writeXml(*MessageTraits<Message>::make(doc.records, doc.brief));
    } else if (operation == "libxml2") {
        parseWithLibxml2EmptyHandlers(doc.text);
    } else {
        parseWithEmptyHandlers(doc.text);
    }
    bool done = true;
    if (operation == "read") {
        // Released outside the measured call, as in the benchmark.
        const wi::AutoPtr<Message> message = measuredRead<Message>(doc.text);
    } else if (operation == "write") {
        done = measuredWrite(*MessageTraits<Message>::make(doc.records, doc.brief)) == doc.text.size();
    } else if (operation == "libxml2") {
        done = measuredLibxml2(doc.text);
    } else {
        done = measuredExpat(doc.text);
    }
    std::printf("document_bytes %zu\n", doc.text.size());
    return done ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: kvsoa-once read|write|expat|libxml2 save|load KILOBYTES\n");
        return 2;
    }
    const std::size_t bytes = std::strtoul(argv[3], nullptr, 10) * kKB;
    return std::strcmp(argv[2], "save") == 0 ? run<SaveWorkInstructionDocInput>(argv[1], bytes)
                                             : run<LoadedObjectsResponse>(argv[1], bytes);
}
