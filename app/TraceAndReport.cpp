#include "app/TraceAndReport.h"

#include <QMenu>
#include <QPlainTextEdit>
#include <cstring>
#include <memory>

#include "app/LinkPump.h"
#include "app/Prompter.h"
#include "report/ReportJson.h"
#include "serial/SerialLink.h"

namespace zrk {

TraceAndReport::TraceAndReport(QPlainTextEdit& logView, SerialLink& link, Prompter& prompter,
                               LinkPump& pump, QWidget& parent,
                               std::function<void(const std::string&)> note)
    : m_LogView(logView),
      m_Link(link),
      m_Prompter(prompter),
      m_Pump(pump),
      m_Parent(parent),
      m_Note(std::move(note)) {
    m_LogView.setContextMenuPolicy(Qt::CustomContextMenu);
    QObject::connect(&m_LogView, &QWidget::customContextMenuRequested, &m_Parent,
                     [this](const QPoint& at) { showMenu(at); });
}

void TraceAndReport::addMenuEntry(QString text, std::function<void()> action,
                                  std::function<bool()> enabled) {
    m_Entries.push_back({std::move(text), std::move(action), std::move(enabled)});
}

void TraceAndReport::showMenu(const QPoint& position) {
    std::unique_ptr<QMenu> menu(m_LogView.createStandardContextMenu());
    if (m_TraceControl) {
        menu->addSeparator();
        QAction* start = menu->addAction(QObject::tr("Trace the link to a file..."),
                                         [this] { chooseTraceFile(); });
        QAction* stop = menu->addAction(QObject::tr("Stop tracing"), [this] { stopTrace(); });
        start->setEnabled(!m_Link.isConnected());
        stop->setEnabled(!m_Link.isConnected() && !m_TracePath.isEmpty());
    }
    menu->addSeparator();
    menu->addAction(QObject::tr("Save report..."), [this] { saveReport(); })
        ->setEnabled(!m_Session.empty());
    for (const Entry& entry : m_Entries) {
        QAction* action = menu->addAction(entry.text, entry.action);
        action->setEnabled(!entry.enabled || entry.enabled());
    }
    menu->exec(m_LogView.viewport()->mapToGlobal(position));
}

void TraceAndReport::chooseTraceFile() {
    if (!m_TraceControl)
        return;
    PromptHold prompt(m_Pump);
    // The port's trace is only swapped while no watcher thread writes to it.
    if (m_Link.isConnected()) {
        m_Prompter.message(&m_Parent, QObject::tr("Stop the link before changing the trace."),
                           MessageIcon::Warning, {});
        return;
    }
    FileDialogRequest request;
    request.title = QObject::tr("Trace the link to");
    request.nameFilters =
        QStringList{QStringLiteral("trace file (*.txt)"), QStringLiteral("all files (*)")};
    request.defaultSuffix = QStringLiteral("txt");
    request.initialPath = m_TracePath;
    const QString path = m_Prompter.saveFile(&m_Parent, request);
    if (path.isEmpty())
        return;
    if (!m_TraceControl(path)) {
        m_TracePath.clear();
        m_Prompter.message(&m_Parent, QObject::tr("Cannot write the trace file %1.").arg(path),
                           MessageIcon::Warning, {});
        return;
    }
    m_TracePath = path;
    m_TraceErrorTold = false;
    m_Note("** Tracing the link to " + path.toStdString() + "\r\n");
}

void TraceAndReport::stopTrace() {
    if (!m_TraceControl || m_TracePath.isEmpty() || m_Link.isConnected())
        return;
    m_TraceControl(QString());
    m_Note("** Trace closed: " + m_TracePath.toStdString() + "\r\n");
    m_TracePath.clear();
}

void TraceAndReport::saveReport() {
    if (m_Session.empty())
        return;
    PromptHold prompt(m_Pump);
    FileDialogRequest request;
    request.title = QObject::tr("Save the report as");
    request.nameFilters =
        QStringList{QStringLiteral("report (*.json)"), QStringLiteral("all files (*)")};
    request.defaultSuffix = QStringLiteral("json");
    const QString path = m_Prompter.saveFile(&m_Parent, request);
    if (path.isEmpty())
        return;
    std::string error;
    const auto report = m_Session.report("zrk410-gui", std::chrono::system_clock::now());
    if (!report::writeReport(report, path.toStdString(), &error)) {
        m_Prompter.message(&m_Parent, QObject::tr("Cannot write the report %1.").arg(path),
                           MessageIcon::Warning, QString::fromStdString(error));
        return;
    }
    m_Note("** Report saved: " + path.toStdString() + "\r\n");
}

void TraceAndReport::record(const OperationOutcome& outcome, const UserChoices& choices,
                            const std::vector<std::int32_t>& sectors,
                            const report::SessionRecord::Where& where) {
    m_Session.add(outcome, choices, sectors, where, std::chrono::system_clock::now());
}

void TraceAndReport::noteTraceLoss() {
    const int error = m_TraceError && !m_TraceErrorTold ? m_TraceError() : 0;
    if (error == 0)
        return;
    m_TraceErrorTold = true;
    m_Note("** The trace file " + m_TracePath.toStdString() +
           " could not be written completely: " + std::strerror(error) + "\r\n");
}

}  // namespace zrk
