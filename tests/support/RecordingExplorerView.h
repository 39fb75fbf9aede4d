#pragma once
// An ExplorerView that records everything and answers prompts from its fields.
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "filesystem/explorer/ExplorerView.h"

namespace zrk::test {

class RecordingExplorerView : public ExplorerView {
  public:
    void appendLog(std::string_view text) override { log += text; }
    void setLogText(const std::string& text) override {
        log = text;
        ++logReplacements;
    }
    void setProgressRange(std::uint32_t total) override { progressRange = total; }
    void setProgressPos(std::uint32_t position) override { progressPos = position; }
    void messageBox(const std::string& text, MessageIcon) override { messages.push_back(text); }
    bool askYesNo(const std::string& text) override {
        questions.push_back(text);
        return yes;
    }
    std::string chooseSaveFile(const SaveFileRequest& request) override {
        saveRequests.push_back(request);
        return saveAs;
    }
    void operationEnded(const OperationOutcome& outcome) override { outcomes.push_back(outcome); }
    void addDirectoryNode(const std::string& parent, const std::string& name) override {
        nodes[parent].push_back(name);
    }
    void addFileLine(const std::string& text) override { files.push_back(text); }
    void clearFileList() override { files.clear(); }
    void setWorkingControlsEnabled(bool enabled) override {
        working = enabled;
        tree = enabled;
    }
    void setTreeEnabled(bool enabled) override { tree = enabled; }
    void closeExplorer() override { closed = true; }
    void startQuietTimer(int milliseconds) override { quietTimer = milliseconds; }
    void stopQuietTimer() override { quietTimer = 0; }

    std::string log;
    int logReplacements = 0;
    std::uint32_t progressRange = 0;
    std::uint32_t progressPos = 0;
    std::vector<std::string> messages;
    std::vector<std::string> questions;
    std::vector<SaveFileRequest> saveRequests;
    std::vector<OperationOutcome> outcomes;
    std::map<std::string, std::vector<std::string>> nodes;
    std::vector<std::string> files;
    bool working = true;
    bool tree = true;
    bool closed = false;
    bool yes = true;
    std::string saveAs;
    int quietTimer = 0;
};

}  // namespace zrk::test
