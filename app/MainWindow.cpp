#include "app/MainWindow.h"

#include <QScrollBar>
#include <QShortcut>
#include <limits>

#include "app/AboutDialog.h"
#include "app/DialogUnits.h"
#include "app/EnabledControls.h"
#include "app/ExplorerLaunch.h"
#include "app/LinkPump.h"
#include "app/LogPane.h"
#include "app/PortList.h"
#include "app/Prompter.h"
#include "app/Resources.h"
#include "app/SettingsStore.h"
#include "app/dialogs/SectorSelectDialog.h"
#include "app/dialogs/StationWindow.h"
#include "bringup/BringUp.h"
#include "engine/LineSpeeds.h"
#include "engine/OpenFailureText.h"
#include "engine/SafeText.h"
#include "engine/SilenceWatch.h"
#include "filesystem/NotFirmware.h"
#include "protocol/ProtocolEngine.h"
#include "serial/PortDoctor.h"
#include "serial/PortMap.h"
#include "serial/SerialLink.h"
#include "ui_MainWindow.h"

namespace zrk {
namespace {

constexpr int kSpeedCount = static_cast<int>(kLineSpeeds.size());

// Group captions sit on the frame line, as the layout was drawn; the borderless size fields
// show the window's background, as labels do.
constexpr const char* kWindowStyle =
    "QGroupBox { border: 1px solid palette(mid); border-radius: 2px; margin-top: 0.6em; }"
    "QGroupBox::title { subcontrol-origin: margin; subcontrol-position: top left;"
    " left: 6px; padding: 0px 1px; }"
    "QLineEdit[frame=\"false\"] { background: transparent; }";
constexpr int kPortCount = PortMap::kLastPort - PortMap::kFirstPort + 1;

QString fromStd(const std::string& text) {
    return QString::fromStdString(text);
}

}  // namespace

MainWindow::MainWindow(SerialLink& link, SettingsStore& settings, Prompter& prompter,
                       QWidget* parent)
    : QDialog(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint),
      m_Ui(std::make_unique<Ui::MainWindow>()),
      m_Link(link),
      m_Settings(settings),
      m_Prompter(prompter) {
    // The controls, with the bound values as constructed (no selections, nothing checked).
    m_Ui->setupUi(this);
    controls::nameForScreenReaders(*m_Ui);
    setFont(sansFont());
    setStyleSheet(QString::fromLatin1(kWindowStyle));
    applyDialogUnits(this);
    m_Pump = std::make_unique<LinkPump>(m_Link);
    m_Log = std::make_unique<LogPane>(*m_Ui->logView, *m_Ui->progressBar);
    m_PortList = new PortList(*m_Ui->portList, *m_Ui->mapButton, portMap(), m_Settings, m_Prompter,
                              *m_Pump, *this);
    m_Ui->logView->document()->setMaximumBlockCount(0);  // the log grows without limit
    pushBound();

    ensureResources();
    setWindowIcon(QIcon(QStringLiteral(":/zrk410/icons/zrk410.png")));

    // The engine becomes the link's handler; the pump already carries the news to it.
    m_Engine = std::make_unique<ProtocolEngine>(m_Link, *this);

    m_DownloadMode = static_cast<int>(DownloadMode::ModeBin);
    m_PowerOnAfterDownload = 0;
    // Kept between runs: a service desk that reads back every download wants it every time.
    m_VerifyAfterDownload = m_Settings.readInt(QStringLiteral("VerifyAfterDownload")) != 0;
    m_UseStartNorAddress = 0;
    m_AutoDownload = 0;

    const auto note = [this](const std::string& text) { appendNote(text); };
    m_Images = std::make_unique<ImageFiles>(
        *m_Ui, m_Settings, m_Prompter, *m_Pump, *this,
        ImageFiles::Hooks{
            [this](const std::string& text, MessageIcon icon) { messageBox(text, icon); }, note,
            [this] { m_Engine->imageUnreadable(); }});
    m_Images->loadStored();
    m_CodePage =
        std::make_unique<CodePageChoice>(*m_Ui, m_Settings, m_Prompter, *m_Pump, *this, note);
    m_CodePage->show();
    m_TraceAndReport =
        std::make_unique<TraceAndReport>(*m_Ui->logView, m_Link, m_Prompter, *m_Pump, *this, note);

    controls::showUnconnected(*m_Ui);

    setLogText(kWelcomeText);

    // A stored index outside its list would leave the list without a selection and START
    // without a port; it falls back to the first entry instead.
    m_PortIndex = m_Settings.readInt(QStringLiteral("COM"));
    if (m_PortIndex < 0 || m_PortIndex >= kPortCount)
        m_PortIndex = 0;
    m_SpeedIndex = m_Settings.readInt(QStringLiteral("SPEED"));
    if (m_SpeedIndex < 0 || m_SpeedIndex >= kSpeedCount)
        m_SpeedIndex = 0;

    pushBound();
    m_PortList->updateToolTips();

    // The sector map is built with the engine and stays inactive until the flash is known;
    // no sector is selected.
    std::fill(m_Engine->context().sectorSelected.begin(), m_Engine->context().sectorSelected.end(),
              0);

    m_BaudTimer.setSingleShot(true);
    // A coarse timer may fire up to 5% early, and even a precise one rounds to milliseconds:
    // the phone needs the whole pause to switch its speed.
    m_BaudTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_BaudTimer, &QTimer::timeout, this, [this] {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(
            m_BaudDue - std::chrono::steady_clock::now());
        if (left.count() > 0) {
            m_BaudTimer.start(static_cast<int>(left.count()));
            return;
        }
        m_Pump->runWhenFree([this] {
            // Stopped while a prompt held the tick back: the tick is void.
            if (m_Engine->baudTimerRunning())
                m_Engine->onBaudTimer();
        });
    });

