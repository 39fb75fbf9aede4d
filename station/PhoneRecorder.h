#pragma once
// Records the phones a port serves for the run report, from the typed outcomes of their
// operations, for either front end: one phone record per phone, one operation record per
// outcome, the flash as the bring-up found it.
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "engine/DownloaderView.h"
#include "report/RunReport.h"

namespace zrk {
class ProtocolEngine;
}  // namespace zrk

namespace zrk::station {

// How a served phone ended, in the report's words.
struct PhoneEnding {
    bool passed = false;
    std::string result;  // "passed", "failed", "timed out", ...
    std::string reason;  // the closing complaint; dropped when the phone passed
    std::optional<int> exitCode;
};

class PhoneRecorder {
  public:
    PhoneRecorder(std::string portName, UserChoices choices, std::vector<std::int32_t> sectorFlags,
                  std::vector<report::ImageRecord> images);

    // The images the operations record, when they are read only once the port starts.
    void setImages(std::vector<report::ImageRecord> images) { m_Images = std::move(images); }
    // A new phone: with waiting, it counts only once its boot ROM speaks.
    void beginPhone(bool waiting);
    // The boot ROM spoke: the phone's clock starts now.
    void phoneAnswered();
    // The phone's end. A phone that never spoke (a wait ended by a stop) is not one: it is
    // dropped.
    void endPhone(const PhoneEnding& ending);

    // The device the phone is served through.
    void linkReady(const std::string& device) { m_Record.device = device; }
    // The engine serving the phone, and nullptr once it is gone.
    void engineChanged(const ProtocolEngine* engine) { m_Engine = engine; }
    // START or an operation's button is about to be pressed.
    void operationStarting();
    void operationEnded(const OperationOutcome& outcome, const std::string& flashName);
    // The flash as the view last named it (an empty name keeps the one found before).
    void flashFound(const std::string& flashName);

    bool answered() const { return m_Answered; }
    const ProtocolEngine* engine() const { return m_Engine; }
    int passed() const { return m_Passed; }
    int failed() const { return m_Failed; }
    report::PortRecord& record() { return m_Record; }
    const report::PortRecord& record() const { return m_Record; }

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

}  // namespace zrk::station
