#pragma once

#include <algorithm>
#include <cstddef>
#include <memory>
#include <type_traits>

namespace Velmora::Schemas::Mes::_2010_09::Workinstructions::detail {

/// A stack whose first entries live in place, so that a message of ordinary
/// depth costs no allocation for them and a deep one grows by doubling.
/// Entries are trivial: nothing is initialised or destroyed in bulk.
template <typename T, std::size_t InPlace>
class FrameStack {
    static_assert(std::is_trivial_v<T>);

public:
    FrameStack() = default;
    FrameStack(const FrameStack&) = delete;
    FrameStack& operator=(const FrameStack&) = delete;

    bool empty() const noexcept { return m_size == 0; }
    std::size_t size() const noexcept { return m_size; }
    T& operator[](std::size_t index) noexcept { return m_data[index]; }
    T& back() noexcept { return m_data[m_size - 1]; }
    const T& back() const noexcept { return m_data[m_size - 1]; }
    void pop_back() noexcept { --m_size; }
    void push_back(const T& entry)
    {
        if (m_size == m_capacity) grow();
        m_data[m_size++] = entry;
    }

private:
    void grow()
    {
        std::unique_ptr<T[]> bigger(new T[m_capacity * 2]); // left uninitialised, as the frames in place
        std::copy(m_data, m_data + m_size, bigger.get());
        m_heap = std::move(bigger);
        m_data = m_heap.get();
        m_capacity *= 2;
    }

    T m_inPlace[InPlace];
    std::unique_ptr<T[]> m_heap;
    T* m_data = m_inPlace;
    std::size_t m_size = 0;
    std::size_t m_capacity = InPlace;
};

} // namespace Velmora::Schemas::Mes::_2010_09::Workinstructions::detail