    m_NoAnswerTimer.setSingleShot(true);
    connect(&m_NoAnswerTimer, &QTimer::timeout, this, &MainWindow::hintNoAnswer);
    // Only a reply the engine accepted shows a phone is there: noise on the line (a floating
    // input, another device) does not, so the hint still comes.
    m_Pump->setDataObserver([this] {
        if (m_Link.repliesAccepted() == m_RepliesAtHint)
            return;
        m_RepliesAtHint = m_Link.repliesAccepted();
        if (m_NoAnswerTimer.isActive())
            m_NoAnswerTimer.start(m_NoAnswerHintDelayMs);
    });

    // User actions only: pushing the bound values must not count as a change.
    connect(m_Ui->portList, &QComboBox::activated, this, &MainWindow::onPortChanged);
    connect(m_Ui->speedList, &QComboBox::activated, this, &MainWindow::onSpeedChanged);

    m_Ui->qixPathField->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_Ui->qixPathField, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { m_CodePage->showMenu(m_Ui->qixPathField, at); });
    m_Ui->qixButton->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_Ui->qixButton, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { m_CodePage->showMenu(m_Ui->qixButton, at); });
    connect(m_Ui->codePageButton, &QPushButton::clicked, this, &MainWindow::chooseCodePage);
    m_Ui->logView->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_Ui->logView, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { m_TraceAndReport->showMenu(at); });
    m_TraceAndReport->addMenuEntry(tr("Station..."), [this] { openStation(); });
    connect(new QShortcut(QKeySequence(tr("Ctrl+Shift+S")), this), &QShortcut::activated, this,
            [this] { openStation(); });

    connect(m_Ui->startButton, &QPushButton::clicked, this, &MainWindow::onStart);
    connect(m_Ui->stopButton, &QPushButton::clicked, this, &MainWindow::onStop);
    connect(m_Ui->exitButton, &QPushButton::clicked, this, &MainWindow::reject);
    connect(m_Ui->aboutButton, &QPushButton::clicked, this, &MainWindow::onAbout);
    connect(m_Ui->downloadButton, &QPushButton::clicked, this, [this] {
        if (firmwareChoiceConfirmed())
            m_Engine->download();
    });
    connect(m_Ui->eraseButton, &QPushButton::clicked, this, [this] { m_Engine->erase(); });
    connect(m_Ui->dumpButton, &QPushButton::clicked, this, [this] { m_Engine->dump(); });
    connect(m_Ui->formatButton, &QPushButton::clicked, this, [this] { m_Engine->format(); });
    connect(m_Ui->explorerButton, &QPushButton::clicked, this, &MainWindow::openExplorer);
    connect(m_Ui->statusButton, &QPushButton::clicked, this, [this] { m_Engine->status(); });
    connect(m_Ui->autoDownloadBox, &QCheckBox::clicked, this, &MainWindow::onAutoDownload);
    connect(m_Ui->powerOnToggle, &QPushButton::clicked, this, &MainWindow::onPowerOn);
    connect(m_Ui->verifyBox, &QCheckBox::clicked, this, &MainWindow::onVerifyBox);
    connect(m_Ui->startAddressBox, &QCheckBox::clicked, this, &MainWindow::onStartAddressBox);
    connect(m_Ui->modeBinRadio, &QRadioButton::clicked, this, &MainWindow::applyDownloadMode);
    connect(m_Ui->modeQixRadio, &QRadioButton::clicked, this, &MainWindow::applyDownloadMode);
    connect(m_Ui->modeBinQixRadio, &QRadioButton::clicked, this, &MainWindow::applyDownloadMode);
    connect(m_Ui->binButton, &QPushButton::clicked, this,
            [this] { m_Images->pick(ImageFiles::Row::Firmware); });
    connect(m_Ui->qixButton, &QPushButton::clicked, this,
            [this] { m_Images->pick(ImageFiles::Row::FileSystem); });
    connect(m_Ui->binCrcButton, &QPushButton::clicked, this,
            [this] { m_Images->showChecksum(ImageFiles::Row::Firmware); });
    connect(m_Ui->qixCrcButton, &QPushButton::clicked, this,
            [this] { m_Images->showChecksum(ImageFiles::Row::FileSystem); });

    // The keyboard focus is left to the first control.
}

