#pragma once
// One exchange with the phone as one value: the words it goes by in a failure, the protocol
// state it waits in, the writes that ask, the reply that answers, and what follows either way.
// PhaseContext::begin sends and arms it; every byte that comes while it is armed is judged in
// one place, PhaseContext::judge. The file explorer, which runs no phase, has its own judge of
// the same value (ReplyJudge).
#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "engine/Outcome.h"

namespace zrk {

// How a wrong reply ends its operation: abandoned (left idle, controls locked until Stop) or
// finished (idle, files closed, controls back).
enum class Ending { Abandon, Finish };

// The writes of one exchange, in order. Most are a command and a few bytes: they are kept in
// place, and only a long one (a chunk of an image) goes to the heap. An exchange is made for
// every step, so its making should cost little more than the bytes.
class ExchangeWrites {
  public:
    static constexpr std::size_t kMaxWrites = 4;
    void add(std::span<const std::uint8_t> bytes);
    // A write whose bytes stay where they are until the exchange is begun, which sends them at
    // once: a block of the transfer buffer goes out uncopied. One an exchange.
    void borrow(std::span<const std::uint8_t> bytes);
    std::size_t size() const { return m_Count; }
    std::span<const std::uint8_t> operator[](std::size_t i) const;

  private:
    static constexpr std::size_t kInPlace = 32;
    std::array<std::uint8_t, kInPlace> m_InPlace{};
    std::vector<std::uint8_t> m_Spilled;  // all of them, once they do not fit in place
    std::array<std::uint32_t, kMaxWrites> m_Ends{};
    std::size_t m_Count = 0;
    std::span<const std::uint8_t> m_Borrowed;
    std::size_t m_BorrowedAt = kMaxWrites;
};

// The bytes of a reply that comes in several (an exchange that awaits N bytes), kept by
// whoever judges the replies: the exchange itself may be replaced while its reply is handed on.
class ReplyBytes {
  public:
    // The longest reply collected whole: a listing's entry record.
    static constexpr std::size_t kRoom = 256;
    void clear() { m_Count = 0; }

  private:
    friend struct Exchange;
    std::array<std::uint8_t, kRoom> m_Bytes{};
    std::size_t m_Count = 0;
};

struct Exchange {
    using Bytes = std::vector<std::uint8_t>;
    using Reply = std::span<const std::uint8_t>;
    // The words a wrong reply is logged with, made from the byte that came.
    using Words = std::string (*)(std::uint8_t got);

    enum class Awaits {
        Byte,     // expectedReply
        OneOf,    // any of accepted
        AnyByte,  // one byte, whatever it is
        Bytes,    // replySize bytes, whatever they are
        Nothing,  // no reply yet: what comes is dropped
    };
    // The detail a failure carries: the logged words trimmed, or as they were logged.
    enum class Detail { Trimmed, AsLogged };

    Exchange(const char* words, std::int32_t waitsIn) : name(words), state(waitsIn) {}

    // Each call is one write, in the order given; at most ExchangeWrites::kMaxWrites.
    Exchange& send(std::initializer_list<std::uint8_t> bytes);
    Exchange& send(std::span<const std::uint8_t> bytes);
    // Bytes that outlive the begin of this exchange, sent from where they are.
    Exchange& sendBorrowed(std::span<const std::uint8_t> bytes);
    // A command and a 32-bit value, high byte first, as two writes; the phone answers with the
    // sum of the value's four bytes.
    Exchange& sendValue(std::uint8_t command, std::uint32_t value);

    Exchange& expect(std::uint8_t byte);
    // The sum8 of these bytes: the phone's proof that it received them.
    Exchange& expectSum8Of(std::span<const std::uint8_t> sent);
    Exchange& expectOneOf(std::initializer_list<std::uint8_t> bytes);
    Exchange& expectAnyByte();
    Exchange& expectBytes(std::size_t count);
    Exchange& expectNothingYet();

    // What follows the reply; it is handed the byte that answered, or all the bytes collected.
    Exchange& then(std::function<void(Reply)> next);
    Exchange& then(std::function<void()> next);
    // A wrong byte fails the operation: logged with these words, recorded as a failure of this
    // exchange, the operation ended as `ending` says.
    Exchange& failing(Words words, Ending ending = Ending::Abandon);
    Exchange& failing(const char* words, Ending ending = Ending::Abandon);
    Exchange& failing(const std::string& words, Ending ending = Ending::Abandon);
    Exchange& failureDetail(Detail detail);
    // The failure's detail made from the byte that came, apart from the logged words.
    Exchange& failureDetail(Words detail);
    // The failure does not name the byte that was wanted.
    Exchange& failureOmitsExpected();
    // Of several bytes that would do, the one a failure names as wanted.
    Exchange& failureNames(std::uint8_t wanted);
    // A wrong byte that fails nothing (noise while waiting, a refusal the protocol retries) is
    // handed here instead.
    Exchange& otherwise(std::function<void(std::uint8_t)> wrongByte);

    // Whether this byte answers an exchange that awaits a single byte.
    bool accepts(std::uint8_t byte) const;
    // The byte a failure names as the one wanted.
    std::optional<std::uint8_t> expected() const;
    // The words a wrong byte is logged with.
    std::string wordsFor(std::uint8_t got) const;
    // What failed when this wrong byte came, logged with these words: the one record both
    // judges give, under the exchange's own name.
    Failure failureFor(std::uint8_t got, const std::string& words) const;
    // Hands the reply to what follows.
    void answered(Reply reply) const;
    // One received byte: the rest of a reply is waited for, a whole or right reply goes to what
    // follows, a wrong byte to `otherwise`. False for a wrong byte the judge is to fail.
    bool take(std::uint8_t byte, ReplyBytes& soFar) const;

    const char* name;
    std::int32_t state;
    ExchangeWrites writes;
    Awaits awaits = Awaits::Nothing;
    std::uint8_t expectedReply = 0;
    std::array<std::uint8_t, 4> accepted{};
    std::size_t acceptedCount = 0;
    std::size_t replySize = 1;
    std::function<void(Reply)> onReply;
    std::function<void()> onDone;  // a next step that needs no reply bytes
    std::function<void(std::uint8_t)> onWrongByte;
    // One of these says the failure's words: made from the byte, fixed, or given as a string.
    Words failWords = nullptr;
    const char* failText = nullptr;
    std::string failString;
    Detail detail = Detail::Trimmed;
    Words detailWords = nullptr;
    bool failureNamesExpected = true;
    std::optional<std::uint8_t> namedOfSeveral;
    Ending ending = Ending::Abandon;
};

}  // namespace zrk
