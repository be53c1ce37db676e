#include "BodyBudget.hpp"

#include <algorithm>
#include <new>

namespace Velmora::Schemas::Mes::_2010_09::Workinstructions::serving {

bool BodyBudget::take(std::size_t bytes)
{
    std::size_t used = m_used.load(std::memory_order_relaxed);
    do {
        if (bytes > m_limit || used > m_limit - bytes) return false;
    } while (!m_used.compare_exchange_weak(used, used + bytes, std::memory_order_relaxed));
    return true;
}

bool BudgetedBody::append(std::string_view bytes, std::size_t ceiling)
{
    const std::size_t needed = m_text.size() + bytes.size();
    if (needed > m_charged) {
        // Doubling keeps appends cheap; the charge is the whole buffer, so the
        // budget bounds what is allocated, not only what arrived.
        const std::size_t grown = std::max(needed, std::min(std::max<std::size_t>(2 * m_charged, 4096), ceiling));
        if (!m_budget.take(grown - m_charged)) return false;
        try {
            m_text.reserve(grown);
        } catch (const std::bad_alloc&) {
            m_budget.give(grown - m_charged);
            return false;
        }
        if (m_charged == 0) m_budget.holderIn();
        m_charged = grown;
    }
    m_text.append(bytes.data(), bytes.size());
    return true;
}

void BudgetedBody::release()
{
    std::string().swap(m_text);
    if (m_charged != 0) m_budget.holderOut();
    m_budget.give(m_charged);
    m_charged = 0;
}

} // namespace Velmora::Schemas::Mes::_2010_09::Workinstructions::serving
