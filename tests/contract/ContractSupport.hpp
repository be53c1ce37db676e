#pragma once

// Shared tools of the contract tests: writing and reading through text, a
// recording trace listener, a counting memory manager and the pieces from
// which the expected XML texts are put together.

#include <gtest/gtest.h>

#include <cstddef>
#include <functional>
#include <map>
#include <new>
#include <string>
#include <vector>

#include "kvsoa/DomException.hpp"
#include "kvsoa/MemoryManager.hpp"
#include "kvsoa/Monitor.hpp"
#include "kvsoa/XMLDocument.hpp"
#include "workinstructions/WorkInstructions.hpp"

namespace contract {

namespace wi = ::Velmora::Schemas::Mes::_2010_09::Workinstructions;
namespace base = ::Kavella::Schemas::Soa::_2006_03::Base;
using ::Kavella::Soa::Common::AutoPtr;
using ::Kavella::Soa::Common::DateTime;
using ::Kavella::Soa::Common::MemoryManager;
using ::Kavella::Soa::Common::Monitor;
using ::Kavella::Soa::Common::MonitorListener;
using ::Kavella::Soa::Common::Xml::BaseObject;
using ::Kavella::Soa::Common::Xml::DomException;
using ::Kavella::Soa::Common::Xml::XMLDocument;
using ::Kavella::Soa::Common::Xml::XMLEventReader;
using ::Kavella::Soa::Common::Xml::XMLNode;
using ::Kavella::Soa::Common::Xml::XmlStream;

inline const std::string schemaUri = "http://velmora.com/Schemas/MES/2010-09/WorkInstructions";
inline const std::string baseUri = "http://kavella.com/Schemas/Soa/2006-03/Base";
inline const std::string classPrefix = "Velmora::Schemas::Mes::_2010_09::Workinstructions::";

// ---- text in, text out ----------------------------------------------------

/// Writes object as the outermost element ns1:<local> of a fresh stream.
template <typename T>
std::string write(const T& object, const std::string& local = "Root")
{
    XmlStream out;
    object.outputXML(out, out.getNamespacePrefix(schemaUri) + ":" + local);
    return out.str();
}

template <typename T>
void read(T& object, const std::string& text)
{
    XMLDocument document(text);
    object.parse(document.root());
}

/// Reads text into a fresh T and writes it again.
template <typename T>
std::string rewritten(const std::string& text)
{
    T object;
    read(object, text);
    return write(object);
}

/// The message of the DomException that action throws, or a note that it threw none.
inline std::string failureOf(const std::function<void()>& action)
{
    try {
        action();
    } catch (const DomException& error) {
        return error.getMessage();
    }
    return "(no DomException)";
}

// ---- expected XML from small pieces -----------------------------------------

inline std::string attr(const std::string& name, const std::string& value) { return " " + name + "=\"" + value + "\""; }

/// The namespace declarations of an outermost element: the schema's, then the base's.
inline std::string declarations(bool withBase)
{
    return attr("xmlns:ns1", schemaUri) + (withBase ? attr("xmlns:ns2", baseUri) : std::string());
}

inline std::string element(const std::string& qname, const std::string& attributes, const std::string& content)
{
    return "<" + qname + attributes + ">" + content + "</" + qname + ">";
}

inline std::string emptyElement(const std::string& qname, const std::string& attributes)
{
    return "<" + qname + attributes + "/>";
}

/// A nested element of the schema namespace: ns1:<local>.
inline std::string child(const std::string& local, const std::string& attributes, const std::string& content)
{
    return element("ns1:" + local, attributes, content);
}

/// What a ModelObject writes under ns1:<local>.
inline std::string modelXml(const std::string& local, const std::string& uid)
{
    return emptyElement("ns1:" + local, attr("uid", uid));
}

/// The outermost ns1:Root element with its declarations.
inline std::string root(bool withBase, const std::string& attributes, const std::string& content)
{
    return element("ns1:Root", declarations(withBase) + attributes, content);
}

inline std::string emptyRoot(bool withBase, const std::string& attributes)
{
    return emptyElement("ns1:Root", declarations(withBase) + attributes);
}

// ---- trace markers ------------------------------------------------------------

/// Records the objects' markers while installed: "+name" for a start, "-name"
/// for an end; the reader's own, one per document, are not the objects'.
class RecordingListener : public MonitorListener {
public:
    RecordingListener() { Monitor::setListener(this); }
    ~RecordingListener() override { Monitor::setListener(nullptr); }
    RecordingListener(const RecordingListener&) = delete;
    RecordingListener& operator=(const RecordingListener&) = delete;

    void onStart(const std::string& traceName) override
    {
        if (traceName != XMLEventReader::traceName) events.push_back("+" + traceName);
    }
    void onEnd(const std::string& traceName) override
    {
        if (traceName != XMLEventReader::traceName) events.push_back("-" + traceName);
    }

    std::vector<std::string> events;
};

/// Empty when every end marker closes the latest open start; otherwise what went wrong.
inline std::string nestingFault(const std::vector<std::string>& events)
{
    std::vector<std::string> open;
    for (const auto& e : events) {
        if (e[0] == '+') {
            open.push_back(e.substr(1));
        } else if (open.empty() || open.back() != e.substr(1)) {
            return "end without its start: " + e;
        } else {
            open.pop_back();
        }
    }
    return open.empty() ? std::string() : "start never ended: " + open.back();
}

/// Class names of the start markers with the given suffix ("::outputXML", "::parse"), in order.
inline std::vector<std::string> startedClasses(const std::vector<std::string>& events, const std::string& suffix)
{
    std::vector<std::string> classes;
    for (const auto& e : events) {
        if (e[0] == '+' && e.size() > suffix.size() && e.compare(e.size() - suffix.size(), suffix.size(), suffix) == 0)
            classes.push_back(e.substr(1, e.size() - 1 - suffix.size()));
    }
    return classes;
}

// ---- memory -----------------------------------------------------------------

/// Counts what the schema classes ask of the manager, by tag. Memory comes from
/// the global heap, so objects may safely outlive the manager's installation.
class CountingManager : public MemoryManager {
public:
    struct Allocation {
        std::size_t size;
        std::string tag;
        void* pointer;
    };

    explicit CountingManager(bool refuse = false) : m_refuse(refuse) { MemoryManager::setMemoryManager(this); }
    ~CountingManager() override { MemoryManager::setMemoryManager(nullptr); }
    CountingManager(const CountingManager&) = delete;
    CountingManager& operator=(const CountingManager&) = delete;

    void* allocate(std::size_t size, const char* tag) override
    {
        if (m_refuse) {
            allocations.push_back({size, tag, nullptr});
            return nullptr;
        }
        void* pointer = ::operator new(size);
        allocations.push_back({size, tag, pointer});
        return pointer;
    }
    void deallocate(void* pointer) override
    {
        deallocations.push_back(pointer);
        ::operator delete(pointer);
    }
    void* placementallocate(std::size_t, void* place) override
    {
        placements.push_back(place);
        return place;
    }
    void placementdeallocate(void*, void*) override {}

    std::map<std::string, int> countsByTag() const
    {
        std::map<std::string, int> counts;
        for (const auto& a : allocations) ++counts[a.tag];
        return counts;
    }

    std::vector<Allocation> allocations;
    std::vector<void*> deallocations;
    std::vector<void*> placements;

private:
    bool m_refuse;
};

} // namespace contract
