#pragma once

// `wixml serve` over HTTP: libmicrohttpd's event loop on a pool of worker
// threads, the limits, the stop on SIGINT or SIGTERM.

#include "ServeDispatch.hpp"
#include "ServeOptions.hpp"

namespace wixml {

/// Serves until SIGINT or SIGTERM; 0 after a clean stop, 2 when it cannot listen.
int runHttpServer(const ServeOptions& options, Service& service);

} // namespace wixml
