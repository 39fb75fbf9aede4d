#pragma once
// START's wait for the phone: when no reply has come after a while, the log suggests checking
// the cable and the phone, or says what the line carries instead. Each reply the engine accepts
// starts the wait over.
#include <QObject>
#include <QTimer>
#include <cstdint>
#include <functional>
#include <string>

namespace zrk {

class LinkPump;
class ProtocolEngine;
class SerialLink;

class NoAnswerHint : public QObject {
  public:
    // portNumber: the COM number START opened; note: a line of the window's own in the log.
    NoAnswerHint(SerialLink& link, LinkPump& pump, ProtocolEngine& engine,
                 std::function<int()> portNumber, std::function<void(const std::string&)> note);

    void setDelay(int milliseconds) { m_DelayMs = milliseconds; }
    // START was pressed: the wait is timed when the engine now waits for the phone.
    void armAfterStart();
    void stop() { m_Timer.stop(); }

  private:
    void hint();

    SerialLink& m_Link;
    ProtocolEngine& m_Engine;
    std::function<int()> m_PortNumber;
    std::function<void(const std::string&)> m_Note;
    QTimer m_Timer;
    int m_DelayMs = 15000;
    std::uint64_t m_RepliesAtHint = 0;  // the link's accepted replies when the hint was set
};

}  // namespace zrk