MainWindow::~MainWindow() {
    m_Recording = false;
    m_BaudTimer.stop();
    // The engine closes an open port, which joins the watcher; only then may the pump the
    // watcher posts to go.
    m_Engine.reset();
    m_Pump.reset();
}

const std::string& MainWindow::logText() const {
    return m_Log->text();
}

// ---- the port list -------------------------------------------------------------------------

void MainWindow::editPortDevice(int portNumber) {
    m_PortList->editDevice(portNumber);
}

void MainWindow::useSimulator(const QString& device) {
    m_PortList->useDevice(device);
    m_PortIndex = 0;
    appendLog("\r\n\r\n** COM1 is the phone simulator at " + device.toStdString() + "\r\n");
}

// ---- the code page, the trace and the report ------------------------------------------------

bool MainWindow::offerCodePage(const std::string& question, const std::string& codePage) {
    // Not destructive: Yes only changes how the names are read, and the answer is kept.
    if (!askYesNo(question))
        return false;
    m_CodePage->store(codePage);
    return true;
}

StationWindow& MainWindow::openStation() {
    if (!m_Station)
        m_Station = new StationWindow(m_Settings, m_Prompter, this);
    m_Station->show();
    m_Station->raise();
    m_Station->activateWindow();
    return *m_Station;
}

void MainWindow::operationEnded(const OperationOutcome& outcome) {
    m_NoAnswerTimer.stop();
    // Every control but Stop and Exit stays locked now; without a word nobody knows why.
    if (outcome.kind == OutcomeKind::Abandoned) {
        appendNote("Press Stop to start again.\r\n");
    }
    if (m_Recording && m_Engine) {
        const int port = m_PortIndex + 1;
        report::SessionRecord::Where where{PortMap::portName(port), portMap().device(port),
                                           m_Ui->flashNameField->text().toStdString(),
                                           m_Engine->context().flashId};
        m_TraceAndReport->record(outcome, choices(), m_Engine->context().sectorSelected, where);
    }
    m_TraceAndReport->noteTraceLoss();
}

// ---- bound values and control states -------------------------------------------------------

