#include "engine/Exchange.h"

#include <algorithm>
#include <stdexcept>

#include "engine/Checksums.h"
#include "engine/SafeText.h"

namespace zrk {

void ExchangeWrites::add(std::span<const std::uint8_t> bytes) {
    if (m_Count == kMaxWrites)
        throw std::logic_error("an exchange of more writes than it has room for");
    const std::size_t before = m_Count ? m_Ends[m_Count - 1] : 0;
    const std::size_t after = before + bytes.size();
    if (m_Spilled.empty() && after > kInPlace)
        m_Spilled.assign(m_InPlace.begin(),
                         m_InPlace.begin() + static_cast<std::ptrdiff_t>(before));
    if (m_Spilled.empty() && after <= kInPlace)
        std::copy(bytes.begin(), bytes.end(),
                  m_InPlace.begin() + static_cast<std::ptrdiff_t>(before));
    else
        m_Spilled.insert(m_Spilled.end(), bytes.begin(), bytes.end());
    m_Ends[m_Count++] = static_cast<std::uint32_t>(after);
}

void ExchangeWrites::borrow(std::span<const std::uint8_t> bytes) {
    if (m_Count == kMaxWrites || m_BorrowedAt != kMaxWrites)
        throw std::logic_error("an exchange of more writes than it has room for");
    // Takes no room of its own: the owned writes around it end where they did.
    m_Ends[m_Count] = m_Count ? m_Ends[m_Count - 1] : 0;
    m_Borrowed = bytes;
    m_BorrowedAt = m_Count++;
}

std::span<const std::uint8_t> ExchangeWrites::operator[](std::size_t i) const {
    if (i == m_BorrowedAt)
        return m_Borrowed;
    const std::size_t begin = i ? m_Ends[i - 1] : 0;
    const std::size_t length = m_Ends[i] - begin;
    const std::uint8_t* bytes = m_Spilled.empty() ? m_InPlace.data() : m_Spilled.data();
    return {bytes + begin, length};
}

Exchange& Exchange::send(std::initializer_list<std::uint8_t> bytes) {
    writes.add(std::span<const std::uint8_t>(bytes.begin(), bytes.size()));
    return *this;
}

Exchange& Exchange::send(std::span<const std::uint8_t> bytes) {
    writes.add(bytes);
    return *this;
}

Exchange& Exchange::sendBorrowed(std::span<const std::uint8_t> bytes) {
    writes.borrow(bytes);
    return *this;
}

Exchange& Exchange::sendValue(std::uint8_t command, std::uint32_t value) {
    const auto bytes = bigEndian32(value);
    send({command});
    send(bytes);
    return expectSum8Of(bytes);
}

Exchange& Exchange::expect(std::uint8_t byte) {
    awaits = Awaits::Byte;
    expectedReply = byte;
    return *this;
}

Exchange& Exchange::expectSum8Of(std::span<const std::uint8_t> sent) {
    return expect(sum8(sent));
}

Exchange& Exchange::expectOneOf(std::initializer_list<std::uint8_t> bytes) {
    if (bytes.size() > accepted.size())
        throw std::logic_error("an exchange that accepts more replies than it has room for");
    awaits = Awaits::OneOf;
    std::copy(bytes.begin(), bytes.end(), accepted.begin());
    acceptedCount = bytes.size();
    return *this;
}

Exchange& Exchange::expectAnyByte() {
    awaits = Awaits::AnyByte;
    return *this;
}

Exchange& Exchange::expectBytes(std::size_t count) {
    if (count > ReplyBytes::kRoom)
        throw std::logic_error("a reply longer than the room to collect it");
    awaits = Awaits::Bytes;
    replySize = count;
    return *this;
}

Exchange& Exchange::expectNothingYet() {
    awaits = Awaits::Nothing;
    return *this;
}

Exchange& Exchange::then(std::function<void(Reply)> next) {
    onReply = std::move(next);
    return *this;
}

Exchange& Exchange::then(std::function<void()> next) {
    onDone = std::move(next);
    return *this;
}

Exchange& Exchange::failing(Words words, Ending how) {
    failWords = words;
    ending = how;
    return *this;
}

Exchange& Exchange::failing(const char* words, Ending how) {
    failText = words;
    ending = how;
    return *this;
}

Exchange& Exchange::failing(const std::string& words, Ending how) {
    failString = words;
    ending = how;
    return *this;
}

Exchange& Exchange::failureDetail(Detail kind) {
    detail = kind;
    return *this;
}

Exchange& Exchange::failureDetail(Words words) {
    detailWords = words;
    return *this;
}

Exchange& Exchange::failureOmitsExpected() {
    failureNamesExpected = false;
    return *this;
}

Exchange& Exchange::failureNames(std::uint8_t wanted) {
    namedOfSeveral = wanted;
    return *this;
}

Exchange& Exchange::otherwise(std::function<void(std::uint8_t)> wrongByte) {
    onWrongByte = std::move(wrongByte);
    return *this;
}

bool Exchange::accepts(std::uint8_t byte) const {
    switch (awaits) {
        case Awaits::Byte:
            return byte == expectedReply;
        case Awaits::AnyByte:
            return true;
        case Awaits::OneOf:
            return std::find(accepted.begin(),
                             accepted.begin() + static_cast<std::ptrdiff_t>(acceptedCount),
                             byte) != accepted.begin() + static_cast<std::ptrdiff_t>(acceptedCount);
        default:
            return false;
    }
}

std::optional<std::uint8_t> Exchange::expected() const {
    if (!failureNamesExpected)
        return std::nullopt;
    // Of several bytes that would do, none is the one wanted unless one is named.
    if (awaits != Awaits::Byte)
        return namedOfSeveral;
    return expectedReply;
}

std::string Exchange::wordsFor(std::uint8_t got) const {
    if (failWords)
        return failWords(got);
    if (failText)
        return failText;
    return failString;
}

Failure Exchange::failureFor(std::uint8_t got, const std::string& words) const {
    Failure failure;
    failure.exchange = name;
    failure.state = state;
    failure.cause = FailureCause::PhoneReply;
    if (detailWords)
        failure.detail = detailWords(got);
    else
        failure.detail = detail == Detail::AsLogged ? words : trimmedWords(words);
    failure.expected = expected();
    failure.got = got;
    return failure;
}

void Exchange::answered(Reply reply) const {
    if (onReply)
        onReply(reply);
    else if (onDone)
        onDone();
}

bool Exchange::take(std::uint8_t byte, ReplyBytes& soFar) const {
    switch (awaits) {
        case Awaits::Nothing:
            return true;
        case Awaits::Bytes: {
            soFar.m_Bytes[soFar.m_Count++] = byte;
            if (soFar.m_Count < replySize)
                return true;
            // Handed on apart from the collector: what follows may begin the next exchange.
            std::array<std::uint8_t, ReplyBytes::kRoom> reply;
            std::copy_n(soFar.m_Bytes.begin(), replySize, reply.begin());
            soFar.clear();
            answered(Reply(reply.data(), replySize));
            return true;
        }
        case Awaits::Byte:
        case Awaits::AnyByte:
        case Awaits::OneOf:
            break;
    }
    if (accepts(byte)) {
        answered(Reply(&byte, 1));
        return true;
    }
    if (onWrongByte) {
        onWrongByte(byte);
        return true;
    }
    return false;
}

}  // namespace zrk
