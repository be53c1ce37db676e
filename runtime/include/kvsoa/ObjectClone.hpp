#pragma once

#include <new>

#include "kvsoa/MemoryManager.hpp"

namespace Kavella::Soa::Common {

/// The body of every reallyClone: a copy of source in memory obtained as the
/// class's operator new would (under tag), or null when the manager gives none.
template <typename T>
T* cloneObject(const T& source, const char* tag)
{
    void* memory = ObjectMemory::allocateOrNull(sizeof(T), tag);
    if (!memory) return nullptr;
    try {
        return ::new (memory) T(source);
    } catch (...) {
        T::operator delete(memory);
        throw;
    }
}

} // namespace Kavella::Soa::Common
