#pragma once
// The window's report: its last phones, each from a bring-up to the next one, with every
// operation's typed outcome as it ended. Kept for "Save report..."; the oldest phones give way
// once there are many.
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "report/RunReport.h"

namespace zrk::report {

class SessionRecord {
  public:
    static constexpr std::size_t kMostPhones = 200;

    struct Where {
        std::string port;    // "COM3"
        std::string device;  // what COM3 stands for
        std::string flashName;
        std::optional<std::array<std::uint8_t, 8>> flashId;
    };
    // An operation that has just ended (its start is its end less its elapsed time); a bring-up
    // begins the next phone.
    void add(const OperationOutcome& outcome, const UserChoices& choices,
             const std::vector<std::int32_t>& sectorFlags, const Where& where, TimePoint now);
    bool empty() const { return m_Ports.empty(); }
    RunReport report(const std::string& program, TimePoint now) const;

  private:
    std::vector<PortRecord> m_Ports;
    PortRecord* m_Current = nullptr;
    std::size_t m_Phones = 0;
    TimePoint m_Started{};
};

}  // namespace zrk::report
