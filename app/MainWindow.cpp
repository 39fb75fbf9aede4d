#include "app/MainWindow.h"

#include <QShortcut>

#include "app/BoundChoices.h"
#include "app/DialogUnits.h"
#include "app/EnabledControls.h"
#include "app/LinkPump.h"
#include "app/LogPane.h"
#include "app/NoAnswerHint.h"
#include "app/OperationButtons.h"
#include "app/PortList.h"
#include "app/PortOpenFailureNotice.h"
#include "app/Prompter.h"
#include "app/Resources.h"
#include "app/SettingsStore.h"
#include "app/WindowPrompts.h"
#include "app/dialogs/StationWindow.h"
#include "protocol/ProtocolEngine.h"
#include "serial/PortMap.h"
#include "serial/SerialLink.h"
#include "ui_MainWindow.h"

namespace zrk {
namespace {

// Group captions sit on the frame line, as the layout was drawn; the borderless size fields
// show the window's background, as labels do.
constexpr const char* kWindowStyle =
    "QGroupBox { border: 1px solid palette(mid); border-radius: 2px; margin-top: 0.6em; }"
    "QGroupBox::title { subcontrol-origin: margin; subcontrol-position: top left;"
    " left: 6px; padding: 0px 1px; }"
    "QLineEdit[frame=\"false\"] { background: transparent; }";

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
    m_Prompts = std::make_unique<WindowPrompts>(*this, m_Prompter, *m_Pump);
    m_PortList = new PortList(*m_Ui->portList, *m_Ui->mapButton, portMap(), m_Settings, m_Prompter,
                              *m_Pump, *this);
    m_Ui->logView->document()->setMaximumBlockCount(0);  // the log grows without limit
    m_Choices = std::make_unique<BoundChoices>(*m_Ui, m_Settings, *m_PortList);
    m_Choices->pushToControls();

    ensureResources();
    setWindowIcon(QIcon(QStringLiteral(":/zrk410/icons/zrk410.png")));

    // The engine becomes the link's handler; the pump already carries the news to it.
    m_Engine = std::make_unique<ProtocolEngine>(m_Link, *this);

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

    m_Choices->loadStored();
    m_Choices->pushToControls();
    m_PortList->updateToolTips();

    m_BaudPause = std::make_unique<BaudPause>(*m_Pump, *m_Engine);
    m_NoAnswerHint = std::make_unique<NoAnswerHint>(
        m_Link, *m_Pump, *m_Engine, [this] { return m_Choices->portIndex() + 1; }, note);

    m_Operations = std::make_unique<OperationButtons>(OperationButtons::Parts{
        *m_Ui, *this, *this, *m_Engine, m_Link, *m_Pump, m_Prompter, m_Settings, *m_Choices,
        *m_Images, *m_NoAnswerHint, [this] { return choices(); }});
    m_TraceAndReport->addMenuEntry(tr("Station..."), [this] { openStation(); });
    connect(new QShortcut(QKeySequence(tr("Ctrl+Shift+S")), this), &QShortcut::activated, this,
            [this] { openStation(); });
    connect(m_Ui->exitButton, &QPushButton::clicked, this, &MainWindow::reject);
    connect(m_Ui->aboutButton, &QPushButton::clicked, this, [this] { m_Prompts->showAbout(); });

    // The keyboard focus is left to the first control.
}

MainWindow::~MainWindow() {
    m_Recording = false;
    m_BaudPause->stop();
    // The engine closes an open port, which joins the watcher; only then may the pump the
    // watcher posts to go.
    m_Engine.reset();
    m_Pump.reset();
}

void MainWindow::editPortDevice(int portNumber) {
    m_PortList->editDevice(portNumber);
}

void MainWindow::useSimulator(const QString& device) {
    m_PortList->useDevice(device);
    m_Choices->setPortIndex(0);
    appendLog("\r\n\r\n** COM1 is the phone simulator at " + device.toStdString() + "\r\n");
}

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
    follow(m_Turns.operationEnded(outcome));
    m_NoAnswerHint->stop();
    // Every control but Stop and Exit stays locked now; without a word nobody knows why.
    if (outcome.kind == OutcomeKind::Abandoned) {
        appendNote("Press Stop to start again.\r\n");
    }
    if (m_Recording && m_Engine) {
        const int port = m_Choices->portIndex() + 1;
        report::SessionRecord::Where where{PortMap::portName(port), portMap().device(port),
                                           m_Ui->flashNameField->text().toStdString(),
                                           m_Engine->flashId()};
        m_TraceAndReport->record(outcome, choices(), m_Engine->sectorChoice(), where);
    }
    m_TraceAndReport->noteTraceLoss();
}

// ---- control states ------------------------------------------------------------------------

void MainWindow::follow(std::optional<FrameTurn> turn) {
    if (turn)
        controls::follow(*m_Ui, *turn, m_Choices->downloadMode(), m_Choices->useStartAddress());
}

void MainWindow::stageChanged(Stage stage) {
    follow(m_Turns.stageChanged(stage));
}

void MainWindow::linkClosed() {
    follow(m_Turns.linkClosed());
}

UserChoices MainWindow::choices() {
    UserChoices c = m_Choices->read();
    c.binPath = m_Images->binPath().toStdString();
    c.qixPath = m_Images->qixPath().toStdString();
    c.cfgPath = m_Images->cfgPath().toStdString();
    // Where the .cfg files come from another system: "CodePage" in the settings (CP1252, ...).
    c.codePage = m_CodePage->stored();
    c.codePageControl = "the code page button beside the QIX path";
    return c;
}

// ---- handlers ------------------------------------------------------------------------------

void MainWindow::reject() {
    // The station's phones go with this window: they are asked about as the link's are.
    if (m_Station && !m_Station->mayInterrupt())
        return;
    if (!m_Operations->mayInterrupt())
        return;
    QDialog::reject();
}

// ---- the engine's view --------------------------------------------------------------------

void MainWindow::heard(const LinkFact& fact) {
    if (const auto* flash = std::get_if<FlashNamed>(&fact))
        m_Ui->flashNameField->setText(fromStd(flash->name));
    else if (const auto* firmware = std::get_if<FirmwareSized>(&fact))
        m_Ui->binSizeField->setText(QString::number(firmware->bytes));
    else if (const auto* image = std::get_if<ImageSized>(&fact))
        m_Ui->qixSizeField->setText(QString::number(image->bytes));
}

void MainWindow::messageBox(const std::string& text, MessageIcon icon) {
    const PortOpenFailureNotice failure(text, m_Link, *m_PortList, m_Choices->portIndex());
    m_Prompts->message(text, icon, failure.detail());
    if (const auto report = failure.logReport())
        appendNote(*report);
}

}  // namespace zrk
