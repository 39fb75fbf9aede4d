#include "app/dialogs/StationWindow.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QDir>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QTimer>
#include <QVBoxLayout>

#include "app/Prompter.h"
#include "app/SettingsStore.h"
#include "app/dialogs/StationPortList.h"
#include "app/dialogs/StationRecipeForm.h"
#include "app/dialogs/StationReportFile.h"
#include "app/dialogs/StationTile.h"
#include "app/dialogs/StationTiles.h"

namespace zrk {

StationWindow::StationWindow(SettingsStore& settings, Prompter& prompter, QWidget* parent)
    : QDialog(parent), m_Settings(settings), m_Prompter(prompter) {
    setWindowTitle(tr("Station - ZR-K410 Downloader"));
    setAccessibleName(tr("Station"));
    setSizeGripEnabled(true);
    m_Ports = std::make_unique<StationPortList>(*this, m_Settings, m_Prompter);
    m_Recipe = std::make_unique<StationRecipeForm>(*this, m_Prompter);
    auto* top = new QHBoxLayout;
    top->addWidget(m_Ports->box(), 1);
    top->addWidget(m_Recipe->box(), 3);
    top->addWidget(buildRun(), 2);

    m_Tiles = std::make_unique<StationTiles>(*this, m_Prompter);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(m_Tiles->area(), 1);

    m_Timer = new QTimer(this);
    m_Timer->setInterval(100);
    connect(m_Timer, &QTimer::timeout, this, &StationWindow::drainEvents);
    m_Timer->start();

    loadRecipe();
    resize(1100, 760);
}

StationWindow::~StationWindow() {
    endRunners();
}

QWidget* StationWindow::buildRun() {
    auto* box = new QGroupBox(tr("Run"));
    auto* v = new QVBoxLayout(box);
    m_Loop = new QCheckBox(tr("&Loop: wait for the next phone on each cable"));
    m_Loop->setAccessibleDescription(tr("After a phone is done its port waits for the next one"));
    v->addWidget(m_Loop);
    auto* reportRow = new QHBoxLayout;
    m_ReportFolder = new QLineEdit;
    m_ReportFolder->setAccessibleName(tr("Report folder"));
    m_ReportFolder->setAccessibleDescription(tr("One report per phone is written here"));
    m_ReportFolder->setPlaceholderText(tr("no reports"));
    m_ReportButton = new QPushButton(tr("..."));
    m_ReportButton->setAccessibleName(tr("Choose the report folder"));
    connect(m_ReportButton, &QPushButton::clicked, this, [this] {
        const QString folder = m_Prompter.chooseFolder(this, tr("Report folder"));
        if (!folder.isEmpty())
            m_ReportFolder->setText(folder);
    });
    reportRow->addWidget(new QLabel(tr("Reports:")));
    reportRow->addWidget(m_ReportFolder, 1);
    reportRow->addWidget(m_ReportButton);
    v->addLayout(reportRow);
    m_StartAll = new QPushButton(tr("S&tart all"));
    m_StartAll->setAccessibleDescription(tr("Opens every checked port and runs the recipe"));
    m_StopAll = new QPushButton(tr("St&op all"));
    m_StopAll->setAccessibleDescription(tr("Ends the work on every port and closes its link"));
    m_StopAll->setEnabled(false);
    m_SaveReport = new QPushButton(tr("Save &report..."));
    m_SaveReport->setAccessibleDescription(tr("Writes the report of every phone of this run"));
    connect(m_StartAll, &QPushButton::clicked, this, &StationWindow::startAll);
    connect(m_StopAll, &QPushButton::clicked, this, [this] {
        if (mayInterrupt())
            stopAll();
    });
    connect(m_SaveReport, &QPushButton::clicked, this, &StationWindow::saveReport);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_StartAll);
    buttons->addWidget(m_StopAll);
    v->addLayout(buttons);
    v->addWidget(m_SaveReport);
    m_Status = new QLabel;
    m_Status->setWordWrap(true);
    m_Status->setAccessibleName(tr("Station status"));
    v->addWidget(m_Status);
    v->addStretch(1);
    return box;
}

// ---- the recipe, the ports and the tiles ---------------------------------------------------

station::Recipe StationWindow::recipe() const {
    return m_Recipe->recipe();
}

void StationWindow::setRecipe(const station::Recipe& recipe) {
    m_Recipe->setRecipe(recipe);
}

void StationWindow::addDevicePath(const QString& path) {
    m_Ports->addDevicePath(path);
}

void StationWindow::setPortChecked(const QString& name, bool on) {
    m_Ports->setPortChecked(name, on);
}

void StationWindow::setLoop(bool on) {
    m_Loop->setChecked(on);
}

void StationWindow::setReportFolder(const QString& folder) {
    m_ReportFolder->setText(folder);
}

void StationWindow::loadRecipe() {
    m_Recipe->load(m_Settings);
    m_Loop->setChecked(m_Settings.readInt(QStringLiteral("StationLoop")) != 0);
    m_ReportFolder->setText(m_Settings.readString(QStringLiteral("StationReportFolder")));
}

