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
    /// A null handle.
    AutoPtr() noexcept = default;
    /// A null handle.
    AutoPtr(std::nullptr_t) noexcept {}
    /// Holds pointer (which may be null), adding a reference to it.
    AutoPtr(T* pointer) noexcept : m_pointer(pointer) { acquire(m_pointer); }
    /// Shares other's object.
    AutoPtr(const AutoPtr& other) noexcept : m_pointer(other.m_pointer) { acquire(m_pointer); }
    /// Takes other's object over; other is left null.
    AutoPtr(AutoPtr&& other) noexcept : m_pointer(std::exchange(other.m_pointer, nullptr)) {}

    /// Shares the object of a handle to a derived class.
    template <typename U, typename = std::enable_if_t<std::is_convertible_v<U*, T*>>>
    AutoPtr(const AutoPtr<U>& other) noexcept : m_pointer(other.get()) { acquire(m_pointer); }

    /// Releases the reference; the last one destroys the object.
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
    /// Shares other's object, releasing the one held before.
    AutoPtr& operator=(const AutoPtr& other) noexcept
    {
        if (this != &other) *this = other.m_pointer;
        return *this;
    }
    /// Takes other's object over, releasing the one held before; other is left null.
    AutoPtr& operator=(AutoPtr&& other) noexcept
    {
        if (this != &other) release(std::exchange(m_pointer, std::exchange(other.m_pointer, nullptr)));
        return *this;
    }

    /// The object, or null; no reference is added.
    T* get() const noexcept { return m_pointer; }
    /// True when the handle holds no object.
    bool isNull() const noexcept { return m_pointer == nullptr; }
    /// True when the handle holds an object.
    explicit operator bool() const noexcept { return m_pointer != nullptr; }

    /// The object; a null handle throws DomException instead of crashing.
    T* operator->() const { return checked(); }
    /// The object; a null handle throws DomException instead of crashing.
    T& operator*() const { return *checked(); }

    /// True when both hold the same object (or both are null).
    friend bool operator==(const AutoPtr& a, const AutoPtr& b) noexcept { return a.m_pointer == b.m_pointer; }
    /// True when they hold different objects.
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
