#include "app/MainWindow.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QMenu>
#include <QScrollBar>
#include <QShortcut>
#include <cstring>
#include <limits>

#include "app/AboutDialog.h"
#include "app/DialogUnits.h"
#include "app/LinkPump.h"
#include "app/LogPane.h"
#include "app/PortList.h"
#include "app/Prompter.h"
#include "app/Resources.h"
#include "app/SettingsStore.h"
#include "app/dialogs/StationWindow.h"
#include "engine/Checksums.h"
#include "engine/LineSpeeds.h"
#include "engine/OpenFailureText.h"
#include "filesystem/CodePage.h"
#include "filesystem/dialog/FsExplorerDialog.h"
#include "filesystem/explorer/ExplorerEngine.h"
#include "loader/dialog/SectorSelectDialog.h"
#include "protocol/ProtocolEngine.h"
#include "report/ReportJson.h"
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

// Size fields show the length as a decimal; a file the size of which cannot be had shows
// nothing new, and whyNot (if given) gets the reason in the system's words for the log.
// Only a readable regular file has one; opening a FIFO to ask would wait for a writer.
std::optional<qint64> lengthOf(const QString& path, std::string* whyNot = nullptr) {
    auto refuse = [whyNot](std::string reason) -> std::optional<qint64> {
        if (whyNot)
            *whyNot = std::move(reason);
        return std::nullopt;
    };
    if (path.isEmpty())
        return refuse("no file is chosen");
    struct stat info {};
    const QByteArray native = QFile::encodeName(path);
    if (::stat(native.constData(), &info) != 0)
        return refuse(std::strerror(errno));
    if (S_ISDIR(info.st_mode))
        return refuse("it is a folder");
    if (!S_ISREG(info.st_mode))
        return refuse("it is not a regular file");
    if (::access(native.constData(), R_OK) != 0)
        return refuse(std::strerror(errno));
    return static_cast<qint64>(info.st_size);
}

