#pragma once
// The seam between the protocol engine and a front end. The main window implements it with
// widgets, the command line with stdout/stderr and its flags, tests by recording. Everything
// here is called on the protocol thread (the window's UI thread, the command line's main
// thread). Prompts are part of it so that no test ever blocks on a real message box.
#include <cstdint>
#include <string>
#include <vector>

namespace zrk {

class SectorMap;

enum class DownloadMode { ModeBin = 0, ModeQix = 1, ModeBinAndQix = 2 };

enum class MessageIcon { None, Information, Warning, Error };

// The values bound to the window's controls, read back at the moment a step needs them.
struct UserChoices {
    int portIndex = 0;   // 0 = COM1 ... 19 = COM20; -1 when the list has no selection
    int speedIndex = 0;  // 0 = 115200 ... 3 = 921600; -1 when the list has no selection
    DownloadMode downloadMode = DownloadMode::ModeBin;
    bool powerOnAfterDownload = false;
    bool autoDownload = false;
    bool useStartNorAddress = false;
    std::string startAddressText;  // the start address field's text
    std::string binPath;
    std::string qixPath;
    std::string cfgPath;
};

// A save-file dialog as the protocol describes it: default extension (".hex") and a filter in
// the "Text (*.x)|*.x|All Files (*.*)|*.*||" form. The front end converts the filter.
struct SaveFileRequest {
    std::string defaultExtension;
    std::string filter;
};

class DownloaderView {
  public:
    virtual ~DownloaderView() = default;

    // Log and progress.
    virtual void appendLog(const std::string& text) = 0;
    virtual void setLogText(const std::string& text) = 0;
    virtual void setProgressRange(std::uint32_t total) = 0;
    virtual void setProgressPos(std::uint32_t position) = 0;

    // Display fields.
    virtual void setFlashName(const std::string& name) = 0;
    virtual void setFirmwareSizeText(const std::string& text) = 0;
    virtual void setImageSizeText(const std::string& text) = 0;

    // Control states. START: port and speed lists, START and the auto-download box disabled,
    // Stop enabled (lockControls follows separately).
    virtual void showPortOpened() = 0;
    virtual void lockControls() = 0;
    // The controls part of finishing an operation (the engine does the state and the files).
    virtual void finishOperation() = 0;
    // The controls part of Stop: START and the lists enabled, finishOperation's controls, then
    // the operation buttons, power-on, start address box and field disabled, auto-download on.
    virtual void showStopped() = 0;

    // Prompts.
    virtual void messageBox(const std::string& text, MessageIcon icon) = 0;
    virtual bool askYesNo(const std::string& text) = 0;
    // Empty when cancelled.
    virtual std::string chooseSaveFile(const SaveFileRequest& request) = 0;
    // Runs the sector selection over the active map; the flags are cleared by the caller and
    // changed in place. True when accepted with START.
    virtual bool selectSectors(const SectorMap& map, std::vector<std::int32_t>& sectorSelected) = 0;

    // The baud-switch timer: after the given delay the front end calls
    // ProtocolEngine::onBaudTimer once (single shot).
    virtual void startBaudTimer(int milliseconds) = 0;
    virtual void stopBaudTimer() = 0;

    virtual UserChoices choices() = 0;
};

}  // namespace zrk
