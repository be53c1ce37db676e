#include "LibraryLog.hpp"

#include <netinet/in.h>
#include <linux/tcp.h>
#include <sys/socket.h>

#include <cstddef>
#include <cstdio>
#include <cstring>
#include <deque>

namespace Velmora::Schemas::Mes::_2010_09::Workinstructions::serving {

namespace {

// A worker's refusals waiting for their connection to close; a few at most,
// bounded in case a connection never claims its own.
thread_local std::deque<unsigned> refusals;
constexpr std::size_t keptRefusals = 64;

} // namespace

void keepLibraryRefusal(void*, const char* format, va_list arguments)
{
    char line[512];
    std::vsnprintf(line, sizeof line, format, arguments);
    static const char marker[] = "HTTP response code is ";
    const char* found = std::strstr(line, marker);
    unsigned status = 0;
    if (!found || std::sscanf(found + sizeof marker - 1, "%u", &status) != 1) return;
    try {
        if (refusals.size() == keptRefusals) refusals.pop_front();
        refusals.push_back(status);
    } catch (...) {
        // Out of memory: that exchange is logged without its status.
    }
}

unsigned claimLibraryRefusal()
{
    if (refusals.empty()) return 0;
    const unsigned status = refusals.front();
    refusals.pop_front();
    return status;
}

std::uint64_t bytesReceived(int socket)
{
    tcp_info info{};
    socklen_t length = sizeof info;
    if (::getsockopt(socket, IPPROTO_TCP, TCP_INFO, &info, &length) != 0 ||
        length < offsetof(tcp_info, tcpi_bytes_received) + sizeof info.tcpi_bytes_received) {
        return 0;
    }
    return info.tcpi_bytes_received;
}

} // namespace Velmora::Schemas::Mes::_2010_09::Workinstructions::serving
