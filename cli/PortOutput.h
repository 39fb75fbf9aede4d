#pragma once
// One port's output for the engine's view and the job: the TerminalOutput calls become whole
// prefixed lines and the port's own line on the shared screen. stageProbe, when set, is asked
// for the stage on every call (the job's thread), so the line follows the engine.
#include <functional>
#include <string>

#include "cli/PortScreen.h"
#include "cli/TerminalOutput.h"

namespace zrk::cli {

class PortOutput : public TerminalOutput {
  public:
    PortOutput(PortScreen& screen, int port);
    ~PortOutput() override;

    void log(const std::string& text) override;
    void startNewLine() override;
    void line(const std::string& text) override;
    void diagnostic(const std::string& text) override;
    void progressBegin(std::uint64_t total, ProgressUnit unit) override;
    void progressUpdate(std::uint64_t position) override;
    void progressEnd() override;

    std::function<std::string()> stageProbe;
    // A stage the engine cannot tell: done, failed, ...
    void setStage(const std::string& stage);

  private:
    void followStage();
    PortScreen& m_Screen;
    int m_Port;
    std::string m_Pending;  // log text since its last line end
    std::string m_Stage;
};

}  // namespace zrk::cli
