#include "cli/SharedInterrupt.h"

#include <algorithm>

#include "engine/EngineLoop.h"
#include "serial/CommPort.h"

namespace zrk::cli {

void SharedInterrupt::interrupt() {
    m_Interrupted = true;
    std::lock_guard lock(m_Lock);
    for (const auto& [loop, port] : m_Links) {
        port->cancelWrites();
        loop->wake();
    }
}

SharedInterrupt::Registration::Registration(SharedInterrupt& owner, EngineLoop& loop,
                                            CommPort& port)
    : m_Owner(owner), m_Loop(loop) {
    std::lock_guard lock(owner.m_Lock);
    owner.m_Links.emplace_back(&loop, &port);
    // Ctrl-C that came before this port got going must still reach it.
    if (owner.interrupted()) {
        port.cancelWrites();
        loop.wake();
    }
}

SharedInterrupt::Registration::~Registration() {
    std::lock_guard lock(m_Owner.m_Lock);
    auto& links = m_Owner.m_Links;
    links.erase(std::remove_if(links.begin(), links.end(),
                               [this](const auto& entry) { return entry.first == &m_Loop; }),
                links.end());
}

InterruptSignals::InterruptSignals() : m_Source(true) {}

}  // namespace zrk::cli
