#pragma once
// A log pane and its progress bar, as the protocol writes them: the text is kept verbatim with
// its own line ends and shown normalised; totals beyond the bar's int range are scaled. The
// main window and the explorer each have one.
#include <QString>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "app/ProgressRate.h"
#include "engine/DownloaderView.h"

class QPlainTextEdit;
class QProgressBar;

namespace zrk {

class LogPane : public LogView {
  public:
    LogPane(QPlainTextEdit& text, QProgressBar& bar) : m_Text(text), m_Bar(bar) {}

    void appendLog(std::string_view text) override;
    // A line of the program's own (a complaint, a hint) after the protocol's text: it starts a
    // line of its own when the log's last line is still open ("Checking FLASH ID... ").
    void appendNote(const std::string& text);
    void setLogText(const std::string& text) override;
    void setProgressRange(std::uint32_t total) override;
    void setProgressUnit(ProgressUnit unit) override { m_Rate.setUnit(unit); }
    // Past a few seconds the bar also shows the rate and the time left.
    void setProgressPos(std::uint32_t position) override;

    using Now = std::function<ProgressRate::Clock::time_point()>;
    void setClock(Now now) { m_Now = std::move(now); }

    // The log exactly as written.
    const std::string& text() const { return m_Log; }

    // "\r\n", a lone "\r" and a lone "\n" each shown as one line break, also when a "\r\n" is
    // split across two calls (endsInCarriageReturn carries the state over).
    static QString displayForm(std::string_view text, bool& endsInCarriageReturn);

  private:
    QPlainTextEdit& m_Text;
    QProgressBar& m_Bar;
    std::string m_Log;
    bool m_EndsInCarriageReturn = false;
    int m_ProgressShift = 0;
    ProgressRate m_Rate;
    Now m_Now = [] { return ProgressRate::Clock::now(); };
};

}  // namespace zrk
