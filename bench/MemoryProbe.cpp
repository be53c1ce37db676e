// Peak memory of reading a 20 MB message, and what the parsed tree keeps,
// printed as JSON for the report. Its own process, so that nothing else has
// touched the heap: peak resident size above the resident size before reading
// (VmHWM, reset through clear_refs), and heap bytes in use (mallinfo2). A
// read from a file stream is measured too: its peak leaves the text out.

#include <malloc.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "Corpus.hpp"
#include "kvsoa/Monitor.hpp"
#include "kvsoa/XMLDocument.hpp"
#ifdef KVSOABENCH_GSOAP
#include "GsoapPeer.hpp"
#endif

namespace
{

using namespace kvsoabench;
using ::Kavella::Soa::Common::Xml::XMLDocument;

long statusKB(const char* field)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind(field, 0) == 0) return std::stol(line.substr(line.find(':') + 1));
    }
    return -1;
}

double heapInUse()
{
    const struct mallinfo2 info = mallinfo2();
    return static_cast<double>(info.uordblks + info.hblkhd);
}

// Starts a measure: free pages back to the system, peak reset to now.
double restartPeak()
{
    malloc_trim(0);
    std::ofstream("/proc/self/clear_refs") << "5";
    return static_cast<double>(statusKB("VmRSS:")) * 1024;
}

double peakSince(double base)
{
    return static_cast<double>(statusKB("VmHWM:")) * 1024 - base;
}

template <typename Message>
void probe(bool first)
{
    const Document& doc = document<Message>(20 * kMB, false);
    const std::string& text = doc.text;
    const double size = static_cast<double>(text.size());
    const char* label = MessageTraits<Message>::label;

    double base = restartPeak();
    double heap = heapInUse();
    double treeBytes = 0;
    {
        const wi::AutoPtr<Message> message = wi::readXml<Message>(text);
        treeBytes = heapInUse() - heap;
    }
    const double readPeak = peakSince(base);

    // A trace listener, even one that hears and does nothing, leaves the reader as it is.
    double listenerReadPeak = 0;
    {
        ::Kavella::Soa::Common::MonitorListener silent;
        ::Kavella::Soa::Common::Monitor::setListener(&silent);
        base = restartPeak();
        {
            const wi::AutoPtr<Message> message = wi::readXml<Message>(text);
        }
        listenerReadPeak = peakSince(base);
        ::Kavella::Soa::Common::Monitor::setListener(nullptr);
    }

    base = restartPeak();
    {
        wi::AutoPtr<Message> message(new Message);
        const XMLDocument parsed(text);
        message->parse(parsed.root());
    }
    const double treeReadPeak = peakSince(base);

    base = restartPeak();
    heap = heapInUse();
    double nodeBytes = 0;
    {
        const XMLDocument parsed(text);
        nodeBytes = heapInUse() - heap;
    }
    const double documentPeak = peakSince(base);

    // From a file stream, read a piece at a time: the text is never held, and
    // the corpus's copy of it is part of the resident size before.
    char path[] = "/tmp/kvsoa-memory-XXXXXX";
    const int descriptor = mkstemp(path);
    double streamReadPeak = -1;
    if (descriptor >= 0) {
        close(descriptor);
        std::ofstream(path, std::ios::binary) << text;
        base = restartPeak();
        {
            std::ifstream in(path, std::ios::binary);
            const wi::AutoPtr<Message> message = wi::readXml<Message>(in);
        }
        streamReadPeak = peakSince(base);
        std::remove(path);
    }

    double gsoapPeak = 0;
#ifdef KVSOABENCH_GSOAP
    {
        GsoapPeer<Message> peer;
        base = restartPeak();
        peer.read(text);
        gsoapPeak = peakSince(base);
    }
#endif

    std::printf("%s\"%s\": {\"document_bytes\": %.0f, \"records\": %zu, \"elements\": %zu, \"read_peak\": %.3f, "
                "\"listener_read_peak\": %.3f, \"tree\": %.3f, \"stream_read_peak\": %.3f, \"tree_read_peak\": %.3f, "
                "\"xmldocument_peak\": %.3f, \"xmldocument\": %.3f, \"gsoap_read_peak\": %.3f}",
                first ? "" : ",\n  ", label, size, doc.records, doc.elements, readPeak / size, listenerReadPeak / size,
                treeBytes / size,
                streamReadPeak / size, treeReadPeak / size, documentPeak / size, nodeBytes / size, gsoapPeak / size);
}

} // namespace

int main()
{
    std::printf("{\n  ");
    probe<SaveWorkInstructionDocInput>(true);
    probe<LoadedObjectsResponse>(false);
    std::printf("\n}\n");
    return 0;
}
