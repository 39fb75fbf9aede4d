#pragma once
// The engine's view for the command line: the log and the message boxes go to the terminal,
// the prompts are answered from the flags, and what happened is recorded so that the command
// can tell how its operation ended.
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cli/ProgressMeter.h"
#include "engine/DownloaderView.h"
#include "engine/FrameTurns.h"

namespace zrk::cli {

class TerminalOutput;

struct PromptAnswers {
    std::vector<std::int32_t> sectors;  // --sectors, one flag per sector
    std::string saveFile;               // --out
    bool yes = false;                   // --yes
};

class TerminalView : public DownloaderView {
  public:
    TerminalView(TerminalOutput& output, UserChoices choices, PromptAnswers answers);

    void appendLog(std::string_view text) override;
    void setLogText(const std::string& text) override;
    void setProgressRange(std::uint32_t total) override;
    void setProgressPos(std::uint32_t position) override;
    void heard(const LinkFact& fact) override;
    void stageChanged(Stage stage) override { endProgressOn(m_Turns.stageChanged(stage)); }
    void linkClosed() override { endProgressOn(m_Turns.linkClosed()); }
    void messageBox(const std::string& text, MessageIcon icon) override;
    bool askYesNo(const std::string& text) override;
    std::string chooseSaveFile(const SaveFileRequest& request) override;
    bool selectSectors(const SectorMap& map, std::vector<std::int32_t>& sectorSelected) override;
    void startBaudTimer(int milliseconds) override;
    void stopBaudTimer() override;
    // What the command asked for, as its operations run on it.
    const UserChoices& choices() const { return m_Choices; }
    void operationEnded(const OperationOutcome& outcome) override {
        endProgressOn(m_Turns.operationEnded(outcome));
        m_Outcome = outcome;
        if (onOutcome)
            onOutcome(outcome);
    }
    // Every outcome as it comes, for a run that records them.
    std::function<void(const OperationOutcome&)> onOutcome;

    // The baud-switch timer lives in the event loop.
    std::function<void(int)> onStartTimer;
    std::function<void()> onStopTimer;

    // What the progress positions of the next phase count.
    void setProgressUnit(ProgressUnit unit) override { m_Unit = unit; }

    // How the last operation ended, once it has.
    const std::optional<OperationOutcome>& outcome() const { return m_Outcome; }
    const std::string& flashName() const { return m_FlashName; }
    // Before the next operation.
    void clearRecord();

  private:
    // The bar ends with what it measured: an operation that freed the phone, or the link.
    void endProgressOn(std::optional<FrameTurn> turn);

    TerminalOutput& m_Output;
    UserChoices m_Choices;
    PromptAnswers m_Answers;
    ProgressUnit m_Unit = ProgressUnit::Bytes;
    std::string m_FlashName;
    std::optional<OperationOutcome> m_Outcome;
    FrameTurns m_Turns;
};

}  // namespace zrk::cli
