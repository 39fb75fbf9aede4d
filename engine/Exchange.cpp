#include "engine/Exchange.h"

#include <algorithm>

#include "engine/Checksums.h"

namespace zrk {

Exchange& Exchange::send(std::initializer_list<std::uint8_t> bytes) {
    writes.emplace_back(bytes);
    return *this;
}

Exchange& Exchange::send(std::span<const std::uint8_t> bytes) {
    writes.emplace_back(bytes.begin(), bytes.end());
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
    awaits = Awaits::OneOf;
    accepted.assign(bytes);
    return *this;
}

Exchange& Exchange::expectBytes(std::size_t count) {
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
    onReply = [next = std::move(next)](Reply) { next(); };
    return *this;
}

Exchange& Exchange::failing(Words words, Ending how) {
    failWords = std::move(words);
    ending = how;
    return *this;
}

Exchange& Exchange::failing(const std::string& words, Ending how) {
    return failing([words](std::uint8_t) { return words; }, how);
}

Exchange& Exchange::failureDetail(Detail kind) {
    detail = kind;
    return *this;
}

Exchange& Exchange::failureOmitsExpected() {
    failureNamesExpected = false;
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
        case Awaits::OneOf:
            return std::find(accepted.begin(), accepted.end(), byte) != accepted.end();
        default:
            return false;
    }
}

std::optional<std::uint8_t> Exchange::expected() const {
    // Of several bytes that would do, none is the one wanted.
    if (awaits != Awaits::Byte || !failureNamesExpected)
        return std::nullopt;
    return expectedReply;
}

}  // namespace zrk
