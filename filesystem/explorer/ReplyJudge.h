#pragma once
// The exchange the explorer waits on, and the one place every byte the phone sends it is judged:
// the reply that answers goes to what follows, a wrong one fails the exchange under its own name,
// with the byte it wanted and the byte that came.
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

#include "engine/Exchange.h"

namespace zrk {

class ExplorerLine;
class ExplorerExchange;

class ReplyJudge {
  public:
    explicit ReplyJudge(ExplorerLine& line) : m_Line(line) {}
    ReplyJudge(const ReplyJudge&) = delete;
    ReplyJudge& operator=(const ReplyJudge&) = delete;

    // Waits in the exchange's state for its reply, then writes what it asks: a reply may be
    // read before the writing returns. A wrong reply is shown to owner (when there is one)
    // before it fails the exchange.
    void begin(Exchange&& exchange, ExplorerExchange* owner);
    // False when no exchange waits in the line's state: the byte is nobody's reply.
    bool judge(std::uint8_t byte);

  private:
    struct Armed {
        std::optional<Exchange> exchange;
        ExplorerExchange* owner = nullptr;
    };
    void judgeIn(const Armed& armed, std::uint8_t byte);
    void failWith(const Armed& armed, std::uint8_t byte);

    static constexpr int kNone = -1;
    ExplorerLine& m_Line;
    // What follows a reply usually begins the next exchange, which goes into the other place
    // while the step of this one runs.
    std::array<Armed, 2> m_Places;
    int m_Armed = kNone;
    int m_Judging = kNone;
    ReplyBytes m_ReplySoFar;
};

}  // namespace zrk
