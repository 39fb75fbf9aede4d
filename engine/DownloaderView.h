#pragma once
// The seam between the protocol engine and a front end, split by role so that another window
// (the explorer) can reuse the log, progress and prompt roles. The engine tells news (log,
// progress, stage, outcome, facts) and asks questions; it never sets a control: each front end
// derives its own from the stage and the outcome (FrameTurns). The main window implements the
// roles with widgets, the command line with stdout/stderr and its flags, tests by recording.
// Everything here is called on the protocol thread. Prompts are part of it so that no test ever
// blocks on a real message box.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
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

// Where the link stands, each time that changes (after the step that changed it), and its end.
class StageView {
  public:
    virtual ~StageView() = default;
    virtual void stageChanged(Stage stage) { (void)stage; }
    // The port was closed and the link is over: Stop, a device that went away, a phone switched
    // on after its download, an unknown flash. Told after the last stage of the link and before
    // the outcome of an operation it cut short; the stage alone does not say it, as a link whose
    // bring-up had ended is idle before and after.
    virtual void linkClosed() {}
};

// What the link learnt about the phone and the chosen images, each as it is learnt.
struct FlashNamed {
    std::string name;  // "Not Supported FLASH" for another part; empty: none known (START, Stop)
};
struct FirmwareSized {
    std::uint64_t bytes = 0;  // the firmware image about to be written
};
struct ImageSized {
    std::uint64_t bytes = 0;  // the file-system image about to be written
};
using LinkFact = std::variant<FlashNamed, FirmwareSized, ImageSized>;

class FactView {
  public:
    virtual ~FactView() = default;
    virtual void heard(const LinkFact& fact) { (void)fact; }
};

// The questions only an operation on the phone asks, before its first byte.
class OperationQuestions {
  public:
    virtual ~OperationQuestions() = default;

    // Runs the sector selection over the active map; the flags are cleared by the caller and
    // changed in place. True when accepted with START; false where nothing can ask.
    virtual bool selectSectors(const SectorMap& map, std::vector<std::int32_t>& sectorSelected) {
        (void)map;
        (void)sectorSelected;
        return false;
    }

    // The .cfg's names are not valid in the code page in use but are all valid in codePage:
    // asks the question and, on yes, the front end uses codePage from now on (the engine uses
    // it for the running request). False where nothing can ask.
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
                       public FactView,
                       public OperationQuestions {};

}  // namespace zrk
