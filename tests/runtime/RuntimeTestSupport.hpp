#pragma once

// Helpers shared by the runtime tests: guards that restore the process-wide
// hooks, a recording trace listener, a counting memory manager and ways to
// look at parsed trees and caught exceptions.

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "kvsoa/DomException.hpp"
#include "kvsoa/MemoryManager.hpp"
#include "kvsoa/Monitor.hpp"
#include "kvsoa/XMLNode.hpp"

namespace runtime_test {

using Kavella::Soa::Common::MemoryManager;
using Kavella::Soa::Common::Monitor;
using Kavella::Soa::Common::MonitorListener;
using Kavella::Soa::Common::Xml::DomException;
using Kavella::Soa::Common::Xml::XMLNode;

/// The exception an action raises, or nothing when it completes.
inline std::optional<DomException> domErrorOf(const std::function<void()>& action)
{
    try {
        action();
    } catch (const DomException& error) {
        return error;
    }
    return std::nullopt;
}

/// Records markers as "+name" / "-name".
class RecordingListener : public MonitorListener {
public:
    void onStart(const std::string& name) override { events.push_back("+" + name); }
    void onEnd(const std::string& name) override { events.push_back("-" + name); }
    std::vector<std::string> events;
};

/// Installs a listener for one scope; none is installed afterwards.
class ListenerGuard {
public:
    explicit ListenerGuard(MonitorListener* listener) { Monitor::setListener(listener); }
    ~ListenerGuard() { Monitor::setListener(nullptr); }
    ListenerGuard(const ListenerGuard&) = delete;
    ListenerGuard& operator=(const ListenerGuard&) = delete;
};

/// Counts every call by tag and can refuse memory. Freed blocks are scribbled
/// over first, so a use after release reads garbage instead of stale values.
class CountingManager : public MemoryManager {
public:
    void* allocate(std::size_t size, const char* tag) override
    {
        std::lock_guard<std::mutex> lock(mutex);
        ++allocations[tag];
        if (refuse) return nullptr;
        void* memory = ::operator new(size);
        sizes[memory] = size;
        return memory;
    }
    void deallocate(void* pointer) override
    {
        std::lock_guard<std::mutex> lock(mutex);
        ++deallocations;
        auto found = sizes.find(pointer);
        if (found != sizes.end()) {
            std::memset(pointer, 0xDD, found->second);
            sizes.erase(found);
        }
        ::operator delete(pointer);
    }
    void* placementallocate(std::size_t size, void* place) override
    {
        placements.emplace_back(size, place);
        return refuse ? nullptr : place;
    }
    void placementdeallocate(void* pointer, void* place) override { placementReleases.emplace_back(pointer, place); }

    int allocationsOf(const std::string& tag) const
    {
        auto found = allocations.find(tag);
        return found == allocations.end() ? 0 : found->second;
    }
    std::size_t live() const { return sizes.size(); }

    bool refuse = false;
    std::mutex mutex;
    std::map<std::string, int> allocations;
    std::map<void*, std::size_t> sizes;
    int deallocations = 0;
    std::vector<std::pair<std::size_t, void*>> placements;
    std::vector<std::pair<void*, void*>> placementReleases;
};

/// Installs a manager for one scope and puts the null manager back.
class ManagerGuard {
public:
    explicit ManagerGuard(MemoryManager* manager) { MemoryManager::setMemoryManager(manager); }
    ~ManagerGuard() { MemoryManager::setMemoryManager(nullptr); }
    ManagerGuard(const ManagerGuard&) = delete;
    ManagerGuard& operator=(const ManagerGuard&) = delete;
};

/// A tree's structure as text: names, namespaces, attributes, children, and
/// the text of leaf elements (indentation whitespace lives in inner ones).
inline std::string shapeOf(const XMLNode& node)
{
    std::string shape = "{" + std::string(node.uri) + "}" + node.name + "[";
    for (const auto& attribute : node.attributes()) {
        shape.append(attribute.qualifiedName()).append("=").append(attribute.value).append(";");
    }
    shape += "]";
    if (node.children.empty()) return shape + "'" + node.text + "'";
    shape += "(";
    for (const XMLNode* child : node.children) shape += shapeOf(*child);
    return shape + ")";
}

/// Every node of a tree, depth first.
inline void collectNodes(const XMLNode& node, std::vector<const XMLNode*>& out)
{
    out.push_back(&node);
    for (const XMLNode* child : node.children) collectNodes(*child, out);
}

// "prefix=uri" per declaration, space-separated.
inline std::string declarations(const XMLNode& node)
{
    std::string text;
    for (const auto& declaration : node.namespaces()) {
        if (!text.empty()) text += ' ';
        text.append(declaration.name).append("=").append(declaration.value);
    }
    return text;
}

} // namespace runtime_test
