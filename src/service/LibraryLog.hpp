#pragma once

// libmicrohttpd answers some requests itself before any callback of ours sees
// them (a request line over the header limit: 414, an HTTP version it does not
// speak: 505, a Content-Length it cannot read: 400). Its one word of the status
// is its error log, which names no connection. It writes that line on the
// worker thread that owns the connection and closes the connection later on the
// same thread, so each thread keeps the statuses in order and the next
// connection it closes after such a refusal claims the oldest.

#include <cstdarg>
#include <cstdint>

namespace Velmora::Schemas::Mes::_2010_09::Workinstructions::serving {

/// For MHD_OPTION_EXTERNAL_LOGGER: keeps the status of each refusal, drops the rest.
void keepLibraryRefusal(void* context, const char* format, va_list arguments);

/// The oldest status kept on this thread and not yet claimed; 0 when none.
unsigned claimLibraryRefusal();

/// Bytes a TCP socket has received so far; 0 when the kernel does not say.
std::uint64_t bytesReceived(int socket);

} // namespace Velmora::Schemas::Mes::_2010_09::Workinstructions::serving