void MainWindow::readBack() {
    m_PortIndex = m_Ui->portList->currentIndex();
    m_SpeedIndex = m_Ui->speedList->currentIndex();
    if (m_Ui->modeBinRadio->isChecked())
        m_DownloadMode = static_cast<int>(DownloadMode::ModeBin);
    else if (m_Ui->modeQixRadio->isChecked())
        m_DownloadMode = static_cast<int>(DownloadMode::ModeQix);
    else if (m_Ui->modeBinQixRadio->isChecked())
        m_DownloadMode = static_cast<int>(DownloadMode::ModeBinAndQix);
    else
        m_DownloadMode = -1;
    m_PowerOnAfterDownload = m_Ui->powerOnToggle->isChecked() ? 1 : 0;
    m_VerifyAfterDownload = m_Ui->verifyBox->isChecked() ? 1 : 0;
    m_AutoDownload = m_Ui->autoDownloadBox->isChecked() ? 1 : 0;
}

void MainWindow::pushBound() {
    m_Ui->portList->setCurrentIndex(m_PortIndex);
    m_Ui->speedList->setCurrentIndex(m_SpeedIndex);
    // Radios are exclusive: with none to check, the group is emptied by lifting exclusivity.
    const std::array radios{m_Ui->modeBinRadio, m_Ui->modeQixRadio, m_Ui->modeBinQixRadio};
    for (int i = 0; i < 3; ++i) {
        radios[i]->setAutoExclusive(false);
        radios[i]->setChecked(i == m_DownloadMode);
        radios[i]->setAutoExclusive(true);
    }
    m_Ui->powerOnToggle->setChecked(m_PowerOnAfterDownload != 0);
    m_Ui->verifyBox->setChecked(m_VerifyAfterDownload != 0);
    m_Ui->autoDownloadBox->setChecked(m_AutoDownload != 0);
}

void MainWindow::showPortOpened() {
    controls::showPortOpened(*m_Ui);
}

void MainWindow::lockControls() {
    controls::lock(*m_Ui);
}

void MainWindow::finishOperation() {
    controls::finish(*m_Ui, m_DownloadMode, m_UseStartNorAddress != 0);
}

void MainWindow::showStopped() {
    controls::showStopped(*m_Ui, m_DownloadMode, m_UseStartNorAddress != 0);
}

UserChoices MainWindow::choices() {
    readBack();
    UserChoices c;
    c.portIndex = m_PortIndex;
    c.speedIndex = m_SpeedIndex;
    c.downloadMode = static_cast<DownloadMode>(m_DownloadMode);
    c.powerOnAfterDownload = m_PowerOnAfterDownload != 0;
    c.verifyAfterDownload = m_VerifyAfterDownload != 0;
    c.autoDownload = m_AutoDownload != 0;
    c.useStartNorAddress = m_UseStartNorAddress != 0;
    c.startAddressText = m_Ui->startAddressField->text().toStdString();
    c.binPath = m_Images->binPath().toStdString();
    c.qixPath = m_Images->qixPath().toStdString();
    c.cfgPath = m_Images->cfgPath().toStdString();
    // Where the .cfg files come from another system: "CodePage" in the settings (CP1252, ...).
    c.codePage = m_CodePage->stored();
    c.codePageControl = "the code page button beside the QIX path";
    return c;
}

// ---- handlers ------------------------------------------------------------------------------

void MainWindow::onPortChanged() {
    readBack();
    m_Settings.writeInt(QStringLiteral("COM"), m_PortIndex);
    m_PortList->updateToolTips();
}

void MainWindow::onSpeedChanged() {
    readBack();
    m_Settings.writeInt(QStringLiteral("SPEED"), m_SpeedIndex);
}

bool MainWindow::firmwareChoiceConfirmed() {
    if (m_DownloadMode != static_cast<int>(DownloadMode::ModeBin) &&
        m_DownloadMode != static_cast<int>(DownloadMode::ModeBinAndQix))
        return true;
    const std::string path = binPath().toStdString();
    const auto what = notFirmwareImage(path);
    if (!what)
        return true;
    PromptHold prompt(*m_Pump);
    return m_Prompter.askYesNo(
        this,
        fromStd(printableName(path) + " looks like " + *what +
                ", not a firmware image. Write it into the NOR flash anyway?"),
        DefaultAnswer::No);
}

