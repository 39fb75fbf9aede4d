#pragma once
// A log pane and its progress bar, as the protocol writes them: the text is kept verbatim with
// its own line ends and shown normalised; totals beyond the bar's int range are scaled. The
// main window and the explorer each have one.
#include <QString>
#include <cstdint>
#include <string>

#include "engine/DownloaderView.h"

class QPlainTextEdit;
class QProgressBar;

namespace zrk {

class LogPane : public LogView {
  public:
    LogPane(QPlainTextEdit& text, QProgressBar& bar) : m_Text(text), m_Bar(bar) {}

    void appendLog(const std::string& text) override;
    void setLogText(const std::string& text) override;
    void setProgressRange(std::uint32_t total) override;
    void setProgressPos(std::uint32_t position) override;

    // The log exactly as written.
    const std::string& text() const { return m_Log; }

    // "\r\n", a lone "\r" and a lone "\n" each shown as one line break, also when a "\r\n" is
    // split across two calls (endsInCarriageReturn carries the state over).
    static QString displayForm(const std::string& text, bool& endsInCarriageReturn);

  private:
    QPlainTextEdit& m_Text;
    QProgressBar& m_Bar;
    std::string m_Log;
    bool m_EndsInCarriageReturn = false;
    int m_ProgressShift = 0;
};

}  // namespace zrk
