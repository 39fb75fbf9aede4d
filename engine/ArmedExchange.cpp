#include "engine/ArmedExchange.h"

#include <algorithm>

namespace zrk {

void ArmedExchange::arm(Exchange&& exchange) {
    m_ReplySoFar.clear();
    // Never the place of the exchange whose step is running: it is still in use.
    const int place = m_Judging == 0 ? 1 : m_Judging == 1 ? 0 : std::max(m_Armed, 0);
    // Made anew in its place: cheaper than assigning over the one before, member by member.
    m_Exchanges[static_cast<std::size_t>(place)].emplace(std::move(exchange));
    m_Armed = place;
}

}  // namespace zrk
