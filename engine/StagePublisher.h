#pragma once
// Where the protocol stands, as the Stage it amounts to, and the view told of each change once.
#include <cstdint>

#include "engine/DownloaderView.h"
#include "engine/Stage.h"

namespace zrk {

// The Stage of a protocol state: loaderReady once the bring-up is over, operationKind the
// running operation's (OperationFrame.h), waitingForPhone where the bring-up's phase says its
// state waits for the phone to speak first.
Stage stageAt(std::int32_t state, bool loaderReady, std::int32_t operationKind,
              bool waitingForPhone);

class StagePublisher {
  public:
    explicit StagePublisher(StageView& view) : m_View(view) {}

    // Told to the view when it differs from the last one told, and nothing is held.
    void publish(Stage now) {
        if (m_Held || now == m_Published)
            return;
        m_Published = now;
        m_View.stageChanged(now);
    }
    // A move made in several steps (Stop goes through INITIAL to IDLE) is told once it is whole.
    void hold() { m_Held = true; }
    void release(Stage now) {
        m_Held = false;
        publish(now);
    }
    bool held() const { return m_Held; }

  private:
    StageView& m_View;
    Stage m_Published = Stage::Initial;
    bool m_Held = false;
};

}  // namespace zrk
