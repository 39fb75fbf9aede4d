#pragma once
// A phone without a fault, as far as the fuzzers need one: it answers the last thing the host
// wrote (the command, its argument or its data block, as the transcript holds them) and what
// it has already answered since. It speaks only while the engine says it waits on an exchange
// and the port is open; a real phone would talk regardless, but an answer nobody waits for is
// noise, which the fuzzers make on their own.
#include <cstdint>
#include <optional>
#include <vector>

#include "fuzz/EngineRig.h"

namespace zrk::fuzz {

class HonestPhone {
  public:
    explicit HonestPhone(EngineRig& rig) : m_Rig(rig) {}

    // What the phone says now; empty when the engine waits for nothing.
    std::vector<std::uint8_t> reply();

  private:
    static constexpr unsigned kKeptBlocks = 8;  // dump blocks made once, for every input
    using Bytes = std::vector<std::uint8_t>;

    Bytes answer(std::size_t last);
    // The boot ROM and the pre-loader, until the boot-loader identified the flash.
    Bytes bringUpAnswer(std::size_t last);
    // The boot-loader's operations.
    Bytes operationAnswer(std::size_t last);
    Bytes dumpBlock();
    // Bytes the engine took after write i (its reply so far).
    std::size_t answered(std::size_t i) const;
    // The gap in received bytes between write i - 1 and write i: 0 when sent together.
    std::size_t gapBefore(std::size_t i) const;
    // The program command whose sector write i is a data block of, if it is one.
    std::optional<std::size_t> sectorOf(std::size_t i);

    EngineRig& m_Rig;
    unsigned m_Blocks = 0;      // dump blocks served: each one differs from the one before
    std::size_t m_Scanned = 0;  // writes looked at for program commands
    std::optional<std::size_t> m_LastProgram;  // the latest program command among them
};

}  // namespace zrk::fuzz
