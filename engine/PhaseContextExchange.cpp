// The context's side of an exchange: beginning it, judging what comes back, naming it, and the
// failure a wrong reply ends the operation with.
#include "engine/Phase.h"
#include "engine/PhaseContext.h"
#include "engine/SafeText.h"

namespace zrk {

void PhaseContext::begin(Exchange&& exchange) {
    setState(exchange.state);
    for (std::size_t i = 0; i < exchange.writes.size(); ++i)
        send(exchange.writes[i]);
    m_Exchange.arm(std::move(exchange));
}

const Exchange* PhaseContext::armedExchange() const {
    return m_Exchange.armedFor(m_State);
}

const char* PhaseContext::exchangeNameIn(std::int32_t state) const {
    if (const Exchange* armed = m_Exchange.armedFor(state))
        return armed->name;
    return m_Current ? m_Current->exchangeName(state) : "";
}

void PhaseContext::judge(std::uint8_t byte) {
    m_Exchange.judge(byte, m_State, [this](const Exchange& exchange, std::uint8_t got) {
        const std::string words = exchange.wordsFor(got);
        endWithWrongReply(exchange.failureFor(got, words), words, exchange.ending);
    });
}

Failure PhaseContext::failureHere(FailureCause cause, const std::string& detail) const {
    // A step that went idle first still failed in the exchange it was waiting on.
    const std::int32_t state = m_State == IDLE || m_State == INITIAL ? m_LastWaitingState : m_State;
    Failure failure;
    failure.exchange = exchangeNameIn(state);
    failure.state = state;
    failure.cause = cause;
    failure.detail = detail;
    return failure;
}

void PhaseContext::wrongReply(std::uint8_t got, std::optional<std::uint8_t> expected,
                              const std::string& failText, Ending ending,
                              const std::string& detail) {
    Failure failure =
        failureHere(FailureCause::PhoneReply, detail.empty() ? trimmedWords(failText) : detail);
    failure.expected = expected;
    failure.got = got;
    endWithWrongReply(std::move(failure), failText, ending);
}

void PhaseContext::endWithWrongReply(Failure failure, const std::string& failText, Ending ending) {
    if (!failText.empty())
        log(failText);
    if (ending == Ending::Abandon) {
        abandonWith(std::move(failure));
        return;
    }
    m_Outcome.judge(OutcomeKind::Failed, std::move(failure));
    finishOperation();
}

}  // namespace zrk
