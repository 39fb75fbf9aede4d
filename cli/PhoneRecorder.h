#pragma once
// Records the phones a port serves for the run report, from the job's typed outcomes: one
// phone record per phone, one operation record per outcome, the flash as the bring-up found it.
#include <chrono>
#include <string>
#include <vector>

#include "cli/PhoneSession.h"
#include "report/RunReport.h"

namespace zrk::cli {

class PhoneRecorder : public PhoneJobObserver {
  public:
    PhoneRecorder(std::string portName, UserChoices choices, std::vector<std::int32_t> sectorFlags,
                  std::vector<report::ImageRecord> images);

    // A new phone: with waiting, it counts only once its boot ROM speaks.
    void beginPhone(bool waiting);
    // The phone's end with its exit class and closing complaint. A phone that never spoke (the
    // loop's wait ended by Ctrl-C) is not one: it is dropped.
    void endPhone(int exitCode, const std::string& reason);

    bool answered() const { return m_Answered; }
    const ProtocolEngine* engine() const { return m_Engine; }
    int passed() const { return m_Passed; }
    int failed() const { return m_Failed; }
    report::PortRecord& record() { return m_Record; }

    void linkReady(const std::string& device) override { m_Record.device = device; }
    void engineChanged(const ProtocolEngine* engine) override { m_Engine = engine; }
    void operationStarting() override;
    void phoneAnswered() override;
    void operationEnded(const OperationOutcome& outcome, const TerminalView& view) override;

  private:
    report::PortRecord m_Record;
    UserChoices m_Choices;
    std::vector<std::int32_t> m_SectorFlags;
    std::vector<report::ImageRecord> m_Images;
    const ProtocolEngine* m_Engine = nullptr;
    bool m_Open = false;
    bool m_Answered = false;
    report::TimePoint m_OperationStart{};
    report::PhoneRecord m_Phone;
    int m_Passed = 0;
    int m_Failed = 0;
};

// The report's word for a phone that ended with this exit class.
std::string phoneResultFor(int exitCode);

}  // namespace zrk::cli
