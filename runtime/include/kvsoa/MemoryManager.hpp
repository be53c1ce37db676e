#pragma once

#include <cstddef>

#include "kvsoa/Export.hpp"

namespace Kavella::Soa::Common {

/// Process-wide allocator hook for schema objects. Install one before any
/// object is made and keep it until the last is gone: objects return their
/// memory to whichever manager is installed when they are freed.
class KVSOA_API MemoryManager {
public:
    /// Uninstalling is the owner's part: setMemoryManager(nullptr) first.
    virtual ~MemoryManager();

    /// Memory for one object of the class named by tag (its qualified name); null means none.
    virtual void* allocate(std::size_t size, const char* tag) = 0;
    /// Takes back memory that allocate gave.
    virtual void deallocate(void* pointer) = 0;
    /// For placement new of an object at place: the memory to use (normally place); null fails with std::bad_alloc.
    virtual void* placementallocate(std::size_t size, void* place) = 0;
    /// Pairs with placementallocate when such a construction throws.
    virtual void placementdeallocate(void* pointer, void* place) = 0;

    /// The manager installed now, or null for the global heap.
    static MemoryManager* getMemoryManager() noexcept;
    /// Installs manager for the whole process (null: back to the global heap).
    static void setMemoryManager(MemoryManager* manager) noexcept;
};

/// The bodies of every schema class's allocation operators.
namespace ObjectMemory {
/// Manager's allocate under tag, else the global heap; throws std::bad_alloc on null.
KVSOA_API void* allocate(std::size_t size, const char* tag);
/// As allocate, but a manager's null comes back as null.
KVSOA_API void* allocateOrNull(std::size_t size, const char* tag);
/// Manager's deallocate, else the global heap.
KVSOA_API void deallocate(void* pointer) noexcept;
/// Manager's placementallocate (null throws std::bad_alloc), else place itself.
KVSOA_API void* placementAllocate(std::size_t size, void* place);
/// Manager's placementdeallocate, else nothing.
KVSOA_API void placementDeallocate(void* pointer, void* place) noexcept;
} // namespace ObjectMemory

} // namespace Kavella::Soa::Common

/// Declares the allocation operators of a schema class (inside its body).
#define KVSOA_DECLARE_ALLOCATION_OPERATORS()                                 \
    static void* operator new(std::size_t size);                             \
    static void operator delete(void* pointer) noexcept;                     \
    static void* operator new(std::size_t size, void* place);                \
    static void operator delete(void* pointer, void* place) noexcept;        \
    static void* operator new[](std::size_t size, void* place) noexcept;     \
    static void operator delete[](void* pointer, void* place) noexcept;

/// Defines them (in the class's source file), each a call into ObjectMemory.
#define KVSOA_DEFINE_ALLOCATION_OPERATORS(Class, tag)                                                   \
    void* Class::operator new(std::size_t size) { return ::Kavella::Soa::Common::ObjectMemory::allocate(size, tag); } \
    void Class::operator delete(void* pointer) noexcept { ::Kavella::Soa::Common::ObjectMemory::deallocate(pointer); } \
    void* Class::operator new(std::size_t size, void* place)                                            \
    { return ::Kavella::Soa::Common::ObjectMemory::placementAllocate(size, place); }                   \
    void Class::operator delete(void* pointer, void* place) noexcept                                    \
    { ::Kavella::Soa::Common::ObjectMemory::placementDeallocate(pointer, place); }                     \
    void* Class::operator new[](std::size_t, void* place) noexcept { return place; }                  \
    void Class::operator delete[](void*, void*) noexcept {}
