#pragma once

#include <string>

#include "kvsoa/Export.hpp"

namespace Kavella::Soa::Common {

/// Receives the trace markers of every outputXML and parse, and of every
/// document an XMLEventReader reads, while installed.
class KVSOA_API MonitorListener {
public:
    /// Remove the listener (Monitor::setListener(nullptr)) before destroying it.
    virtual ~MonitorListener();
    /// An outputXML or parse begins; traceName is the qualified class name and the
    /// function, e.g. "...::IntMap::parse". Does nothing by default.
    virtual void onStart(const std::string& traceName);
    /// The matching end; a call that throws sends none. A listener installed
    /// or replaced while the schema classes read or write hears no end of a
    /// start it did not hear. Does nothing by default.
    virtual void onEnd(const std::string& traceName);
};

/// Trace markers. With no listener installed they cost one atomic load.
class KVSOA_API Monitor {
public:
    /// Tells the listener, if any, that traceName begins.
    static void markStart(const std::string& traceName);
    /// Tells the listener, if any, that traceName ends.
    static void markEnd(const std::string& traceName);
    /// Tells the listener, if any, that traceName begins, and returns it (null
    /// when none is installed), for markEnd below.
    static MonitorListener* markStartHeard(const std::string& traceName);
    /// Tells heard that traceName ends if it is still the listener installed:
    /// one installed or replaced since the start hears no end without its start.
    static void markEnd(MonitorListener* heard, const std::string& traceName);
    /// Installs (or, with null, removes) the process-wide listener.
    static void setListener(MonitorListener* listener) noexcept;
    /// The listener installed now, or null.
    static MonitorListener* getListener() noexcept;
    /// True while a listener is installed.
    static bool isActive() noexcept { return getListener() != nullptr; }
};

} // namespace Kavella::Soa::Common
