#include "TestMemoryManager.hpp"

#include <cstdlib>

namespace hostile {

void TestMemoryManager::failAt(std::size_t n, Failure how)
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    m_failAt = m_allocations + n;
    m_how = how;
    m_failed = false;
}

void TestMemoryManager::disarm()
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    m_failAt = 0;
}

bool TestMemoryManager::failed() const
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    return m_failed;
}

std::size_t TestMemoryManager::liveObjects() const
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    return m_live.size();
}

std::size_t TestMemoryManager::allocations() const
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    return m_allocations;
}

std::size_t TestMemoryManager::strayDeallocations() const
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    return m_stray;
}

std::size_t TestMemoryManager::untaggedAllocations() const
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    return m_untagged;
}

void* TestMemoryManager::allocate(std::size_t size, const char* tag)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    ++m_allocations;
    if (!tag || !*tag) ++m_untagged;
    if (m_allocations == m_failAt) {
        m_failed = true;
        if (m_how == Failure::Throw) throw Refusal();
        return nullptr;
    }
    void* memory = std::malloc(size);
    if (memory) m_live.insert(memory);
    return memory;
}

void TestMemoryManager::deallocate(void* pointer)
{
    if (!pointer) return;
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        if (m_live.erase(pointer) == 0) {
            ++m_stray;
            return; // not ours: freeing it would only hide the fault
        }
    }
    std::free(pointer);
}

void* TestMemoryManager::placementallocate(std::size_t, void* place)
{
    return place;
}

void TestMemoryManager::placementdeallocate(void*, void*) {}

} // namespace hostile
