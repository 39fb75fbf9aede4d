#include "app/LogPane.h"

#include <QPlainTextEdit>
#include <QProgressBar>
#include <QScrollBar>
#include <algorithm>
#include <limits>

namespace zrk {

QString LogPane::displayForm(std::string_view text, bool& endsInCarriageReturn) {
    QString shown;
    const QString all = QString::fromUtf8(text.data(), qsizetype(text.size()));
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

void LogPane::appendLog(std::string_view text) {
    m_Log += text;
    const QString shown = displayForm(text, m_EndsInCarriageReturn);
    QScrollBar* vertical = m_Text.verticalScrollBar();
    // A reader who scrolled up keeps the place (and the selection); at the bottom the view
    // follows the newest line.
    const bool following = vertical->value() >= vertical->maximum();
    if (!following) {
        const int verticalAt = vertical->value();
        const int horizontalAt = m_Text.horizontalScrollBar()->value();
        QTextCursor end(m_Text.document());
        end.movePosition(QTextCursor::End);
        if (!shown.isEmpty())
            end.insertText(shown);
        vertical->setValue(verticalAt);
        m_Text.horizontalScrollBar()->setValue(horizontalAt);
        return;
    }
    QTextCursor cursor = m_Text.textCursor();
    cursor.movePosition(QTextCursor::End);
    if (!shown.isEmpty())
        cursor.insertText(shown);
    m_Text.setTextCursor(cursor);
    // The focus brings the caret, and with it the newest line, into view.
    m_Text.setFocus();
    m_Text.ensureCursorVisible();
}

void LogPane::appendNote(const std::string& text) {
    const bool lineOpen = !m_Log.empty() && m_Log.back() != '\n' && m_Log.back() != '\r';
    appendLog(lineOpen ? "\r\n" + text : text);
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
    m_Bar.setTextVisible(false);
    m_Rate.start(total, m_Now());
}

void LogPane::setProgressPos(std::uint32_t position) {
    const auto scaled = static_cast<int>(std::min<std::uint32_t>(
        position >> m_ProgressShift, static_cast<std::uint32_t>(m_Bar.maximum())));
    m_Bar.setValue(scaled);
    if (position == 0) {
        // An operation starting over the last one's range.
        m_Bar.setTextVisible(false);
        m_Rate.restart(m_Now());
        return;
    }
    if (const auto text = m_Rate.update(position, m_Now())) {
        m_Bar.setFormat(QString::fromStdString(*text));
        m_Bar.setTextVisible(true);
    }
}

}  // namespace zrk