void MainWindow::onStart() {
    // With the download starting by itself, its image is questioned before the phone is.
    if (m_AutoDownload == 1 && !firmwareChoiceConfirmed())
        return;
    m_Engine->start();
    m_RepliesAtHint = m_Link.repliesAccepted();
    if (m_Engine->stage() == Stage::WaitingForPhone)
        m_NoAnswerTimer.start(m_NoAnswerHintDelayMs);
}

bool MainWindow::mayInterrupt() {
    if (!m_Engine->context().writingToFlash())
        return true;
    // Not held like the protocol's prompts: the write goes on while the person reads, so a
    // phone that would time out a pause is not lost by asking. Should it finish meanwhile,
    // a Yes only closes the link.
    return m_Prompter.askYesNo(
        this, QStringLiteral("The phone's flash will be left incomplete. Stop anyway?"),
        DefaultAnswer::No);
}

void MainWindow::onStop() {
    if (!mayInterrupt())
        return;
    m_NoAnswerTimer.stop();
    m_Engine->stop();
}

void MainWindow::reject() {
    // The station's phones go with this window: they are asked about as the link's are.
    if (m_Station && !m_Station->mayInterrupt())
        return;
    if (!mayInterrupt())
        return;
    QDialog::reject();
}

void MainWindow::hintNoAnswer() {
    // The wait goes on: a phone switched on late still answers.
    if (!m_Link.isConnected() || m_Engine->stage() != Stage::WaitingForPhone)
        return;
    const int portNumber = m_PortIndex + 1;
    const std::string talking =
        talkingLineWords(PortMap::portName(portNumber) + " (" + portMap().device(portNumber) + ")",
                         m_Engine->bringUp().handshake().waitingLine().verdict());
    if (!talking.empty()) {
        appendNote("** " + talking + "\r\n");
        return;
    }
    appendNote("** Nothing received on " + PortMap::portName(portNumber) + " (" +
               portMap().device(portNumber) +
               ") yet: check the cable, switch the phone off and on again.\r\n");
}

void MainWindow::onAbout() {
    PromptHold prompt(*m_Pump);
    AboutDialog dialog(this);
    m_Prompter.runDialog(dialog);
}

void MainWindow::onAutoDownload() {
    m_AutoDownload = m_AutoDownload == 1 ? 0 : 1;
}

void MainWindow::onPowerOn() {
    readBack();
}

void MainWindow::onVerifyBox() {
    readBack();
    m_Settings.writeInt(QStringLiteral("VerifyAfterDownload"), m_VerifyAfterDownload);
}

void MainWindow::onStartAddressBox() {
    if (m_UseStartNorAddress) {
        m_UseStartNorAddress = 0;
        m_Ui->startAddressField->setEnabled(false);
    } else {
        m_Ui->startAddressField->setText(QStringLiteral("10000000"));
        m_Ui->startAddressField->setEnabled(true);
        m_UseStartNorAddress = 1;
    }
    m_Ui->startAddressBox->setChecked(m_UseStartNorAddress != 0);
}

void MainWindow::applyDownloadMode() {
    readBack();
    controls::applyModeRows(*m_Ui, m_DownloadMode, m_UseStartNorAddress != 0, false);
}

void MainWindow::openExplorer() {
    // The button is offered only on an identified phone with nothing running; the command line
    // and tests may still call this at another time.
    if (m_Engine->stage() != Stage::Ready)
        return;
    // "ExplorerTimeout": seconds without a reply before an explorer wait gives up, as the
    // command line's --timeout (0 waits for ever); absent or unreadable, the same default.
    bool given = false;
    const int stored = m_Settings.readString(QStringLiteral("ExplorerTimeout")).toInt(&given);
    const std::chrono::seconds silence =
        given && stored >= 0 ? std::chrono::seconds(stored) : kDefaultSilenceLimit;
    if (const std::string note =
            runExplorer(*this, *this, m_Link, *m_Pump, m_Prompter, choices(), silence);
        !note.empty())
        appendLog("\r\n" + note + "\r\n");
}

