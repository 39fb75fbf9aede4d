#pragma once
// One exchange with the phone as one value: the words it goes by in a failure, the protocol
// state it waits in, the writes that ask, the reply that answers, and what follows either way.
// PhaseContext::begin sends and arms it; every byte that comes while it is armed is judged in
// one place, PhaseContext::judge.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace zrk {

// How a wrong reply ends its operation: abandoned (left idle, controls locked until Stop) or
// finished (idle, files closed, controls back).
enum class Ending { Abandon, Finish };

struct Exchange {
    using Bytes = std::vector<std::uint8_t>;
    using Reply = std::span<const std::uint8_t>;
    // The words a wrong reply is logged with, made from the byte that came.
    using Words = std::function<std::string(std::uint8_t got)>;

    enum class Awaits {
        Byte,     // expectedReply
        OneOf,    // any of accepted
        Bytes,    // replySize bytes, whatever they are
        Nothing,  // no reply yet: what comes is dropped
    };
    // The detail a failure carries: the logged words trimmed, or as they were logged.
    enum class Detail { Trimmed, AsLogged };

    Exchange(const char* words, std::int32_t waitsIn) : name(words), state(waitsIn) {}

    // Each call is one write, in the order given.
    Exchange& send(std::initializer_list<std::uint8_t> bytes);
    Exchange& send(std::span<const std::uint8_t> bytes);
    // A command and a 32-bit value, high byte first, as two writes; the phone answers with the
    // sum of the value's four bytes.
    Exchange& sendValue(std::uint8_t command, std::uint32_t value);

    Exchange& expect(std::uint8_t byte);
    // The sum8 of these bytes: the phone's proof that it received them.
    Exchange& expectSum8Of(std::span<const std::uint8_t> sent);
    Exchange& expectOneOf(std::initializer_list<std::uint8_t> bytes);
    Exchange& expectBytes(std::size_t count);
    Exchange& expectNothingYet();

    // What follows the reply; it is handed the byte that answered, or all the bytes collected.
    Exchange& then(std::function<void(Reply)> next);
    Exchange& then(std::function<void()> next);
    // A wrong byte fails the operation: logged with these words, recorded as a failure of this
    // exchange, the operation ended as `ending` says.
    Exchange& failing(Words words, Ending ending = Ending::Abandon);
    Exchange& failing(const std::string& words, Ending ending = Ending::Abandon);
    Exchange& failureDetail(Detail detail);
    // The failure does not name the byte that was wanted.
    Exchange& failureOmitsExpected();
    // A wrong byte that fails nothing (noise while waiting, a refusal the protocol retries) is
    // handed here instead.
    Exchange& otherwise(std::function<void(std::uint8_t)> wrongByte);

    // Whether this byte answers an exchange that awaits a single byte.
    bool accepts(std::uint8_t byte) const;
    // The byte a failure names as the one wanted.
    std::optional<std::uint8_t> expected() const;

    const char* name;
    std::int32_t state;
    std::vector<Bytes> writes;
    Awaits awaits = Awaits::Nothing;
    std::uint8_t expectedReply = 0;
    Bytes accepted;
    std::size_t replySize = 1;
    std::function<void(Reply)> onReply;
    std::function<void(std::uint8_t)> onWrongByte;
    Words failWords;
    Detail detail = Detail::Trimmed;
    bool failureNamesExpected = true;
    Ending ending = Ending::Abandon;
};

}  // namespace zrk
