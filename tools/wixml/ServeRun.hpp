#pragma once

// `wixml serve` as a user of the service library's Server: the replies folder
// as its Service, --strict as its request check, SIGINT and SIGTERM as stop().

#include "ServeOptions.hpp"

namespace wixml {

/// Serves until SIGINT or SIGTERM; 0 after a clean stop, 2 when it cannot start.
int runServer(const ServeOptions& options);

} // namespace wixml
