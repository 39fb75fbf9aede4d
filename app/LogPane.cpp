#include "app/LogPane.h"

#include <QPlainTextEdit>
#include <QProgressBar>
#include <algorithm>
#include <limits>

namespace zrk {

QString LogPane::displayForm(const std::string& text, bool& endsInCarriageReturn) {
    QString shown;
    const QString all = QString::fromStdString(text);
    shown.reserve(all.size());
    for (const QChar c : all) {
        if (c == QLatin1Char('\n') && endsInCarriageReturn) {
            endsInCarriageReturn = false;
            continue;
        }
        endsInCarriageReturn = c == QLatin1Char('\r');
        shown += endsInCarriageReturn ? QChar(QLatin1Char('\n')) : c;
    }
    return shown;
}

void LogPane::appendLog(const std::string& text) {
    m_Log += text;
    const QString shown = displayForm(text, m_EndsInCarriageReturn);
    QTextCursor cursor = m_Text.textCursor();
    cursor.movePosition(QTextCursor::End);
    if (!shown.isEmpty())
        cursor.insertText(shown);
    m_Text.setTextCursor(cursor);
    // The focus brings the caret, and with it the newest line, into view.
    m_Text.setFocus();
    m_Text.ensureCursorVisible();
}

void LogPane::setLogText(const std::string& text) {
    m_Log = text;
    m_EndsInCarriageReturn = false;
    m_Text.setPlainText(displayForm(text, m_EndsInCarriageReturn));
    m_Text.moveCursor(QTextCursor::End);
}

void LogPane::setProgressRange(std::uint32_t total) {
    // QProgressBar counts in int; totals beyond it are scaled by a power of two, positions too.
    m_ProgressShift = 0;
    while ((total >> m_ProgressShift) > static_cast<std::uint32_t>(std::numeric_limits<int>::max()))
        ++m_ProgressShift;
    m_Bar.setRange(0, static_cast<int>(total >> m_ProgressShift));
}

void LogPane::setProgressPos(std::uint32_t position) {
    const auto scaled = static_cast<int>(std::min<std::uint32_t>(
        position >> m_ProgressShift, static_cast<std::uint32_t>(m_Bar.maximum())));
    m_Bar.setValue(scaled);
}

}  // namespace zrk
