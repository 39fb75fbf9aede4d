#pragma once
// The explorer's limit on silence: every wait for the phone ends after this long without a reply
// accepted, as the command line's do, and is told in the main window's log as well. Time idle
// or under an open prompt does not count.
#include <QObject>
#include <QTimer>
#include <chrono>
#include <functional>
#include <string>

#include "engine/SilenceWatch.h"

namespace zrk {

class ExplorerEngine;
class LinkPump;
class SerialLink;

class ExplorerSilence : public QObject {
  public:
    using Now = std::function<std::chrono::steady_clock::time_point()>;

    ExplorerSilence(SerialLink& link, LinkPump& pump, ExplorerEngine& engine);

    // From now on; the window calls it as it takes the link over.
    void start();
    void stop() { m_Timer.stop(); }
    // Zero waits for ever. The default is the command line's.
    void setLimit(std::chrono::milliseconds limit) { m_Silence.setLimit(limit); }
    // Tests set their own time.
    void setClock(Now now);
    // One UTF-8 line for the main window's log: the explorer's own log goes with its window.
    void setMainLogNote(std::function<void(const std::string&)> note) {
        m_MainLogNote = std::move(note);
    }

  private:
    // The timer's tick: an exchange that waited out the limit is given up.
    void check();

    SerialLink& m_Link;
    LinkPump& m_Pump;
    ExplorerEngine& m_Engine;
    QTimer m_Timer;
    SilenceWatch m_Silence;
    Now m_Clock = [] { return std::chrono::steady_clock::now(); };
    std::function<void(const std::string&)> m_MainLogNote;
};

}  // namespace zrk
