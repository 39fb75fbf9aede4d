#pragma once
// "Format" (after its question) and "Status" of the NAND file system. Both replies start with a
// code byte; a failure brings a 5-byte error report, the status a 44-byte record.
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "filesystem/FileSystemStates.h"

namespace zrk {

class PhaseContext;

class FormatAndStatus {
  public:
    explicit FormatAndStatus(PhaseContext& context) : m_Context(context) {}

    void pressFormat();
    void pressStatus();
    void onStartReply();  // WAIT_START_REPLY with OP_FORMAT or OP_STATUS

    using StatusRecord = std::array<std::uint8_t, fs::kStatusRecordSize>;
    // The record of the last status, for a front end that shows results only; none while a
    // status runs, nor after one that read none.
    const std::optional<StatusRecord>& statusRecord() const { return m_StatusRecord; }

    // The record's eleven lines, little-endian fields, as the log shows them.
    static std::string describeStatusRecord(std::span<const std::uint8_t, 44> record);
    // "\n Format Error!..." or "\n Init,mount Error!..." with the report's two codes.
    static std::string describeErrorReport(const char* what,
                                           std::span<const std::uint8_t, 5> report);

  private:
    static void notAReply(std::uint8_t byte);
    void onFormat(std::uint8_t code);
    void onStatus(std::uint8_t code);
    void readErrorReport(fs::FileSystemState state, const char* what);
    void onErrorReport(const char* what, std::span<const std::uint8_t> report);
    void onRecord(std::span<const std::uint8_t> record);

    PhaseContext& m_Context;
    std::optional<StatusRecord> m_StatusRecord;
};

}  // namespace zrk
