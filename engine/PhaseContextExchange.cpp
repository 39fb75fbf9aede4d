// The context's side of an exchange: beginning it, judging what comes back, naming it.
#include <algorithm>

#include "engine/Phase.h"
#include "engine/PhaseContext.h"
#include "engine/SafeText.h"

namespace zrk {

void PhaseContext::begin(Exchange&& exchange) {
    setState(exchange.state);
    for (std::size_t i = 0; i < exchange.writes.size(); ++i)
        send(exchange.writes[i]);
    m_ReplySoFar.clear();
    // Never the place of the exchange whose step is running: it is still in use.
    const int place = m_Judging == 0 ? 1 : m_Judging == 1 ? 0 : std::max(m_Armed, 0);
    // Made anew in its place: cheaper than assigning over the one before, member by member.
    m_Exchanges[static_cast<std::size_t>(place)].emplace(std::move(exchange));
    m_Armed = place;
}

const Exchange* PhaseContext::armedExchange() const {
    if (m_Armed == kNone)
        return nullptr;
    const Exchange& armed = *m_Exchanges[static_cast<std::size_t>(m_Armed)];
    return armed.state == m_State ? &armed : nullptr;
}

const char* PhaseContext::exchangeNameIn(std::int32_t state) const {
    // The armed exchange outlives its state for a step that went idle first: it still failed
    // in the exchange it was waiting on.
    if (m_Armed != kNone && m_Exchanges[static_cast<std::size_t>(m_Armed)]->state == state)
        return m_Exchanges[static_cast<std::size_t>(m_Armed)]->name;
    return m_Current ? m_Current->exchangeName(state) : "";
}

void PhaseContext::judge(std::uint8_t byte) {
    if (!armedExchange())
        return;
    // What follows a reply usually begins the next exchange, which goes into the other place
    // while this one's step runs.
    const int place = m_Armed;
    const int judgingBefore = m_Judging;
    m_Judging = place;
    judgeIn(*m_Exchanges[static_cast<std::size_t>(place)], byte);
    m_Judging = judgingBefore;
}

void PhaseContext::judgeIn(const Exchange& exchange, std::uint8_t byte) {
    if (exchange.take(byte, m_ReplySoFar))
        return;
    const std::string words = exchange.wordsFor(byte);
    Failure failure;
    failure.exchange = exchange.name;
    failure.state = exchange.state;
    failure.cause = FailureCause::PhoneReply;
    if (exchange.detailWords)
        failure.detail = exchange.detailWords(byte);
    else
        failure.detail =
            exchange.detail == Exchange::Detail::AsLogged ? words : trimmedWords(words);
    failure.expected = exchange.expected();
    failure.got = byte;
    endWithWrongReply(std::move(failure), words, exchange.ending);
}

}  // namespace zrk
