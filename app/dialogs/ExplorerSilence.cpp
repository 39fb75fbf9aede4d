#include "app/dialogs/ExplorerSilence.h"

#include "app/LinkPump.h"
#include "filesystem/explorer/ExplorerEngine.h"
#include "serial/SerialLink.h"

namespace zrk {
namespace {
// How often a wait's silence is looked at: a small part of any limit worth setting.
constexpr int kSilenceTickMs = 250;
}  // namespace

ExplorerSilence::ExplorerSilence(SerialLink& link, LinkPump& pump, ExplorerEngine& engine)
    : m_Link(link), m_Pump(pump), m_Engine(engine) {
    m_Timer.setInterval(kSilenceTickMs);
    connect(&m_Timer, &QTimer::timeout, this, &ExplorerSilence::check);
}

void ExplorerSilence::start() {
    m_Silence.restart(m_Link.repliesAccepted(), m_Clock());
    m_Timer.start();
}

void ExplorerSilence::setClock(Now now) {
    m_Clock = std::move(now);
    m_Silence.restart(m_Link.repliesAccepted(), m_Clock());
}

void ExplorerSilence::check() {
    const auto now = m_Clock();
    const std::uint64_t accepted = m_Link.repliesAccepted();
    // Nothing is awaited while idle, and while a prompt is open the phone's news wait for the
    // answer: neither time counts.
    if (!m_Engine.isOpen() || m_Engine.state() == ExplorerEngine::State::EXPLORER_IDLE ||
        m_Pump.holding()) {
        m_Silence.restart(accepted, now);
        return;
    }
    if (!m_Silence.silent(accepted, now))
        return;
    m_Silence.restart(accepted, now);
    const auto seconds = std::chrono::ceil<std::chrono::seconds>(m_Silence.limit()).count();
    const std::string note = m_Engine.onSilence(seconds);
    if (!note.empty() && m_MainLogNote)
        m_MainLogNote(note);
}

}  // namespace zrk
