#pragma once
// An operation the engine reports completed must have been confirmed by the phone, byte by
// byte, in the transcript: every argument's sum, every sector's and block's sum, the
// identification, the echo or success code that ends it, and together the whole image.
#include <cstddef>
#include <optional>
#include <span>
#include <string>

#include "fuzz/EngineRig.h"

namespace zrk::fuzz {

class CompletionChecks {
  public:
    explicit CompletionChecks(EngineRig& rig) : m_Rig(rig) {}

    // The outcome came from the writes from `from` on.
    void confirm(const OperationOutcome& outcome, std::size_t from);

  private:
    using Bytes = std::vector<std::uint8_t>;
    const std::vector<RecordingLink::Write>& writes() const { return m_Rig.link.transcript; }
    std::optional<std::size_t> lastOne(std::size_t from, std::uint8_t command) const;
    std::optional<std::size_t> firstOne(std::size_t from, std::uint8_t command) const;
    std::size_t confirmArgument(std::size_t from, std::uint8_t command, const Bytes& expected,
                                const std::string& what);

    void confirmBringUp(std::size_t from, const std::string& what);
    void confirmFirmware(std::size_t from, const std::string& what);
    void confirmFileSystem(std::size_t from, const std::string& what);
    void confirmErase(std::size_t from, const std::string& what);
    void confirmDump(std::size_t from, const OperationOutcome& outcome, const std::string& what);
    void confirmFormat(std::size_t from, const std::string& what);
    void confirmStatus(std::size_t from, const std::string& what);

    EngineRig& m_Rig;
};

// The first bytes of a transcript entry, for a violation's text.
std::string hex(std::span<const std::uint8_t> bytes, std::size_t max = 12);

}  // namespace zrk::fuzz
