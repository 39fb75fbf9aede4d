#include "station/StopSignal.h"

#include <algorithm>

#include "engine/EngineLoop.h"
#include "serial/CommPort.h"

namespace zrk::station {

void StopSignal::raise() {
    m_Raised = true;
    std::lock_guard lock(m_Lock);
    for (const auto& [loop, port] : m_Links) {
        port->cancelWrites();
        loop->wake();
    }
}

StopSignal::Registration::Registration(StopSignal& owner, EngineLoop& loop, CommPort& port)
    : m_Owner(owner), m_Loop(loop) {
    std::lock_guard lock(owner.m_Lock);
    owner.m_Links.emplace_back(&loop, &port);
    // A stop that came before this port got going must still reach it.
    if (owner.raised()) {
        port.cancelWrites();
        loop.wake();
    }
}

StopSignal::Registration::~Registration() {
    std::lock_guard lock(m_Owner.m_Lock);
    auto& links = m_Owner.m_Links;
    links.erase(std::remove_if(links.begin(), links.end(),
                               [this](const auto& entry) { return entry.first == &m_Loop; }),
                links.end());
}

}  // namespace zrk::station
