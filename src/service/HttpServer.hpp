#pragma once

// `wixml serve` over HTTP: libmicrohttpd's event loop on a pool of worker
// threads, the limits, the stop on SIGINT or SIGTERM.

#include "Dispatch.hpp"
#include "ServeOptions.hpp"

namespace Velmora::Schemas::Mes::_2010_09::Workinstructions::serving {

/// Serves until SIGINT or SIGTERM; 0 after a clean stop, 2 when it cannot listen.
int runHttpServer(const ServeOptions& options, Service& service);

} // namespace Velmora::Schemas::Mes::_2010_09::Workinstructions::serving
