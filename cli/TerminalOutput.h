#pragma once
// Where the command line writes: the log on stdout, message lines, its own diagnostics on
// stderr, a copy of all of it in the --log file, and the progress bar on stderr when that is a
// terminal. When stdout and stderr share the screen, the bar is drawn on the log's current
// line after the text that waits for its "OK!", and is wiped before the log goes on.
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>

#include "cli/LogFileCopy.h"
#include "cli/ProgressMeter.h"
#include "engine/SafeText.h"

namespace zrk::cli {

class TerminalOutput {
  public:
    // Terminal-ness is given, not probed, so that tests can play a terminal into a file.
    TerminalOutput(std::FILE* out, std::FILE* err, bool outIsTerminal, bool errIsTerminal);
    virtual ~TerminalOutput();
    TerminalOutput(const TerminalOutput&) = delete;
    TerminalOutput& operator=(const TerminalOutput&) = delete;

    // The real stdout and stderr, asking the system whether they are terminals.
    static TerminalOutput& standard();

    // What the terminal shows as characters (the locale's code page): every other byte of a
    // name or a text is escaped.
    void setEncoding(const TextEncoding& encoding) { m_Encoding = encoding; }
    const TextEncoding& encoding() const { return m_Encoding; }
    // A name for a line of ours, in the terminal's encoding.
    std::string printable(const std::string& name) const { return printableName(name, m_Encoding); }

    // --quiet: no log and no bar on the terminal (the --log file still gets everything).
    void setQuiet(bool quiet) { m_Quiet = quiet; }
    bool openLogFile(const std::string& path);  // truncates; false when it cannot be created
    // False when the log file could not be written completely.
    bool closeLogFile();
    // Why text for stdout was lost (errno: a full disk behind a redirection), or 0.
    int outputError() const { return m_OutError; }

    // The engine's log text, verbatim apart from line ends ("\r\n" -> "\n").
    virtual void log(const std::string& text);
    // Ends the current log line if one is open (the window's log would start afresh).
    virtual void startNewLine();
    // A message box or a result: its own line, shown even with --quiet.
    virtual void line(const std::string& text);
    // Our own complaint: "zrk410: text" on stderr.
    virtual void diagnostic(const std::string& text);

    // What the bar shows beside its figures ("3/12 files"); empty for nothing.
    void progressNote(const std::string& note) { m_Meter.setNote(note); }
    virtual void progressBegin(std::uint64_t total, ProgressUnit unit);
    virtual void progressUpdate(std::uint64_t position);
    virtual void progressEnd();

    // Where this output writes, for a run of several ports that shares the screen.
    std::FILE* outStream() const { return m_Out; }
    std::FILE* errStream() const { return m_Err; }
    bool outIsTerminal() const { return m_OutIsTerminal; }
    bool errIsTerminal() const { return m_ErrIsTerminal; }
    bool quiet() const { return m_Quiet; }
    // The last complaint, for a summary or a report.
    const std::string& lastDiagnostic() const { return m_LastDiagnostic; }
    void clearLastDiagnostic() { m_LastDiagnostic.clear(); }

    // For tests: the clock (seconds) and the terminal width.
    std::function<double()> now;
    int width = 80;

  protected:
    void rememberDiagnostic(const std::string& text) { m_LastDiagnostic = text; }

  private:
    bool barAllowed() const { return m_ErrIsTerminal && !m_Quiet; }
    bool sharedScreen() const { return m_OutIsTerminal && m_ErrIsTerminal; }
    void writeOut(const std::string& text);
    void toLogFile(const std::string& text);
    void hideBar();
    void drawBar();

    std::FILE* m_Out;
    std::FILE* m_Err;
    bool m_OutIsTerminal;
    bool m_ErrIsTerminal;
    bool m_Quiet = false;
    TextEncoding m_Encoding;
    LogFileCopy m_LogFile;
    int m_OutError = 0;

    std::string m_CurrentLine;  // stdout text since its last line end
    ProgressMeter m_Meter;
    bool m_BarActive = false;
    bool m_BarShown = false;
    std::uint64_t m_Position = 0;
    double m_LastDraw = -1;
    std::string m_LastDiagnostic;
};

// "\r\n" and a lone "\r" become "\n"; every other byte that is no printable character of the
// encoding is escaped.
std::string normaliseLineEnds(const std::string& text, const TextEncoding& encoding = {});

}  // namespace zrk::cli
