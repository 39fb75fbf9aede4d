#pragma once
// Moving the line to the chosen speed: the speed byte goes to the pre-loader at 115200, the
// port closes, and a 500 ms timer reopens it at the new speed (8N1) until it opens. Only then is
// the start byte sent, which the pre-loader answers with the speed index. A port that does not
// come back within a few seconds, or whose device is gone, ends the link instead of retrying
// for ever.
#include <cstdint>

namespace zrk {

struct OpenFailure;
class PhaseContext;
class BringUp;

class BaudSwitch {
  public:
    static constexpr int kReopenDelayMs = 500;
    static constexpr int kMaxReopenAttempts = 10;

    BaudSwitch(PhaseContext& context, BringUp& bringUp) : m_Context(context), m_BringUp(bringUp) {}

    void onPreLoaderReady();  // ABh in WAIT_PRELOADER_READY
    void onTimer();

  private:
    static constexpr const char* kExchangeName = "switch the line speed";
    void onSpeedEcho();
    void onWrongSpeedEcho(std::uint8_t byte);

    PhaseContext& m_Context;
    BringUp& m_BringUp;
    static bool deviceIsGone(const OpenFailure& failure);

    int m_SpeedIndex = 0;  // what the pre-loader was told
    int m_ReopenAttempts = 0;
};

}  // namespace zrk
