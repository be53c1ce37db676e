#pragma once

#include <cstddef>
#include <type_traits>
#include <utility>

#include "kvsoa/DomException.hpp"

namespace Kavella::Soa::Common {

namespace detail {
[[noreturn]] KVSOA_API void throwNullHandle();
}

/// Intrusive reference-counting handle to a BaseObject-derived object.
/// Copying shares the object; the last handle released destroys it.
template <typename T>
class AutoPtr {
public:
    AutoPtr() noexcept = default;
    AutoPtr(std::nullptr_t) noexcept {}
    AutoPtr(T* pointer) noexcept : m_pointer(pointer) { acquire(m_pointer); }
    AutoPtr(const AutoPtr& other) noexcept : m_pointer(other.m_pointer) { acquire(m_pointer); }
    AutoPtr(AutoPtr&& other) noexcept : m_pointer(std::exchange(other.m_pointer, nullptr)) {}

    template <typename U, typename = std::enable_if_t<std::is_convertible_v<U*, T*>>>
    AutoPtr(const AutoPtr<U>& other) noexcept : m_pointer(other.get()) { acquire(m_pointer); }

    ~AutoPtr() { release(m_pointer); }

    /// Takes the new object before letting the old one go, so that assigning a
    /// handle held inside the old object stays sound.
    AutoPtr& operator=(T* pointer) noexcept
    {
        if (pointer != m_pointer) {
            acquire(pointer);
            release(std::exchange(m_pointer, pointer));
        }
        return *this;
    }
    AutoPtr& operator=(const AutoPtr& other) noexcept
    {
        if (this != &other) *this = other.m_pointer;
        return *this;
    }
    AutoPtr& operator=(AutoPtr&& other) noexcept
    {
        if (this != &other) release(std::exchange(m_pointer, std::exchange(other.m_pointer, nullptr)));
        return *this;
    }

    T* get() const noexcept { return m_pointer; }
    bool isNull() const noexcept { return m_pointer == nullptr; }
    explicit operator bool() const noexcept { return m_pointer != nullptr; }

    T* operator->() const { return checked(); }
    T& operator*() const { return *checked(); }

    friend bool operator==(const AutoPtr& a, const AutoPtr& b) noexcept { return a.m_pointer == b.m_pointer; }
    friend bool operator!=(const AutoPtr& a, const AutoPtr& b) noexcept { return a.m_pointer != b.m_pointer; }

private:
    static void acquire(T* pointer) noexcept { if (pointer) pointer->ref(); }
    static void release(T* pointer) noexcept { if (pointer) pointer->unref(); }
    T* checked() const
    {
        if (!m_pointer) detail::throwNullHandle();
        return m_pointer;
    }

    T* m_pointer = nullptr;
};

} // namespace Kavella::Soa::Common
