#pragma once
// One port of the station: its own link, engine and event loop on its own thread, running the
// recipe on the phone at the other end of the cable and, with the loop, on every phone after
// it. Nothing it does waits on another port. Its news go into the shared queue as they happen.
#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "report/RunReport.h"
#include "station/PhoneRecorder.h"
#include "station/Recipe.h"
#include "station/StationEvents.h"
#include "station/StopSignal.h"

namespace zrk {
class EngineLoop;
class LinkSetup;
}  // namespace zrk

namespace zrk::station {

struct PortTarget {
    std::string name;    // "COM3", or a device path
    std::string device;  // what is opened for it
    // Not empty: a phone simulator is started behind this port with these options, and device
    // is ignored.
    std::vector<std::string> simArgs;
};

struct RunOptions {
    bool loop = false;         // after a phone, wait for the next one on the same cable
    std::string reportFolder;  // one report per phone goes here; empty: none
    std::string program = "zrk410-gui";
    // A phone that stops answering this long in the middle of its work has failed.
    std::chrono::milliseconds silence{30000};
    std::chrono::milliseconds progressEvery{100};  // at most one progress event this often
};

class PortRunner {
  public:
    PortRunner(int index, PortTarget target, Recipe recipe, RunOptions options, EventQueue& events);
    ~PortRunner();  // stops and joins
    PortRunner(const PortRunner&) = delete;
    PortRunner& operator=(const PortRunner&) = delete;

    void start();
    // Any thread: ends the wait or the operation and closes the link; the thread then ends.
    void stop();
    void join();
    bool finished() const { return m_Finished.load(); }
    // A phone is being written to (or read back): closing now leaves it half done.
    bool writing() const;
    PortState state() const { return m_State.load(); }
    int index() const { return m_Index; }
    const PortTarget& target() const { return m_Target; }
    // The phones served so far, as the run report keeps them.
    report::PortRecord record() const;

  private:
    class View;
    enum class After { NextPhone, EndPort };

    void run();
    After servePhone(LinkSetup& link, EngineLoop& loop, View& view);
    void setState(PortState state);
    void post(StationEvent event);
    void finishPhone(const PhoneEnding& ending);

    const int m_Index;
    const PortTarget m_Target;
    const Recipe m_Recipe;
    const RunOptions m_Options;
    EventQueue& m_Events;

    StopSignal m_Stop;
    std::atomic<bool> m_Finished{false};
    std::atomic<PortState> m_State{PortState::Idle};
    mutable std::mutex m_RecordLock;  // the window reads the record while phones are served
    PhoneRecorder m_Recorder;
    std::thread m_Thread;
};

}  // namespace zrk::station
