#include "ServeLog.hpp"

#include <unistd.h>

namespace wixml {

std::string accessLine(const AccessRecord& record)
{
    return record.method + " " + record.operation + " " + record.status + " received " +
           std::to_string(record.received) + " sent " + std::to_string(record.sent) + " bytes in " +
           std::to_string(record.microseconds) + " us\n";
}

void logAccess(const AccessRecord& record)
{
    const std::string line = accessLine(record);
    // A log that cannot be written must not stop the service.
    std::size_t written = 0;
    while (written < line.size()) {
        const ssize_t now = ::write(STDERR_FILENO, line.data() + written, line.size() - written);
        if (now <= 0) return;
        written += static_cast<std::size_t>(now);
    }
}

} // namespace wixml
