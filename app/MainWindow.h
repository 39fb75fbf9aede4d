#pragma once
// The program's one top-level window. It owns the protocol engine and is its view: the engine
// logs, drives the progress bar, changes the control states and asks its questions through the
// DownloaderView calls below; the buttons call the engine. The link's news reach the engine
// through the window's link pump, on the UI thread. Its other jobs have rooms of their own: the
// image rows (ImageFiles), the code page (CodePageChoice), the log menu's trace and report
// (TraceAndReport), the control states (EnabledControls), the port list (PortList).
#include <QDialog>
#include <QString>
#include <QTimer>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "app/CodePageChoice.h"
#include "app/ImageFiles.h"
#include "app/TraceAndReport.h"
#include "engine/DownloaderView.h"
#include "report/SessionRecord.h"

namespace Ui {
class MainWindow;
}

namespace zrk {

class LinkPump;
class LogPane;
class PortList;
class Prompter;
class ProtocolEngine;
class SerialLink;
class SettingsStore;
class StationWindow;

class MainWindow : public QDialog, public DownloaderView {
    Q_OBJECT
  public:
    static constexpr const char* kWelcomeText =
        "Welcome to ZR-K410 Downloader!!\r\n\r\nPress 'START' button to identify the FLASH ID...";

    MainWindow(SerialLink& link, SettingsStore& settings, Prompter& prompter,
               QWidget* parent = nullptr);
    ~MainWindow() override;

    ProtocolEngine& engine() { return *m_Engine; }
    // The log exactly as written, with its own line ends (the pane shows them normalised).
    const std::string& logText() const;
    // The link's news pass through here; the explorer holds it around its prompts too.
    LinkPump& linkPump() { return *m_Pump; }
    QString binPath() const { return m_Images->binPath(); }
    QString qixPath() const { return m_Images->qixPath(); }
    QString cfgPath() const { return m_Images->cfgPath(); }

    // COM1 is the phone simulator for this run: the map points there and the list selects
    // COM1, neither of them stored.
    void useSimulator(const QString& device);
    // Asks for the device COMn stands for and stores it; empty restores the default.
    void editPortDevice(int portNumber);

    // Starts (a path) or ends (empty) the hex trace of every byte on the link; false when the
    // trace file cannot be written. Offered in the log pane's menu while the link is closed.
    using TraceControl = TraceAndReport::TraceControl;
    void setTraceControl(TraceControl control) {
        m_TraceAndReport->setTraceControl(std::move(control));
    }
    // Why the trace lost text (errno), or 0: told once in the log when an operation ends.
    void setTraceErrorSource(std::function<int()> source) {
        m_TraceAndReport->setTraceErrorSource(std::move(source));
    }
    void chooseTraceFile() { m_TraceAndReport->chooseTraceFile(); }
    // Asks for the code page of the .cfg names (empty: the locale's) and stores it, refusing a
    // name this system cannot convert.
    void chooseCodePage() { m_CodePage->choose(); }
    // DownloaderView: the question, then the code page stored and shown.
    bool offerCodePage(const std::string& question, const std::string& codePage) override;
    void stopTrace() { m_TraceAndReport->stopTrace(); }
    const QString& tracePath() const { return m_TraceAndReport->tracePath(); }
    // The log pane's "Save report...": the run report of the window's last phones, as JSON.
    void saveReport() { m_TraceAndReport->saveReport(); }
    const report::SessionRecord& session() const { return m_TraceAndReport->session(); }

    // The production station (the log pane's "Station..." and Ctrl+Shift+S): made on first use
    // and kept, so that its tiles survive being closed and opened again.
    StationWindow& openStation();

    // Exit, Esc and the window's close all come here; during a write to the flash they ask
    // first.
    void reject() override;

    // The time the progress bar's rate is measured by (pictures and tests set their own).
    void setProgressClock(std::function<std::chrono::steady_clock::time_point()> now);

    // How long START waits for a first byte before the log suggests checking the phone.
    void setNoAnswerHintDelay(int milliseconds) { m_NoAnswerHintDelayMs = milliseconds; }

    // DownloaderView
    void appendLog(const std::string& text) override;
    void setLogText(const std::string& text) override;
    void setProgressRange(std::uint32_t total) override;
    void setProgressUnit(ProgressUnit unit) override;
    void setProgressPos(std::uint32_t position) override;
    void setFlashName(const std::string& name) override;
    void setFirmwareSizeText(const std::string& text) override;
    void setImageSizeText(const std::string& text) override;
    void showPortOpened() override;
    void lockControls() override;
    void finishOperation() override;
    void showStopped() override;
    void operationEnded(const OperationOutcome& outcome) override;
    void messageBox(const std::string& text, MessageIcon icon) override;
    bool askYesNo(const std::string& text) override;
    std::string chooseSaveFile(const SaveFileRequest& request) override;
    bool selectSectors(const SectorMap& map, std::vector<std::int32_t>& sectorSelected) override;
    void startBaudTimer(int milliseconds) override;
    void stopBaudTimer() override;
    UserChoices choices() override;

  private:
    void readBack();
    void pushBound();

    void onPortChanged();
    void onSpeedChanged();
    void onStart();
    void onStop();
    void hintNoAnswer();
    // A BIN image whose content is plainly no firmware is written only when the user says so.
    bool firmwareChoiceConfirmed();
    // False when an operation writes to the flash and the person chose to let it finish.
    bool mayInterrupt();
    void onAbout();
    void onAutoDownload();
    void onPowerOn();
    void onVerifyBox();
    void onStartAddressBox();
    void applyDownloadMode();
    void openExplorer();
    // The window's own lines, each on a line of its own.
    void appendNote(const std::string& text);

    std::unique_ptr<Ui::MainWindow> m_Ui;
    SerialLink& m_Link;
    SettingsStore& m_Settings;
    Prompter& m_Prompter;
    std::unique_ptr<LinkPump> m_Pump;
    std::unique_ptr<LogPane> m_Log;
    PortList* m_PortList = nullptr;  // a child of the window
    std::unique_ptr<ProtocolEngine> m_Engine;
    QTimer m_BaudTimer;
    // The port stays closed at least this long; a tick before it only re-arms the timer.
    std::chrono::steady_clock::time_point m_BaudDue;
    QTimer m_NoAnswerTimer;
    int m_NoAnswerHintDelayMs = 15000;
    std::uint64_t m_RepliesAtHint = 0;  // the link's accepted replies when the hint was set

    // Values bound to controls (read back and pushed all together).
    int m_PortIndex = -1;
    int m_SpeedIndex = -1;
    int m_DownloadMode = -1;
    int m_PowerOnAfterDownload = 0;
    int m_VerifyAfterDownload = 0;  // settings key "VerifyAfterDownload"
    int m_AutoDownload = 0;
    int m_UseStartNorAddress = 0;

    // The rooms of the window's other jobs.
    std::unique_ptr<ImageFiles> m_Images;
    std::unique_ptr<CodePageChoice> m_CodePage;
    std::unique_ptr<TraceAndReport> m_TraceAndReport;
    bool m_Recording = true;             // not while the window goes
    StationWindow* m_Station = nullptr;  // a child of the window, once opened
};

}  // namespace zrk