// A screen reader (or a tool driving the window) finds each field by its name, not by where
// it stands; the two size fields also get their "Size :" labels as buddies.
void nameControls(Ui::MainWindow& ui) {
    const std::pair<QWidget*, const char*> names[] = {
        {ui.portList, "Serial port"},
        {ui.speedList, "Speed"},
        {ui.flashNameField, "Flash ID"},
        {ui.startAddressField, "Start NOR address (hex)"},
        {ui.binPathField, "Firmware image"},
        {ui.binCrcField, "Firmware image CRC"},
        {ui.binSizeField, "Firmware image size"},
        {ui.qixPathField, "File-system image"},
        {ui.qixCrcField, "File-system image CRC"},
        {ui.qixSizeField, "File-system image size"},
        {ui.progressBar, "Progress"},
        {ui.logView, "Log"},
    };
    for (const auto& [widget, name] : names)
        widget->setAccessibleName(QString::fromLatin1(name));
    ui.binCrcButton->setAccessibleDescription(QStringLiteral("CRC of the firmware image"));
    ui.qixCrcButton->setAccessibleDescription(QStringLiteral("CRC of the file-system image"));
    ui.binSizeLabel->setBuddy(ui.binSizeField);
    ui.qixSizeLabel->setBuddy(ui.qixSizeField);
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
    nameControls(*m_Ui);
    setFont(sansFont());
    setStyleSheet(QString::fromLatin1(kWindowStyle));
    applyDialogUnits(this);
    m_Pump = std::make_unique<LinkPump>(m_Link);
    m_Log = std::make_unique<LogPane>(*m_Ui->logView, *m_Ui->progressBar);
    m_PortList = new PortList(*m_Ui->portList, portMap(), m_Settings, m_Prompter, *m_Pump, *this);
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

    // The stored paths with the sizes of their files as they are now; checksums start empty,
    // and a file that went away leaves its size empty without a complaint.
    m_BinPath = m_Settings.readString(QStringLiteral("BinPath"));
    m_QixPath = m_Settings.readString(QStringLiteral("VavPath"));
    m_Ui->binPathField->setText(m_BinPath);
    m_Ui->qixPathField->setText(m_QixPath);
    if (const auto length = lengthOf(m_BinPath))
        m_Ui->binSizeField->setText(QString::number(*length));
    if (const auto length = lengthOf(m_QixPath))
        m_Ui->qixSizeField->setText(QString::number(*length));
    m_CfgPath = deriveCfgPath(m_QixPath);
    showCodePage();

    // Nothing can be done on a phone yet.
    setOperationButtonsEnabled(false);
    m_Ui->stopButton->setEnabled(false);
    m_Ui->qixPathField->setEnabled(false);
    m_Ui->qixButton->setEnabled(false);
    m_Ui->codePageButton->setEnabled(false);
    m_Ui->startAddressBox->setEnabled(false);
    m_Ui->startAddressField->setEnabled(false);

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
    m_Pump->setDataObserver([this] { m_NoAnswerTimer.stop(); });

    // User actions only: pushing the bound values must not count as a change.
    connect(m_Ui->portList, &QComboBox::activated, this, &MainWindow::onPortChanged);
    connect(m_Ui->speedList, &QComboBox::activated, this, &MainWindow::onSpeedChanged);

    m_Ui->qixPathField->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_Ui->qixPathField, &QWidget::customContextMenuRequested, this,
            &MainWindow::showQixMenu);
    m_Ui->qixButton->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_Ui->qixButton, &QWidget::customContextMenuRequested, this, &MainWindow::showQixMenu);
    connect(m_Ui->codePageButton, &QPushButton::clicked, this, &MainWindow::chooseCodePage);
    m_Ui->logView->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_Ui->logView, &QWidget::customContextMenuRequested, this, &MainWindow::showLogMenu);
    connect(new QShortcut(QKeySequence(tr("Ctrl+Shift+S")), this), &QShortcut::activated, this,
            [this] { openStation(); });

    connect(m_Ui->startButton, &QPushButton::clicked, this, &MainWindow::onStart);
    connect(m_Ui->stopButton, &QPushButton::clicked, this, &MainWindow::onStop);
    connect(m_Ui->exitButton, &QPushButton::clicked, this, &MainWindow::reject);
    connect(m_Ui->aboutButton, &QPushButton::clicked, this, &MainWindow::onAbout);
    connect(m_Ui->downloadButton, &QPushButton::clicked, this, [this] { m_Engine->download(); });
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
    connect(m_Ui->binButton, &QPushButton::clicked, this, &MainWindow::pickBinFile);
    connect(m_Ui->qixButton, &QPushButton::clicked, this, &MainWindow::pickQixFile);
    connect(m_Ui->binCrcButton, &QPushButton::clicked, this, [this] { showChecksum(false); });
    connect(m_Ui->qixCrcButton, &QPushButton::clicked, this, [this] { showChecksum(true); });

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

// ---- the code page of the .cfg names ------------------------------------------------------

void MainWindow::showQixMenu(const QPoint& position) {
    auto* source = qobject_cast<QWidget*>(sender());
    QMenu menu(this);
    menu.addAction(tr("Code page of the .cfg names..."), this, &MainWindow::chooseCodePage);
    menu.exec((source ? source : m_Ui->qixPathField)->mapToGlobal(position));
}

