#pragma once
// The seam between the protocol engine and a front end, split by role so that another window
// (the explorer) can reuse the log, progress and prompt roles without the main window's
// controls. The main window implements all of them with widgets, the command line with
// stdout/stderr and its flags, tests by recording. Everything here is called on the protocol
// thread. Prompts are part of it so that no test ever blocks on a real message box.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/Outcome.h"
#include "engine/Stage.h"

namespace zrk {

class SectorMap;

enum class DownloadMode { ModeBin = 0, ModeQix = 1, ModeBinAndQix = 2 };

enum class MessageIcon { None, Information, Warning, Error };

// What the user chose for an operation, taken from the front end once, when its button is
// pressed (or given whole by a front end that has no controls): the operation runs on this and
// never asks the view for choices half-way.
struct UserChoices {
    int portIndex = 0;   // 0 = COM1 ... 19 = COM20; -1 when the list has no selection
    int speedIndex = 0;  // index into kLineSpeeds; -1 when the list has no selection
    DownloadMode downloadMode = DownloadMode::ModeBin;
    bool powerOnAfterDownload = false;
    // Read back what was downloaded and compare it with the image before calling it done.
    bool verifyAfterDownload = false;
    bool autoDownload = false;
    bool useStartNorAddress = false;
    std::string startAddressText;  // the start address field's text
    std::string binPath;
    std::string qixPath;
    std::string cfgPath;
    // The code page the .cfg names are written in; empty: the locale's.
    std::string codePage;
    // How this front end's user chooses the code page, "NAME" standing for its name; a refusal
    // of the .cfg's names says it.
    std::string codePageControl = "another code page (NAME)";

    // Answers to the questions an operation asks before its first byte, for a front end that
    // knows them beforehand (a station, a script). Unset: the view is asked, as a window does.
    std::optional<std::vector<std::int32_t>> sectors;  // a flag per sector, to erase or dump
    std::optional<std::string> saveFile;               // where a dump goes
    std::optional<bool> formatConfirmed;               // "Sure to FORMAT?"
};

// A save-file dialog as the protocol describes it: default extension (".hex") and a filter in
// the "Text (*.x)|*.x|All Files (*.*)|*.*||" form. The front end converts the filter.
struct SaveFileRequest {
    std::string defaultExtension;
    std::string filter;
};

// What the progress bar counts, for a front end that shows a rate.
enum class ProgressUnit { Bytes, Kilobytes, Sectors };

// The log pane and the progress bar.
class LogView {
  public:
    virtual ~LogView() = default;
    virtual void appendLog(std::string_view text) = 0;
    virtual void setLogText(const std::string& text) = 0;
    // A new range counts bytes; an operation that counts something else says so right after.
    virtual void setProgressRange(std::uint32_t total) = 0;
    virtual void setProgressUnit(ProgressUnit unit) { (void)unit; }
    virtual void setProgressPos(std::uint32_t position) = 0;
};

// Modal questions.
class PromptView {
  public:
    virtual ~PromptView() = default;
    virtual void messageBox(const std::string& text, MessageIcon icon) = 0;
    virtual bool askYesNo(const std::string& text) = 0;
    // Empty when cancelled.
    virtual std::string chooseSaveFile(const SaveFileRequest& request) = 0;
};

// The single-shot baud-switch timer: after the delay the front end calls the engine's
// onBaudTimer once.
class TimerView {
  public:
    virtual ~TimerView() = default;
    virtual void startBaudTimer(int milliseconds) = 0;
    virtual void stopBaudTimer() = 0;
};

// Where each operation's one outcome goes. Most views only record it.
class OutcomeView {
  public:
    virtual ~OutcomeView() = default;
    virtual void operationEnded(const OperationOutcome&) {}
};

// Where the link stands, each time that changes (after the step that changed it).
class StageView {
  public:
    virtual ~StageView() = default;
    virtual void stageChanged(Stage stage) { (void)stage; }
};

// The main window's own controls and fields.
class ControlsView {
  public:
    virtual ~ControlsView() = default;

    virtual void setFlashName(const std::string& name) = 0;
    virtual void setFirmwareSizeText(const std::string& text) = 0;
    virtual void setImageSizeText(const std::string& text) = 0;

    // START: port and speed lists, START and the auto-download box disabled, Stop enabled
    // (lockControls follows separately).
    virtual void showPortOpened() = 0;
    virtual void lockControls() = 0;
    // The controls part of finishing an operation (the engine does the state and the files).
    virtual void finishOperation() = 0;
    // The controls part of Stop: START and the lists enabled, finishOperation's controls, then
    // the operation buttons, power-on, start address box and field disabled, auto-download on.
    virtual void showStopped() = 0;

    // Runs the sector selection over the active map; the flags are cleared by the caller and
    // changed in place. True when accepted with START.
    virtual bool selectSectors(const SectorMap& map, std::vector<std::int32_t>& sectorSelected) = 0;

    virtual UserChoices choices() = 0;

    // The .cfg's names are not valid in the code page in use but are all valid in codePage:
    // asks the question and, on yes, uses codePage from now on (choices() reports it). False
    // where nothing can ask.
    virtual bool offerCodePage(const std::string& question, const std::string& codePage) {
        (void)question;
        (void)codePage;
        return false;
    }
};

// Everything the main window's engine talks to.
class DownloaderView : public LogView,
                       public PromptView,
                       public TimerView,
                       public OutcomeView,
                       public StageView,
                       public ControlsView {};

}  // namespace zrk
