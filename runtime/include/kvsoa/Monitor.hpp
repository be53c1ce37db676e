#pragma once

#include <string>

#include "kvsoa/Export.hpp"

namespace Kavella::Soa::Common {

/// Receives the trace markers of every outputXML and parse while installed.
class KVSOA_API MonitorListener {
public:
    virtual ~MonitorListener();
    virtual void onStart(const std::string& traceName);
    virtual void onEnd(const std::string& traceName);
};

/// Trace markers. With no listener installed they cost one atomic load.
class KVSOA_API Monitor {
public:
    static void markStart(const std::string& traceName);
    static void markEnd(const std::string& traceName);
    /// Installs (or, with null, removes) the process-wide listener.
    static void setListener(MonitorListener* listener) noexcept;
    static MonitorListener* getListener() noexcept;
    static bool isActive() noexcept { return getListener() != nullptr; }
};

} // namespace Kavella::Soa::Common