void MainWindow::chooseCodePage() {
    PromptHold prompt(*m_Pump);
    const QString locale = QString::fromStdString(localeCodePageName());
    const auto answer = m_Prompter.askText(
        this, tr("Code page"),
        tr("Code page the .cfg file's names are written in, such as CP1252 or CP949\n(empty for "
           "this system's %1):")
            .arg(locale),
        m_Settings.readString(QStringLiteral("CodePage")));
    if (!answer)
        return;
    const QString name = answer->trimmed();
    std::string error;
    if (!name.isEmpty() && !CodePage::open(name.toStdString(), &error)) {
        m_Prompter.message(this, tr("This system cannot convert that code page."),
                           MessageIcon::Warning, QString::fromStdString(error));
        return;
    }
    m_Settings.writeString(QStringLiteral("CodePage"), name);
    showCodePage();
    appendNote("** Names in .cfg files are read as " +
               (name.isEmpty() ? locale : name).toStdString() + "\r\n");
}

bool MainWindow::offerCodePage(const std::string& question, const std::string& codePage) {
    // Not destructive: Yes only changes how the names are read, and the answer is kept.
    if (!askYesNo(question))
        return false;
    m_Settings.writeString(QStringLiteral("CodePage"), QString::fromStdString(codePage));
    showCodePage();
    return true;
}

void MainWindow::showCodePage() {
    const QString stored = m_Settings.readString(QStringLiteral("CodePage"));
    const QString name = stored.isEmpty() ? QString::fromStdString(localeCodePageName()) : stored;
    m_Ui->codePageButton->setText(name);
    m_Ui->codePageButton->setToolTip(
        (stored.isEmpty() ? tr("Code page of the .cfg names: %1, this system's")
                          : tr("Code page of the .cfg names: %1"))
            .arg(name) +
        tr("\nClick to choose the one the .cfg files were written in"));
}

// ---- the link trace ------------------------------------------------------------------------

void MainWindow::showLogMenu(const QPoint& position) {
    std::unique_ptr<QMenu> menu(m_Ui->logView->createStandardContextMenu());
    if (m_TraceControl) {
        menu->addSeparator();
        QAction* start =
            menu->addAction(tr("Trace the link to a file..."), this, &MainWindow::chooseTraceFile);
        QAction* stop = menu->addAction(tr("Stop tracing"), this, &MainWindow::stopTrace);
        start->setEnabled(!m_Link.isConnected());
        stop->setEnabled(!m_Link.isConnected() && !m_TracePath.isEmpty());
    }
    menu->addSeparator();
    menu->addAction(tr("Save report..."), this, &MainWindow::saveReport)
        ->setEnabled(!m_Session.empty());
    menu->addAction(tr("Station..."), this, [this] { openStation(); });
    menu->exec(m_Ui->logView->viewport()->mapToGlobal(position));
}

StationWindow& MainWindow::openStation() {
    if (!m_Station)
        m_Station = new StationWindow(m_Settings, m_Prompter, this);
    m_Station->show();
    m_Station->raise();
    m_Station->activateWindow();
    return *m_Station;
}

void MainWindow::chooseTraceFile() {
    if (!m_TraceControl)
        return;
    PromptHold prompt(*m_Pump);
    // The port's trace is only swapped while no watcher thread writes to it.
    if (m_Link.isConnected()) {
        m_Prompter.message(this, tr("Stop the link before changing the trace."),
                           MessageIcon::Warning, {});
        return;
    }
    FileDialogRequest request;
    request.title = tr("Trace the link to");
    request.nameFilters =
        QStringList{QStringLiteral("trace file (*.txt)"), QStringLiteral("all files (*)")};
    request.defaultSuffix = QStringLiteral("txt");
    request.initialPath = m_TracePath;
    const QString path = m_Prompter.saveFile(this, request);
    if (path.isEmpty())
        return;
    if (!m_TraceControl(path)) {
        m_TracePath.clear();
        m_Prompter.message(this, tr("Cannot write the trace file %1.").arg(path),
                           MessageIcon::Warning, {});
        return;
    }
    m_TracePath = path;
    m_TraceErrorTold = false;
    appendNote("** Tracing the link to " + path.toStdString() + "\r\n");
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
        m_Session.add(outcome, choices(), m_Engine->context().sectorSelected, where,
                      std::chrono::system_clock::now());
    }
    const int error = m_TraceError && !m_TraceErrorTold ? m_TraceError() : 0;
    if (error == 0)
        return;
    m_TraceErrorTold = true;
    appendNote("** The trace file " + m_TracePath.toStdString() +
               " could not be written completely: " + std::strerror(error) + "\r\n");
}

