#pragma once
// A file's status: F0h with the full path, F1h back, then its 28-byte record.
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "filesystem/explorer/ExplorerLine.h"

namespace zrk {

class StatusExchange : public ExplorerExchange {
  public:
    explicit StatusExchange(ExplorerLine& line) : ExplorerExchange(line, "read the file status") {}

    void begin(const std::string& fullPath);
    void onByte(std::uint8_t byte) override;
    // The last record read whole.
    const std::optional<FileStatusRecord>& last() const { return m_Status; }

  private:
    std::array<std::uint8_t, explorer::kStatRecordSize> m_Record{};
    std::size_t m_Counter = 0;
    std::optional<FileStatusRecord> m_Status;
};

}  // namespace zrk