// ---- log and progress ----------------------------------------------------------------------

void MainWindow::appendLog(const std::string& text) {
    m_Log->appendLog(text);
}

void MainWindow::appendNote(const std::string& text) {
    m_Log->appendNote(text);
}

void MainWindow::setLogText(const std::string& text) {
    m_Log->setLogText(text);
}

void MainWindow::setProgressRange(std::uint32_t total) {
    m_Log->setProgressRange(total);
}

void MainWindow::setProgressUnit(ProgressUnit unit) {
    m_Log->setProgressUnit(unit);
}

void MainWindow::setProgressClock(std::function<std::chrono::steady_clock::time_point()> now) {
    m_Log->setClock(std::move(now));
}

void MainWindow::setProgressPos(std::uint32_t position) {
    m_Log->setProgressPos(position);
}

void MainWindow::setFlashName(const std::string& name) {
    m_Ui->flashNameField->setText(fromStd(name));
}

void MainWindow::setFirmwareSizeText(const std::string& text) {
    m_Ui->binSizeField->setText(fromStd(text));
}

void MainWindow::setImageSizeText(const std::string& text) {
    m_Ui->qixSizeField->setText(fromStd(text));
}

// ---- prompts -------------------------------------------------------------------------------

void MainWindow::messageBox(const std::string& text, MessageIcon icon) {
    QString detail;
    // The fixed text alone leaves the user guessing; the cause (missing device, no permission
    // and the dialout group, busy) goes underneath it.
    OpenFailure failure;
    std::vector<std::string> elsewhere;  // a missing device: what is there instead
    if (text == "Port Initialization Failed!") {
        failure = m_Link.lastOpenFailure();
        if (failure.kind != OpenFailure::Kind::None)
            detail = fromStd(describeOpenFailure(failure));
        if (failure.kind == OpenFailure::Kind::NotFound && m_PortIndex >= 0)
            elsewhere = m_PortList->missingDeviceHelp(m_PortIndex + 1);
        if (!elsewhere.empty())
            detail += QStringLiteral("\n");
        for (const std::string& line : elsewhere)
            detail += QStringLiteral("\n") + fromStd(line);
    }
    {
        PromptHold prompt(*m_Pump);
        m_Prompter.message(this, fromStd(text), icon, detail);
    }
    // The box says what; the log then says why in full and what to do, as zrk410 doctor does.
    if (failure.kind != OpenFailure::Kind::None && !failure.device.empty()) {
        std::string report;
        for (const std::string& line : portReport(failure.device))
            report += "   " + line + "\r\n";
        for (const std::string& line : elsewhere)
            report += (line.rfind(' ', 0) == 0 ? "" : "** ") + line + "\r\n";
        appendNote(report);
    }
}

bool MainWindow::askYesNo(const std::string& text) {
    PromptHold prompt(*m_Pump);
    // The protocol's questions confirm what cannot be undone ("Sure to FORMAT?").
    return m_Prompter.askYesNo(this, fromStd(text), DefaultAnswer::No);
}

std::string MainWindow::chooseSaveFile(const SaveFileRequest& request) {
    PromptHold prompt(*m_Pump);
    return m_Prompter.saveFile(this, saveDialogFor(request)).toStdString();
}

bool MainWindow::selectSectors(const SectorMap& map, std::vector<std::int32_t>& sectorSelected) {
    PromptHold prompt(*m_Pump);
    SectorSelectDialog dialog(map, sectorSelected, this);
    dialog.setWarning([this](QWidget* parent, const QString& text) {
        m_Prompter.message(parent, text, MessageIcon::Warning, {});
    });
    return m_Prompter.runDialog(dialog) == QDialog::Accepted;
}

void MainWindow::startBaudTimer(int milliseconds) {
    m_BaudDue = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    m_BaudTimer.start(milliseconds);
}

void MainWindow::stopBaudTimer() {
    m_BaudTimer.stop();
}

}  // namespace zrk
