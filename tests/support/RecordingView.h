#pragma once
// A DownloaderView that records everything and answers prompts from a script.
#include <deque>
#include <string>
#include <string_view>
#include <vector>

#include "engine/DownloaderView.h"
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
    void setFlashName(const std::string& name) override { flashName = name; }
    void setFirmwareSizeText(const std::string& text) override { firmwareSizeText = text; }
    void setImageSizeText(const std::string& text) override { imageSizeText = text; }
    void showPortOpened() override { events.push_back("portOpened"); }
    void lockControls() override { events.push_back("lock"); }
    void finishOperation() override { events.push_back("finish"); }
    void showStopped() override { events.push_back("stopped"); }
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
    UserChoices choices() override { return userChoices; }
    bool offerCodePage(const std::string& question, const std::string& codePage) override {
        questions.push_back(question);
        if (yesNoAnswer)
            userChoices.codePage = codePage;
        return yesNoAnswer;
    }
    void operationEnded(const OperationOutcome& outcome) override { outcomes.push_back(outcome); }
    void stageChanged(Stage stage) override { stages.push_back(stage); }

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
    UserChoices userChoices;
    std::vector<OperationOutcome> outcomes;
    std::vector<Stage> stages;
};

}  // namespace zrk::test
