#include "app/NoAnswerHint.h"

#include "app/LinkPump.h"
#include "protocol/ProtocolEngine.h"
#include "serial/PortMap.h"
#include "serial/SerialLink.h"

namespace zrk {

NoAnswerHint::NoAnswerHint(SerialLink& link, LinkPump& pump, ProtocolEngine& engine,
                           std::function<int()> portNumber,
                           std::function<void(const std::string&)> note)
    : m_Link(link), m_Engine(engine), m_PortNumber(std::move(portNumber)), m_Note(std::move(note)) {
    m_Timer.setSingleShot(true);
    connect(&m_Timer, &QTimer::timeout, this, &NoAnswerHint::hint);
    // Only a reply the engine accepted shows a phone is there: noise on the line (a floating
    // input, another device) does not, so the hint still comes.
    pump.setDataObserver([this] {
        if (m_Link.repliesAccepted() == m_RepliesAtHint)
            return;
        m_RepliesAtHint = m_Link.repliesAccepted();
        if (m_Timer.isActive())
            m_Timer.start(m_DelayMs);
    });
}

void NoAnswerHint::armAfterStart() {
    m_RepliesAtHint = m_Link.repliesAccepted();
    if (m_Engine.stage() == Stage::WaitingForPhone)
        m_Timer.start(m_DelayMs);
}

void NoAnswerHint::hint() {
    // The wait goes on: a phone switched on late still answers.
    if (!m_Link.isConnected() || m_Engine.stage() != Stage::WaitingForPhone)
        return;
    const int portNumber = m_PortNumber();
    const std::string talking =
        talkingLineWords(PortMap::portName(portNumber) + " (" + portMap().device(portNumber) + ")",
                         m_Engine.waitingLineVerdict());
    if (!talking.empty()) {
        m_Note("** " + talking + "\r\n");
        return;
    }
    m_Note("** Nothing received on " + PortMap::portName(portNumber) + " (" +
           portMap().device(portNumber) +
           ") yet: check the cable, switch the phone off and on again.\r\n");
}

}  // namespace zrk
