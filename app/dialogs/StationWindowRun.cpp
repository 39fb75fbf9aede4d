// The station window's run: starting and stopping the runners, their news on the tiles, the
// port logs and the report.
#include <QCheckBox>
#include <QCloseEvent>
#include <QDir>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/Prompter.h"
#include "app/dialogs/StationTile.h"
#include "app/dialogs/StationWindow.h"
#include "report/ReportJson.h"

namespace zrk {

namespace {
constexpr qsizetype kLogChars = 2 * 1024 * 1024;  // a port's log beyond this loses its oldest half
constexpr int kTileColumns = 4;
}  // namespace

StationTile* StationWindow::addTile(const QString& port, const QString& device) {
    auto* tile = new StationTile(port, device);
    const int index = static_cast<int>(m_Tiles.size());
    m_TileGrid->addWidget(tile, index / kTileColumns, index % kTileColumns);
    connect(tile, &StationTile::logRequested, this, [this, index] { showLog(index); });
    connect(tile, &StationTile::stopRequested, this, [this, index] {
        if (static_cast<std::size_t>(index) >= m_Runners.size())
            return;
        station::PortRunner& runner = *m_Runners[static_cast<std::size_t>(index)];
        if (runner.writing() &&
            !m_Prompter.askYesNo(this,
                                 tr("The phone's flash will be left incomplete. Stop anyway?"),
                                 DefaultAnswer::No))
            return;
        runner.stop();
    });
    m_Tiles.push_back(tile);
    m_Logs.emplace_back();
    return tile;
}

void StationWindow::clearTiles() {
    for (StationTile* tile : m_Tiles)
        delete tile;
    m_Tiles.clear();
    m_Logs.clear();
}

bool StationWindow::running() const {
    for (const auto& runner : m_Runners)
        if (!runner->finished())
            return true;
    return false;
}

void StationWindow::setRunning(bool on) {
    m_Recipe->setEnabled(!on);
    m_Ports->setEnabled(!on);
    m_AddDevice->setEnabled(!on);
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
    std::vector<station::PortTarget> targets;
    for (int i = 0; i < m_Ports->count(); ++i) {
        const QListWidgetItem* item = m_Ports->item(i);
        if (item->checkState() == Qt::Checked)
            targets.push_back({item->data(Qt::UserRole).toString().toStdString(),
                               item->data(Qt::UserRole + 1).toString().toStdString(),
                               {}});
    }
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
    clearTiles();
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
    if (!m_Tiles.empty())
        m_Tiles.front()->setFocus();
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
    for (station::StationEvent& e : m_Events.take()) {
        const auto index = static_cast<std::size_t>(e.port);
        if (index >= m_Tiles.size())
            continue;
        StationTile& tile = *m_Tiles[index];
        switch (e.kind) {
            case station::StationEvent::Kind::State:
                tile.setState(e.state, now);
                break;
            case station::StationEvent::Kind::Progress:
                tile.setProgress(e.position, e.total, e.rate, e.unit);
                break;
            case station::StationEvent::Kind::Log: {
                QString& log = m_Logs[index];
                log += QString::fromStdString(e.text);
                if (log.size() > kLogChars)
                    log.remove(0, log.size() / 2);
                break;
            }
            case station::StationEvent::Kind::Flash:
                tile.setFlash(QString::fromStdString(e.text));
                break;
            case station::StationEvent::Kind::Phone:
                tile.setPhone(*e.phone);
                break;
            case station::StationEvent::Kind::Ended:
                tile.setEnded(e.state, QString::fromStdString(e.text));
                break;
        }
    }
    for (StationTile* tile : m_Tiles)
        tile->tick(now);
    if (!m_Runners.empty() && !running() && m_StopAll->isEnabled()) {
        setRunning(false);
        m_Status->setText(tr("Every port has ended."));
    }
}

void StationWindow::showLog(int index) {
    if (index < 0 || static_cast<std::size_t>(index) >= m_Tiles.size())
        return;
    QDialog dialog(this);
    const QString port = m_Tiles[static_cast<std::size_t>(index)]->accessibleName();
    dialog.setWindowTitle(tr("Log: %1").arg(port));
    auto* text = new QPlainTextEdit(&dialog);
    text->setReadOnly(true);
    text->setAccessibleName(tr("Log of %1").arg(port));
    // The engine ends its lines with CR LF; a plain text view wants LF.
    QString log = m_Logs[static_cast<std::size_t>(index)];
    log.remove(QLatin1Char('\r'));
    text->setPlainText(log);
    text->moveCursor(QTextCursor::End);
    auto* close = new QPushButton(tr("Close"), &dialog);
    connect(close, &QPushButton::clicked, &dialog, &QDialog::accept);
    auto* v = new QVBoxLayout(&dialog);
    v->addWidget(text);
    v->addWidget(close);
    dialog.resize(720, 480);
    m_Prompter.runDialog(dialog);
}

std::vector<report::PortRecord> StationWindow::records() const {
    std::vector<report::PortRecord> ports;
    for (const auto& runner : m_Runners)
        ports.push_back(runner->record());
    return ports;
}

void StationWindow::saveReport() {
    const std::vector<report::PortRecord> ports = records();
    if (ports.empty()) {
        m_Prompter.message(this, tr("No phone has been served yet."), MessageIcon::Information, {});
        return;
    }
    FileDialogRequest request;
    request.title = tr("Save report");
    request.nameFilters = {tr("Report (*.json)"), tr("All files (*)")};
    request.defaultSuffix = QStringLiteral("json");
    const QString path = m_Prompter.saveFile(this, request);
    if (path.isEmpty())
        return;
    const report::RunReport run =
        station::stationReport(ports, "zrk410-gui", m_Started, std::chrono::system_clock::now());
    std::string error;
    if (!report::writeReport(run, path.toStdString(), &error))
        m_Prompter.message(this, tr("The report could not be written."), MessageIcon::Error,
                           QString::fromStdString(error));
}

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
