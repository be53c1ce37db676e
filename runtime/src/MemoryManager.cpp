#include "kvsoa/MemoryManager.hpp"

#include <atomic>
#include <new>

namespace Kavella::Soa::Common {

namespace {
std::atomic<MemoryManager*> installedManager{nullptr};
}

MemoryManager::~MemoryManager() = default;

MemoryManager* MemoryManager::getMemoryManager() noexcept
{
    return installedManager.load(std::memory_order_acquire);
}

void MemoryManager::setMemoryManager(MemoryManager* manager) noexcept
{
    installedManager.store(manager, std::memory_order_release);
}

namespace ObjectMemory {

void* allocateOrNull(std::size_t size, const char* tag)
{
    if (MemoryManager* manager = MemoryManager::getMemoryManager()) return manager->allocate(size, tag);
    return ::operator new(size);
}

void* allocate(std::size_t size, const char* tag)
{
    // A new-expression must not see null from a throwing operator new.
    if (void* memory = allocateOrNull(size, tag)) return memory;
    throw std::bad_alloc();
}

void deallocate(void* pointer) noexcept
{
    if (MemoryManager* manager = MemoryManager::getMemoryManager()) {
        manager->deallocate(pointer);
    } else {
        ::operator delete(pointer);
    }
}

void* placementAllocate(std::size_t size, void* place)
{
    if (MemoryManager* manager = MemoryManager::getMemoryManager()) {
        if (void* memory = manager->placementallocate(size, place)) return memory;
        throw std::bad_alloc();
    }
    return place;
}

void placementDeallocate(void* pointer, void* place) noexcept
{
    if (MemoryManager* manager = MemoryManager::getMemoryManager()) manager->placementdeallocate(pointer, place);
}

} // namespace ObjectMemory
} // namespace Kavella::Soa::Common
