#pragma once
// The exchange the protocol waits on, taken over when it is begun and weighed byte by byte
// until another is begun. Two places hold it: an exchange's own step may begin the next one
// while it runs, and the next then goes into the other place.
#include <array>
#include <cstdint>
#include <optional>
#include <utility>

#include "engine/Exchange.h"

namespace zrk {

class ArmedExchange {
  public:
    // Made anew in a place the running step does not use; nothing of its reply has come yet.
    void arm(Exchange&& exchange);
    // No exchange is armed, until the next is begun.
    void disarm() { m_Armed = kNone; }
    // The exchange armed for this state, if any. It outlives its state for a step that went
    // idle first: it still failed in the exchange it was waiting on.
    const Exchange* armedFor(std::int32_t state) const {
        if (m_Armed == kNone)
            return nullptr;
        const Exchange& armed = *m_Exchanges[static_cast<std::size_t>(m_Armed)];
        return armed.state == state ? &armed : nullptr;
    }

    // One received byte for the exchange armed for state: a reply that answers is handed to what
    // follows it, a wrong one to wrong(exchange, byte). The exchange stays in its place until both
    // are done, whatever they begin.
    template <typename WrongReply>
    void judge(std::uint8_t byte, std::int32_t state, WrongReply&& wrong) {
        const Exchange* armed = armedFor(state);
        if (!armed)
            return;
        const int judgingBefore = m_Judging;
        m_Judging = m_Armed;
        if (!armed->take(byte, m_ReplySoFar))
            std::forward<WrongReply>(wrong)(*armed, byte);
        m_Judging = judgingBefore;
    }

  private:
    static constexpr int kNone = -1;
    std::array<std::optional<Exchange>, 2> m_Exchanges;
    int m_Armed = kNone;    // the place of the armed exchange
    int m_Judging = kNone;  // the place of the exchange whose step runs
    ReplyBytes m_ReplySoFar;
};

}  // namespace zrk
