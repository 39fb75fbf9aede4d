#include "app/BaudPause.h"

#include "app/LinkPump.h"
#include "protocol/ProtocolEngine.h"

namespace zrk {

BaudPause::BaudPause(LinkPump& pump, ProtocolEngine& engine) : m_Pump(pump), m_Engine(engine) {
    m_Timer.setSingleShot(true);
    // A coarse timer may fire up to 5% early, and even a precise one rounds to milliseconds:
    // the phone needs the whole pause to switch its speed.
    m_Timer.setTimerType(Qt::PreciseTimer);
    connect(&m_Timer, &QTimer::timeout, this, &BaudPause::tick);
}

void BaudPause::start(int milliseconds) {
    m_Due = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    m_Timer.start(milliseconds);
}

void BaudPause::tick() {
    const auto left =
        std::chrono::ceil<std::chrono::milliseconds>(m_Due - std::chrono::steady_clock::now());
    if (left.count() > 0) {
        m_Timer.start(static_cast<int>(left.count()));
        return;
    }
    m_Pump.runWhenFree([this] {
        // Stopped while a prompt held the tick back: the tick is void.
        if (m_Engine.baudTimerRunning())
            m_Engine.onBaudTimer();
    });
}

}  // namespace zrk
