#pragma once
// The pause the engine asks for while the phone switches its line speed: the port stays closed
// at least that long, and the tick reaches the engine only once no prompt holds the link's news.
#include <QObject>
#include <QTimer>
#include <chrono>

namespace zrk {

class LinkPump;
class ProtocolEngine;

class BaudPause : public QObject {
  public:
    BaudPause(LinkPump& pump, ProtocolEngine& engine);

    void start(int milliseconds);
    void stop() { m_Timer.stop(); }

  private:
    void tick();

    LinkPump& m_Pump;
    ProtocolEngine& m_Engine;
    QTimer m_Timer;
    // A tick before this only re-arms the timer.
    std::chrono::steady_clock::time_point m_Due;
};

}  // namespace zrk
