#pragma once

// Memory for request bodies in flight, bounded for the whole server: each
// body's buffer is charged as it grows with the bytes that arrive (never from
// a declared length), and a body that would pass the budget is refused, so a
// crowd of large requests meets a 503 instead of an allocation failure.

#include <atomic>
#include <cstddef>
#include <string>
#include <string_view>

namespace Velmora::Schemas::Mes::_2010_09::Workinstructions::serving {

class BodyBudget {
public:
    explicit BodyBudget(std::size_t limit) : m_limit(limit) {}
    BodyBudget(const BodyBudget&) = delete;
    BodyBudget& operator=(const BodyBudget&) = delete;

    /// Charges bytes; false, charging nothing, when they would pass the limit.
    bool take(std::size_t bytes);
    void give(std::size_t bytes) { m_used.fetch_sub(bytes, std::memory_order_relaxed); }
    std::size_t used() const { return m_used.load(std::memory_order_relaxed); }
    std::size_t limit() const { return m_limit; }
    /// Holders (bodies, answers) with a charge, for the metrics.
    void holderIn() { m_holders.fetch_add(1, std::memory_order_relaxed); }
    void holderOut() { m_holders.fetch_sub(1, std::memory_order_relaxed); }
    std::size_t holders() const { return m_holders.load(std::memory_order_relaxed); }

private:
    const std::size_t m_limit;
    std::atomic<std::size_t> m_used{0};
    std::atomic<std::size_t> m_holders{0};
};

/// One request's body, its buffer charged to a budget until it is released.
class BudgetedBody {
public:
    explicit BudgetedBody(BodyBudget& budget) : m_budget(budget) {}
    ~BudgetedBody() { release(); }
    BudgetedBody(const BudgetedBody&) = delete;
    BudgetedBody& operator=(const BudgetedBody&) = delete;

    /// Appends, growing the buffer by doubling up to ceiling (the body limit);
    /// false, keeping what was there, when the budget or the allocator refuses.
    bool append(std::string_view bytes, std::size_t ceiling);
    std::string_view text() const { return m_text; }
    /// Frees the buffer and gives its charge back.
    void release();

private:
    BodyBudget& m_budget;
    std::string m_text;
    std::size_t m_charged = 0;
};

} // namespace Velmora::Schemas::Mes::_2010_09::Workinstructions::serving
