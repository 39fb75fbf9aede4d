#pragma once
// The program's one top-level window. It owns the protocol engine and is its view: the engine
// logs, drives the progress bar, tells its stage, outcomes and facts and asks its questions
// through the DownloaderView calls below, and the window sets its controls from that news; the
// buttons call the engine with the window's choices. The link's news reach the engine
// through the window's link pump, on the UI thread. Its other jobs have rooms of their own: the
// image rows (ImageFiles), the code page (CodePageChoice), the log menu's trace and report
// (TraceAndReport), the control states (EnabledControls), the port list (PortList), the values
// bound to the controls (BoundChoices), the buttons that set the engine to work
// (OperationButtons), the engine's boxes and questions (WindowPrompts), the speed switch's
// pause (BaudPause), the hint when no phone answers (NoAnswerHint) and the words about a port
// that did not open (PortOpenFailureNotice).
#include <QDialog>
#include <QString>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "app/BaudPause.h"
#include "app/CodePageChoice.h"
#include "app/ImageFiles.h"
#include "app/LogPane.h"
#include "app/NoAnswerHint.h"
#include "app/TraceAndReport.h"
#include "app/WindowPrompts.h"
#include "engine/DownloaderView.h"
#include "engine/FrameTurns.h"
#include "report/SessionRecord.h"

namespace Ui {
class MainWindow;
}

namespace zrk {

class BoundChoices;
class LinkPump;
class OperationButtons;
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
    const std::string& logText() const { return m_Log->text(); }
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
    void setProgressClock(std::function<std::chrono::steady_clock::time_point()> now) {
        m_Log->setClock(std::move(now));
    }

    // How long START waits for a first byte before the log suggests checking the phone.
    void setNoAnswerHintDelay(int milliseconds) { m_NoAnswerHint->setDelay(milliseconds); }

    // DownloaderView
    void appendLog(std::string_view text) override { m_Log->appendLog(text); }
    void setLogText(const std::string& text) override { m_Log->setLogText(text); }
    void setProgressRange(std::uint32_t total) override { m_Log->setProgressRange(total); }
    void setProgressUnit(ProgressUnit unit) override { m_Log->setProgressUnit(unit); }
    void setProgressPos(std::uint32_t position) override { m_Log->setProgressPos(position); }
    void heard(const LinkFact& fact) override;
    void stageChanged(Stage stage) override;
    void linkClosed() override;
    void operationEnded(const OperationOutcome& outcome) override;
    void messageBox(const std::string& text, MessageIcon icon) override;
    bool askYesNo(const std::string& text) override { return m_Prompts->askYesNo(text); }
    std::string chooseSaveFile(const SaveFileRequest& request) override {
        return m_Prompts->chooseSaveFile(request);
    }
    bool selectSectors(const SectorMap& map, std::vector<std::int32_t>& sectorSelected) override {
        return m_Prompts->selectSectors(map, sectorSelected);
    }
    void startBaudTimer(int milliseconds) override { m_BaudPause->start(milliseconds); }
    void stopBaudTimer() override { m_BaudPause->stop(); }

    // What the controls say now, as a button hands it to the engine.
    UserChoices choices();

  private:
    // The window's own lines, each on a line of its own.
    void appendNote(const std::string& text) { m_Log->appendNote(text); }
    void follow(std::optional<FrameTurn> turn);

    std::unique_ptr<Ui::MainWindow> m_Ui;
    SerialLink& m_Link;
    SettingsStore& m_Settings;
    Prompter& m_Prompter;
    std::unique_ptr<LinkPump> m_Pump;
    std::unique_ptr<LogPane> m_Log;
    std::unique_ptr<WindowPrompts> m_Prompts;
    PortList* m_PortList = nullptr;  // a child of the window
    std::unique_ptr<BoundChoices> m_Choices;
    std::unique_ptr<ProtocolEngine> m_Engine;
    std::unique_ptr<BaudPause> m_BaudPause;
    std::unique_ptr<NoAnswerHint> m_NoAnswerHint;
    std::unique_ptr<OperationButtons> m_Operations;
    FrameTurns m_Turns;

    // The rooms of the window's other jobs.
    std::unique_ptr<ImageFiles> m_Images;
    std::unique_ptr<CodePageChoice> m_CodePage;
    std::unique_ptr<TraceAndReport> m_TraceAndReport;
    bool m_Recording = true;             // not while the window goes
    StationWindow* m_Station = nullptr;  // a child of the window, once opened
};

}  // namespace zrk
