#include "serial/SerialLink.h"

#include <algorithm>

namespace zrk {

void SerialLink::popHandler(LinkHandler& handler) {
    // Normally the top; a handler that goes away out of turn must not leave a dangling entry.
    const auto it = std::find(m_Handlers.rbegin(), m_Handlers.rend(), &handler);
    if (it != m_Handlers.rend())
        m_Handlers.erase(std::next(it).base());
}

void SerialLink::deliverData() {
    if (auto* h = handler())
        h->onLinkData();
}

void SerialLink::deliverLinkLost(std::uint64_t session, const std::string& reason) {
    if (session != this->session())
        return;
    if (auto* h = handler())
        h->onLinkLost(reason);
}

}  // namespace zrk
