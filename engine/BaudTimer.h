#pragma once
// The front end's one single-shot timer, as the protocol knows it: whether it is running, so
// that a Stop or a closing engine stops only a timer that is.
#include "engine/DownloaderView.h"

namespace zrk {

class BaudTimer {
  public:
    explicit BaudTimer(TimerView& view) : m_View(view) {}

    void start(int milliseconds) {
        m_Running = true;
        m_View.startBaudTimer(milliseconds);
    }
    bool running() const { return m_Running; }
    // It fired (the front end calls the engine, which calls this first).
    void fired() { m_Running = false; }
    void stop() {
        if (m_Running)
            m_View.stopBaudTimer();
        m_Running = false;
    }

  private:
    TimerView& m_View;
    bool m_Running = false;
};

}  // namespace zrk