void StationWindow::storeRecipe() {
    m_Recipe->store(m_Settings);
    m_Settings.writeInt(QStringLiteral("StationLoop"), m_Loop->isChecked());
    m_Settings.writeString(QStringLiteral("StationReportFolder"), m_ReportFolder->text());
    m_Ports->store(m_Settings);
}

StationTile* StationWindow::addTile(const QString& port, const QString& device) {
    return m_Tiles->add(port, device, [this](std::size_t index) { stopPort(index); });
}

const std::vector<StationTile*>& StationWindow::tiles() const {
    return m_Tiles->tiles();
}

const QString& StationWindow::portLog(int index) const {
    return m_Tiles->log(index);
}

// ---- the run -------------------------------------------------------------------------------

bool StationWindow::running() const {
    for (const auto& runner : m_Runners)
        if (!runner->finished())
            return true;
    return false;
}

void StationWindow::setRunning(bool on) {
    m_Recipe->box()->setEnabled(!on);
    m_Ports->setEnabled(!on);
    m_Loop->setEnabled(!on);
    m_ReportFolder->setEnabled(!on);
    m_ReportButton->setEnabled(!on);
    m_StartAll->setEnabled(!on);
    m_StopAll->setEnabled(on);
}

void StationWindow::startAll() {
    if (running())
        return;
    const station::Recipe r = recipe();
    if (const std::string problem = station::recipeProblem(r); !problem.empty()) {
        m_Prompter.message(
            this, tr("The recipe is not complete: %1.").arg(QString::fromStdString(problem)),
            MessageIcon::Warning, {});
        return;
    }
    const std::vector<station::PortTarget> targets = m_Ports->checkedTargets();
    if (targets.empty()) {
        m_Prompter.message(this, tr("Check the ports to serve."), MessageIcon::Warning, {});
        return;
    }
    station::RunOptions options;
    options.loop = m_Loop->isChecked();
    options.reportFolder = m_ReportFolder->text().trimmed().toStdString();
    if (!options.reportFolder.empty() && !QDir().mkpath(m_ReportFolder->text().trimmed())) {
        m_Prompter.message(this, tr("The report folder cannot be made."), MessageIcon::Error, {});
        return;
    }
    storeRecipe();
    endRunners();
    m_Runners.clear();
    m_Tiles->clear();
    m_Events.take();
    m_Started = std::chrono::system_clock::now();
    for (const auto& target : targets) {
        addTile(QString::fromStdString(target.name), QString::fromStdString(target.device));
        m_Runners.push_back(std::make_unique<station::PortRunner>(
            static_cast<int>(m_Runners.size()), target, r, options, m_Events));
    }
    for (auto& runner : m_Runners)
        runner->start();
    m_Status->setText(tr("Serving %n port(s).", nullptr, static_cast<int>(targets.size())));
    setRunning(true);
    if (!tiles().empty())
        tiles().front()->setFocus();
}

void StationWindow::stopPort(std::size_t index) {
    if (index >= m_Runners.size())
        return;
    station::PortRunner& runner = *m_Runners[index];
    if (runner.writing() &&
        !m_Prompter.askYesNo(this, tr("The phone's flash will be left incomplete. Stop anyway?"),
                             DefaultAnswer::No))
        return;
    runner.stop();
}

void StationWindow::stopAll() {
    for (auto& runner : m_Runners)
        runner->stop();
}

// The ended runners stay until the next Start all: "Save report..." still has their phones.
void StationWindow::endRunners() {
    stopAll();
    for (auto& runner : m_Runners)
        runner->join();
    drainEvents();
}

void StationWindow::drainEvents() {
    const auto now = StationTile::Clock::now();
    for (const station::StationEvent& e : m_Events.take())
        m_Tiles->apply(e, now);
    m_Tiles->tick(now);
    if (!m_Runners.empty() && !running() && m_StopAll->isEnabled()) {
        setRunning(false);
        m_Status->setText(tr("Every port has ended."));
    }
}

std::vector<report::PortRecord> StationWindow::records() const {
    std::vector<report::PortRecord> ports;
    for (const auto& runner : m_Runners)
        ports.push_back(runner->record());
    return ports;
}

void StationWindow::saveReport() {
    saveStationReport(*this, m_Prompter, records(), m_Started);
}

// ---- the close guard -----------------------------------------------------------------------

bool StationWindow::mayInterrupt() {
    bool writing = false;
    for (const auto& runner : m_Runners)
        writing = writing || runner->writing();
    if (!writing)
        return true;
    return m_Prompter.askYesNo(this, tr("A phone's flash will be left incomplete. Stop anyway?"),
                               DefaultAnswer::No);
}

void StationWindow::reject() {
    if (!mayInterrupt())
        return;
    endRunners();
    QDialog::reject();
}

void StationWindow::closeEvent(QCloseEvent* event) {
    if (!mayInterrupt()) {
        event->ignore();
        return;
    }
    endRunners();
    QDialog::closeEvent(event);
}

}  // namespace zrk
