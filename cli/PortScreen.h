#pragma once
// The screen of a run over several phones, shared by every port's thread under one lock.
// On a terminal (stderr) each port has one line that is redrawn in place: port, stage, bar,
// rate, time left, and with the loop its passes and failures. The log goes to stdout as whole
// lines prefixed with the port's name (never two ports' text in one line), except where the
// redrawn lines stand on the same screen: there the log only goes to the --log file, and the
// message lines and complaints appear above the port lines.
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "cli/ProgressMeter.h"
#include "cli/TerminalOutput.h"

namespace zrk::cli {

class PortScreen {
  public:
    // Streams, terminal-ness, width, clock and quietness are those of base.
    PortScreen(TerminalOutput& base, std::vector<std::string> names);
    ~PortScreen();
    PortScreen(const PortScreen&) = delete;
    PortScreen& operator=(const PortScreen&) = delete;

    bool openLogFile(const std::string& path);
    bool closeLogFile();  // false when it could not be written completely
    int outputError() const { return m_OutError; }
    bool drawsPortLines() const { return m_Block; }
    const TextEncoding& encoding() const { return m_Base.encoding(); }

    // One whole line of a port's log.
    void logLine(int port, const std::string& text);
    // A message box or a result line: shown even with --quiet.
    void messageLine(int port, const std::string& text);
    // "zrk410: COM2: text" on stderr.
    void diagnostic(int port, const std::string& text);
    // Our own line, unprefixed (the summary table).
    void plainLine(const std::string& text);

    void setStage(int port, const std::string& stage);
    void setCounts(int port, int passed, int failed);
    void progressBegin(int port, std::uint64_t total, ProgressUnit unit);
    void progressUpdate(int port, std::uint64_t position);
    void progressEnd(int port);
    // The port lines a last time, left standing above what follows.
    void finish();

  private:
    struct Line {
        std::string name;
        std::string stage;
        ProgressMeter meter;
        bool barActive = false;
        std::uint64_t position = 0;
        bool showCounts = false;
        int passed = 0;
        int failed = 0;
    };
    std::string prefixed(int port, const std::string& text) const;
    std::string render(Line& line, double now) const;
    void writeStdout(const std::string& text);  // lock held
    void toLogFile(const std::string& text);    // lock held
    void eraseBlock();                          // lock held
    void drawBlock(bool force);                 // lock held

    TerminalOutput& m_Base;
    std::mutex m_Lock;
    std::vector<Line> m_Lines;
    std::size_t m_NameWidth = 4;
    bool m_Block = false;       // port lines on stderr
    bool m_SameScreen = false;  // ...and stdout is that terminal too
    bool m_Finished = false;
    int m_Drawn = 0;  // lines of the block now on the screen
    double m_LastDraw = -1;
    LogFileCopy m_LogFile;
    int m_OutError = 0;
};

}  // namespace zrk::cli
