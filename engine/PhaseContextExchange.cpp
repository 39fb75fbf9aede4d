// The context's side of an exchange: beginning it, judging what comes back, naming it.
#include "engine/Phase.h"
#include "engine/PhaseContext.h"
#include "engine/SafeText.h"

namespace zrk {

void PhaseContext::begin(Exchange exchange) {
    setState(exchange.state);
    for (const auto& bytes : exchange.writes)
        send(bytes);
    m_ReplySoFar.clear();
    m_Armed = std::make_shared<const Exchange>(std::move(exchange));
}

const Exchange* PhaseContext::armedExchange() const {
    return m_Armed && m_Armed->state == m_State ? m_Armed.get() : nullptr;
}

const char* PhaseContext::exchangeNameIn(std::int32_t state) const {
    // The armed exchange outlives its state for a step that went idle first: it still failed
    // in the exchange it was waiting on.
    if (m_Armed && m_Armed->state == state)
        return m_Armed->name;
    return m_Current ? m_Current->exchangeName(state) : "";
}

void PhaseContext::judge(std::uint8_t byte) {
    if (!armedExchange())
        return;
    // What follows a reply usually begins the next exchange, which takes this one's place.
    const std::shared_ptr<const Exchange> exchange = m_Armed;
    switch (exchange->awaits) {
        case Exchange::Awaits::Nothing:
            return;
        case Exchange::Awaits::Bytes: {
            m_ReplySoFar.push_back(byte);
            if (m_ReplySoFar.size() < exchange->replySize)
                return;
            const std::vector<std::uint8_t> reply = std::move(m_ReplySoFar);
            m_ReplySoFar.clear();
            if (exchange->onReply)
                exchange->onReply(reply);
            return;
        }
        case Exchange::Awaits::Byte:
        case Exchange::Awaits::OneOf:
            break;
    }
    if (exchange->accepts(byte)) {
        if (exchange->onReply)
            exchange->onReply(std::span<const std::uint8_t>(&byte, 1));
        return;
    }
    if (exchange->onWrongByte) {
        exchange->onWrongByte(byte);
        return;
    }
    const std::string words = exchange->failWords ? exchange->failWords(byte) : std::string();
    Failure failure;
    failure.exchange = exchange->name;
    failure.state = exchange->state;
    failure.cause = FailureCause::PhoneReply;
    failure.detail = exchange->detail == Exchange::Detail::AsLogged ? words : trimmedWords(words);
    failure.expected = exchange->expected();
    failure.got = byte;
    endWithWrongReply(std::move(failure), words, exchange->ending);
}

}  // namespace zrk
