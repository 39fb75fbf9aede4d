#pragma once
// What the running operation carries from its start to its end, across its parts: when it
// began, for the time it logs at its end, and the firmware part's length, which the file-system
// part of BIN + QIX adds to its total. The firmware part hands it on as a value because the two
// parts belong to phases that never see each other; a run started afresh has no length.
#include <cstdint>

namespace zrk {

class OperationRun {
  public:
    void start(std::int64_t nowSeconds) {
        m_StartedAt = nowSeconds;
        m_FirmwareLength = 0;
    }
    std::int64_t secondsSince(std::int64_t nowSeconds) const { return nowSeconds - m_StartedAt; }
    void setFirmwareLength(std::uint32_t length) { m_FirmwareLength = length; }
    std::uint32_t firmwareLength() const { return m_FirmwareLength; }

  private:
    std::int64_t m_StartedAt = 0;
    std::uint32_t m_FirmwareLength = 0;
};

}  // namespace zrk
