#include "filesystem/explorer/ReplyJudge.h"

#include <string>

#include "filesystem/explorer/ExplorerLine.h"

namespace zrk {

void ReplyJudge::begin(Exchange&& exchange, ExplorerExchange* owner) {
    // Never the place of the exchange whose step is running: it is still in use.
    const int place = m_Judging == 0 ? 1 : m_Judging == 1 ? 0 : (m_Armed == kNone ? 0 : m_Armed);
    Armed& armed = m_Places[static_cast<std::size_t>(place)];
    armed.exchange.emplace(std::move(exchange));
    armed.owner = owner;
    m_Armed = place;
    m_ReplySoFar.clear();
    m_Line.state = static_cast<explorer::ExplorerState>(armed.exchange->state);
    for (std::size_t i = 0; i < armed.exchange->writes.size(); ++i) {
        const auto bytes = armed.exchange->writes[i];
        m_Line.send(bytes);
    }
}

bool ReplyJudge::judge(std::uint8_t byte) {
    if (m_Armed == kNone)
        return false;
    const int place = m_Armed;
    const Armed& armed = m_Places[static_cast<std::size_t>(place)];
    // An exchange the line has left (a silence, an EXIT, a lost link) waits for nothing more.
    if (armed.exchange->state != static_cast<std::int32_t>(m_Line.state))
        return false;
    const int judgingBefore = m_Judging;
    m_Judging = place;
    judgeIn(armed, byte);
    m_Judging = judgingBefore;
    return true;
}

void ReplyJudge::judgeIn(const Armed& armed, std::uint8_t byte) {
    if (!armed.exchange->take(byte, m_ReplySoFar))
        failWith(armed, byte);
}

void ReplyJudge::failWith(const Armed& armed, std::uint8_t byte) {
    const Exchange& exchange = *armed.exchange;
    const std::string words = exchange.wordsFor(byte);
    if (!words.empty())
        m_Line.log(words);
    Failure failure = exchange.failureFor(byte, words);
    if (armed.owner)
        armed.owner->beforeFailing(failure);
    m_Line.state = explorer::ExplorerState::EXPLORER_IDLE;
    m_Line.fail(std::move(failure));
}

}  // namespace zrk
