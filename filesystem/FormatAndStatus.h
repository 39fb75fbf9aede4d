#pragma once
// "Format" (after its question) and "Status" of the NAND file system. Both replies start with a
// code byte; a failure brings a 5-byte error report, the status a 44-byte record.
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace zrk {

class PhaseContext;

class FormatAndStatus {
  public:
    explicit FormatAndStatus(PhaseContext& context) : m_Context(context) {}

    void pressFormat();
    void pressStatus();
    void onStartReply();  // WAIT_START_REPLY with OP_FORMAT or OP_STATUS
    void step(std::uint8_t byte);

    // The record's eleven lines, little-endian fields, as the log shows them.
    static std::string describeStatusRecord(std::span<const std::uint8_t, 44> record);
    // "\n Format Error!..." or "\n Init,mount Error!..." with the report's two codes.
    static std::string describeErrorReport(const char* what,
                                           std::span<const std::uint8_t, 5> report);

  private:
    PhaseContext& m_Context;
    std::array<std::uint8_t, 44> m_Reply{};
    std::size_t m_Count = 0;  // the reply counter
};

}  // namespace zrk
