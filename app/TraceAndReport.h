#pragma once
// What the log pane's menu offers beyond copying text: the hex trace of every byte on the link
// (changed only while the link is closed) and the run report of the window's phones.
#include <QPoint>
#include <QString>
#include <functional>
#include <string>

#include "report/SessionRecord.h"

class QPlainTextEdit;
class QWidget;

namespace zrk {

class LinkPump;
class Prompter;
class SerialLink;

class TraceAndReport {
  public:
    // Starts (a path) or ends (empty) the trace; false when the file cannot be written.
    using TraceControl = std::function<bool(const QString& path)>;

    TraceAndReport(QPlainTextEdit& logView, SerialLink& link, Prompter& prompter, LinkPump& pump,
                   QWidget& parent, std::function<void(const std::string&)> note);

    void setTraceControl(TraceControl control) { m_TraceControl = std::move(control); }
    // Why the trace lost text (errno), or 0: told once in the log when an operation ends.
    void setTraceErrorSource(std::function<int()> source) { m_TraceError = std::move(source); }
    // More entries for the menu, after the window's own (added in order, each with its own
    // enabled state when the menu opens).
    void addMenuEntry(QString text, std::function<void()> action,
                      std::function<bool()> enabled = {});

    void showMenu(const QPoint& position);
    void chooseTraceFile();
    void stopTrace();
    void saveReport();
    // An operation ended: the report records it.
    void record(const OperationOutcome& outcome, const UserChoices& choices,
                const std::vector<std::int32_t>& sectors,
                const report::SessionRecord::Where& where);
    // After an operation: a trace that lost text says so, once.
    void noteTraceLoss();

    const QString& tracePath() const { return m_TracePath; }
    const report::SessionRecord& session() const { return m_Session; }

  private:
    struct Entry {
        QString text;
        std::function<void()> action;
        std::function<bool()> enabled;
    };

    QPlainTextEdit& m_LogView;
    SerialLink& m_Link;
    Prompter& m_Prompter;
    LinkPump& m_Pump;
    QWidget& m_Parent;
    std::function<void(const std::string&)> m_Note;
    TraceControl m_TraceControl;
    std::function<int()> m_TraceError;
    bool m_TraceErrorTold = false;
    QString m_TracePath;
    report::SessionRecord m_Session;
    std::vector<Entry> m_Entries;
};

}  // namespace zrk
