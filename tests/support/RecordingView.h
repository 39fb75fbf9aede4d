#pragma once
// A DownloaderView that records everything and answers prompts from a script.
#include <deque>
#include <string>
#include <string_view>
#include <vector>

#include "engine/DownloaderView.h"
#include "engine/FrameTurns.h"
#include "engine/SectorMap.h"

namespace zrk::test {

class RecordingView : public DownloaderView {
  public:
    void appendLog(std::string_view text) override { log += text; }
    void setLogText(const std::string& text) override { log = text; }
    void setProgressRange(std::uint32_t total) override { progressRange = total; }
    void setProgressPos(std::uint32_t position) override {
        progressPos = position;
        progressHistory.push_back(position);
    }
    void heard(const LinkFact& fact) override {
        if (const auto* flash = std::get_if<FlashNamed>(&fact))
            flashName = flash->name;
        else if (const auto* firmware = std::get_if<FirmwareSized>(&fact))
            firmwareSizeText = std::to_string(firmware->bytes);
        else if (const auto* image = std::get_if<ImageSized>(&fact))
            imageSizeText = std::to_string(image->bytes);
    }
    void messageBox(const std::string& text, MessageIcon) override { messages.push_back(text); }
    bool askYesNo(const std::string& text) override {
        questions.push_back(text);
        return yesNoAnswer;
    }
    std::string chooseSaveFile(const SaveFileRequest& request) override {
        saveRequests.push_back(request);
        return saveFileAnswer;
    }
    bool selectSectors(const SectorMap&, std::vector<std::int32_t>& flags) override {
        ++sectorDialogs;
        for (int i : sectorsToSelect)
            flags.at(i) = 1;
        return acceptSectors;
    }
    void startBaudTimer(int milliseconds) override {
        timerRunning = true;
        timerStarts.push_back(milliseconds);
    }
    void stopBaudTimer() override { timerRunning = false; }
    bool offerCodePage(const std::string& question, const std::string& codePage) override {
        questions.push_back(question);
        if (yesNoAnswer)
            userChoices.codePage = codePage;
        return yesNoAnswer;
    }
    void operationEnded(const OperationOutcome& outcome) override {
        record(turns.operationEnded(outcome));
        outcomes.push_back(outcome);
    }
    void stageChanged(Stage stage) override {
        stages.push_back(stage);
        record(turns.stageChanged(stage));
    }
    void linkClosed() override { record(turns.linkClosed()); }

    // The window's control steps, as its controls would follow the news: "portOpened" (then
    // "lock"), "lock", "finish", "stopped".
    void record(std::optional<FrameTurn> turn) {
        if (!turn)
            return;
        switch (*turn) {
            case FrameTurn::PortOpened:
                events.push_back("portOpened");
                events.push_back("lock");
                break;
            case FrameTurn::Busy:
                events.push_back("lock");
                break;
            case FrameTurn::Freed:
                events.push_back("finish");
                break;
            case FrameTurn::Closed:
                events.push_back("stopped");
                break;
        }
    }

    std::string log;
    std::uint32_t progressRange = 0;
    std::uint32_t progressPos = 0;
    std::vector<std::uint32_t> progressHistory;
    std::string flashName;
    std::string firmwareSizeText;
    std::string imageSizeText;
    std::vector<std::string> events;
    std::vector<std::string> messages;
    std::vector<std::string> questions;
    std::vector<SaveFileRequest> saveRequests;
    bool yesNoAnswer = true;
    std::string saveFileAnswer;
    std::vector<int> sectorsToSelect;
    bool acceptSectors = true;
    int sectorDialogs = 0;
    bool timerRunning = false;
    std::vector<int> timerStarts;
    UserChoices userChoices;  // what a test presses its buttons with
    FrameTurns turns;
    std::vector<OperationOutcome> outcomes;
    std::vector<Stage> stages;
};

}  // namespace zrk::test
