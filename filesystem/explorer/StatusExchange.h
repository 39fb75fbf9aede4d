#pragma once
// A file's status: F0h with the full path, F1h back, then its 28-byte record.
#include <cstdint>
#include <optional>
#include <string>

#include "filesystem/explorer/ExplorerLine.h"

namespace zrk {

class StatusExchange : public ExplorerExchange {
  public:
    explicit StatusExchange(ExplorerLine& line) : ExplorerExchange(line, "read the file status") {}

    void begin(const std::string& fullPath);
    void beforeFailing(Failure& failure) override;
    // The last record read whole.
    const std::optional<FileStatusRecord>& last() const { return m_Status; }

  private:
    void recordRead(Exchange::Reply record);

    std::optional<FileStatusRecord> m_Status;
};

}  // namespace zrk
