#pragma once

#include <cstddef>
#include <exception>
#include <mutex>
#include <unordered_set>

#include "kvsoa/MemoryManager.hpp"

namespace hostile {

/// A memory manager that keeps count of what is live, notices memory given
/// back that it never handed out, and can be told to fail one allocation.
class TestMemoryManager : public ::Kavella::Soa::Common::MemoryManager {
public:
    /// What this manager throws when told to fail by throwing.
    struct Refusal : std::exception {
        const char* what() const noexcept override { return "allocation refused by the test memory manager"; }
    };
    enum class Failure { ReturnNull, Throw };

    /// The n-th allocation from now (1 = the next one) fails, once.
    void failAt(std::size_t n, Failure how);
    void disarm();
    bool failed() const;

    std::size_t liveObjects() const;
    std::size_t allocations() const;
    /// Deallocations of memory this manager never gave out, or gave back twice.
    std::size_t strayDeallocations() const;
    /// Allocations asked for without a class tag.
    std::size_t untaggedAllocations() const;

    void* allocate(std::size_t size, const char* tag) override;
    void deallocate(void* pointer) override;
    void* placementallocate(std::size_t size, void* place) override;
    void placementdeallocate(void* pointer, void* place) override;

private:
    mutable std::mutex m_mutex;
    std::unordered_set<void*> m_live;
    std::size_t m_allocations = 0;
    std::size_t m_stray = 0;
    std::size_t m_untagged = 0;
    std::size_t m_failAt = 0; // 0: never
    Failure m_how = Failure::ReturnNull;
    bool m_failed = false;
};

/// Installs a manager for the lifetime of the guard. Every object must be
/// made after it and gone before it ends.
class InstalledMemoryManager {
public:
    explicit InstalledMemoryManager(::Kavella::Soa::Common::MemoryManager& manager)
    {
        ::Kavella::Soa::Common::MemoryManager::setMemoryManager(&manager);
    }
    ~InstalledMemoryManager() { ::Kavella::Soa::Common::MemoryManager::setMemoryManager(nullptr); }
    InstalledMemoryManager(const InstalledMemoryManager&) = delete;
    InstalledMemoryManager& operator=(const InstalledMemoryManager&) = delete;
};

} // namespace hostile