void MainWindow::saveReport() {
    if (m_Session.empty())
        return;
    PromptHold prompt(*m_Pump);
    FileDialogRequest request;
    request.title = tr("Save the report as");
    request.nameFilters =
        QStringList{QStringLiteral("report (*.json)"), QStringLiteral("all files (*)")};
    request.defaultSuffix = QStringLiteral("json");
    const QString path = m_Prompter.saveFile(this, request);
    if (path.isEmpty())
        return;
    std::string error;
    const auto report = m_Session.report("zrk410-gui", std::chrono::system_clock::now());
    if (!report::writeReport(report, path.toStdString(), &error)) {
        m_Prompter.message(this, tr("Cannot write the report %1.").arg(path), MessageIcon::Warning,
                           QString::fromStdString(error));
        return;
    }
    appendNote("** Report saved: " + path.toStdString() + "\r\n");
}

void MainWindow::stopTrace() {
    if (!m_TraceControl || m_TracePath.isEmpty() || m_Link.isConnected())
        return;
    m_TraceControl(QString());
    appendNote("** Trace closed: " + m_TracePath.toStdString() + "\r\n");
    m_TracePath.clear();
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

void MainWindow::setOperationButtonsEnabled(bool on) {
    for (QWidget* w : std::initializer_list<QWidget*>{m_Ui->eraseButton, m_Ui->dumpButton,
                                                      m_Ui->formatButton, m_Ui->explorerButton,
                                                      m_Ui->statusButton, m_Ui->downloadButton})
        w->setEnabled(on);
}

void MainWindow::setBinRowEnabled(bool on) {
    m_Ui->binPathField->setEnabled(on);
    m_Ui->binButton->setEnabled(on);
    m_Ui->binSizeField->setEnabled(on);
}

void MainWindow::setQixRowEnabled(bool on) {
    m_Ui->qixPathField->setEnabled(on);
    m_Ui->qixButton->setEnabled(on);
    m_Ui->codePageButton->setEnabled(on);
    m_Ui->qixSizeField->setEnabled(on);
}

void MainWindow::applyModeRows(bool afterOperation) {
    switch (static_cast<DownloadMode>(m_DownloadMode)) {
        case DownloadMode::ModeBin:
            setBinRowEnabled(true);
            setQixRowEnabled(false);
            m_Ui->startAddressBox->setEnabled(true);
            // Our choice: in BIN the field follows its box, so a ticked box always offers an
            // editable address.
            m_Ui->startAddressField->setEnabled(m_UseStartNorAddress != 0);
            break;
        case DownloadMode::ModeQix:
            setBinRowEnabled(false);
            setQixRowEnabled(true);
            m_Ui->startAddressBox->setEnabled(false);
            m_Ui->startAddressField->setEnabled(false);
            break;
        case DownloadMode::ModeBinAndQix:
            setBinRowEnabled(true);
            setQixRowEnabled(true);
            m_Ui->startAddressBox->setEnabled(true);
            if (afterOperation || m_UseStartNorAddress)
                m_Ui->startAddressField->setEnabled(true);
            break;
    }
}

void MainWindow::showPortOpened() {
    m_Ui->portList->setEnabled(false);
    m_Ui->speedList->setEnabled(false);
    m_Ui->stopButton->setEnabled(true);
    m_Ui->startButton->setEnabled(false);
    m_Ui->autoDownloadBox->setEnabled(false);
}

void MainWindow::lockControls() {
    m_Ui->aboutButton->setEnabled(false);
    setOperationButtonsEnabled(false);
    m_Ui->powerOnToggle->setEnabled(false);
    // Read when the download ends: a change half-way would not be what was asked for at start.
    m_Ui->verifyBox->setEnabled(false);
    for (QWidget* w : std::initializer_list<QWidget*>{
             m_Ui->modeBinRadio, m_Ui->modeQixRadio, m_Ui->modeBinQixRadio, m_Ui->binCrcButton,
             m_Ui->binCrcField, m_Ui->qixCrcButton, m_Ui->qixCrcField, m_Ui->startAddressBox,
             m_Ui->startAddressField})
        w->setEnabled(false);
    setBinRowEnabled(false);
    setQixRowEnabled(false);
}

void MainWindow::finishOperation() {
    m_Ui->aboutButton->setEnabled(true);
    setOperationButtonsEnabled(true);
    m_Ui->powerOnToggle->setEnabled(true);
    m_Ui->verifyBox->setEnabled(true);
    for (QWidget* w : std::initializer_list<QWidget*>{
             m_Ui->modeBinRadio, m_Ui->modeQixRadio, m_Ui->modeBinQixRadio, m_Ui->binCrcButton,
             m_Ui->binCrcField, m_Ui->qixCrcButton, m_Ui->qixCrcField})
        w->setEnabled(true);
    applyModeRows(true);
}

void MainWindow::showStopped() {
    m_Ui->startButton->setEnabled(true);
    m_Ui->portList->setEnabled(true);
    m_Ui->speedList->setEnabled(true);
    finishOperation();
    setOperationButtonsEnabled(false);
    m_Ui->stopButton->setEnabled(false);
    m_Ui->powerOnToggle->setEnabled(false);
    m_Ui->startAddressBox->setEnabled(false);
    m_Ui->startAddressField->setEnabled(false);
    m_Ui->autoDownloadBox->setEnabled(true);
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
    c.binPath = m_BinPath.toStdString();
    c.qixPath = m_QixPath.toStdString();
    c.cfgPath = m_CfgPath.toStdString();
    // Where the .cfg files come from another system: "CodePage" in the settings (CP1252, ...).
    c.codePage = m_Settings.readString(QStringLiteral("CodePage")).toStdString();
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

void MainWindow::onStart() {
    m_Engine->start();
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
    applyModeRows(false);
}

void MainWindow::openExplorer() {
    // The button is offered only on an identified phone with nothing running; the command line
    // and tests may still call this at another time.
    if (m_Engine->stage() != Stage::Ready)
        return;
    const UserChoices c = choices();
    std::string error;
    auto codePage = CodePage::open(c.codePage.empty() ? localeCodePageName() : c.codePage, &error);
    if (!codePage) {
        messageBox("Unknown code page for the QIX names!", MessageIcon::Warning);
        return;
    }
    setProgressPos(0);
    // Not held like a prompt: while it runs, the explorer is the one the link's news are for.
    FsExplorerDialog explorer(m_Link, *m_Pump, m_Prompter, std::move(*codePage), this);
    // The window's controls are inert while the explorer has the link, and look it. Disabling
    // the window leaves each control's own state alone (also one the engine changes meanwhile),
    // so enabling it brings every control back as it should be. It comes back as soon as the
    // explorer gives the link back: what follows (a lost link's Stop) finds a usable window.
    setEnabled(false);
    explorer.setEnabled(true);
    connect(&explorer, &QDialog::finished, this, [this] { setEnabled(true); });
    explorer.start();
    m_Prompter.runDialog(explorer);
    setEnabled(true);
    // The explorer's log went with it: a transfer it cut short is told here.
    if (const std::string& note = explorer.engine().cutShortNote(); !note.empty())
        appendLog("\r\n" + note + "\r\n");
}

void MainWindow::pickBinFile() {
    FileDialogRequest request;
    request.title = tr("Firmware image");
    request.nameFilters = qtNameFilters(
        QStringLiteral("firmware (*.cla;*.bin)|*.cla;*.bin|"
                       "cla file (*.cla)|*.cla|bin file (*.bin)|*.bin|all files (*.*)|*.*||"));
    request.defaultSuffix = QStringLiteral("cla");
    request.initialPath = m_BinPath;
    QString path;
    {
        PromptHold prompt(*m_Pump);
        path = m_Prompter.openFile(this, request);
    }
    // The checksum shown was the old file's.
    m_Ui->binCrcField->clear();
    if (path.isEmpty()) {
        messageBox("No file selected!", MessageIcon::Warning);
        m_BinPath.clear();
        m_Ui->binPathField->clear();
        m_Settings.writeString(QStringLiteral("BinPath"), m_BinPath);
        m_Ui->binSizeField->clear();
        return;
    }
    m_BinPath = path;
    m_Ui->binPathField->setText(m_BinPath);
    m_Settings.writeString(QStringLiteral("BinPath"), m_BinPath);
    if (const auto length = lengthOf(path)) {
        m_Ui->binSizeField->setText(QString::number(*length));
    } else {
        logUnreadable(path);
        messageBox("Fail to open bin file!", MessageIcon::Warning);
    }
}

void MainWindow::pickQixFile() {
    FileDialogRequest request;
    request.title = tr("File-system image");
    request.nameFilters = qtNameFilters(QStringLiteral("qix file (*.qix)|*.qix||"));
    request.defaultSuffix = QStringLiteral("qix");
    request.initialPath = m_QixPath;
    QString path;
    {
        PromptHold prompt(*m_Pump);
        path = m_Prompter.openFile(this, request);
    }
    m_Ui->qixCrcField->clear();
    if (path.isEmpty()) {
        messageBox("No file selected!", MessageIcon::Warning);
        m_QixPath.clear();
        m_CfgPath.clear();
        m_Ui->qixPathField->clear();
        m_Settings.writeString(QStringLiteral("VavPath"), m_QixPath);
        m_Ui->qixSizeField->clear();
        return;
    }
    m_QixPath = path;
    m_Ui->qixPathField->setText(m_QixPath);
    m_Settings.writeString(QStringLiteral("VavPath"), m_QixPath);
    m_CfgPath = deriveCfgPath(m_QixPath);
    if (const auto length = lengthOf(path)) {
        m_Ui->qixSizeField->setText(QString::number(*length));
    } else {
        logUnreadable(path);
        messageBox("Fail to open VAV file!", MessageIcon::Warning);
    }
}

void MainWindow::showChecksum(bool image) {
    QLineEdit* field = image ? m_Ui->qixCrcField : m_Ui->binCrcField;
    const QString path = image ? m_QixPath : m_BinPath;
    field->setEnabled(false);
    std::uint32_t crc = 0;
    if (const auto result = path.isEmpty() ? std::nullopt : fileCrc32(path.toStdString())) {
        crc = result->crc;
    } else {
        m_Engine->imageUnreadable();
        logUnreadable(path);
        messageBox("Fail to open bin file!", MessageIcon::Warning);
    }
    field->setText(QStringLiteral("0x%1").arg(crc, 0, 16));
    field->setEnabled(true);
}

// ---- log and progress ----------------------------------------------------------------------

void MainWindow::logUnreadable(const QString& path) {
    // The box's text is fixed and names neither the file nor the cause. A file that passes
    // the checks failed while it was read.
    std::string reason = "it could not be read to the end";
    lengthOf(path, &reason);
    appendNote("** Cannot read " + (path.isEmpty() ? std::string("the file") : path.toStdString()) +
               ": " + reason + "\r\n");
}

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
    if (text == "Port Initialization Failed!") {
        failure = m_Link.lastOpenFailure();
        if (failure.kind != OpenFailure::Kind::None)
            detail = fromStd(describeOpenFailure(failure));
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
