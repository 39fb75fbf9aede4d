#include "cli/PortScreen.h"

#include <algorithm>
#include <cerrno>

#include "engine/SafeText.h"
#include "station/StageWords.h"

namespace zrk::cli {

PortScreen::PortScreen(TerminalOutput& base, std::vector<std::string> names) : m_Base(base) {
    for (auto& name : names) {
        m_NameWidth = std::max(m_NameWidth, name.size());
        Line line;
        line.name = std::move(name);
        line.stage = station::stageWords(station::PortState::Idle).line;
        m_Lines.push_back(std::move(line));
    }
    m_Block = base.errIsTerminal() && !base.quiet();
    m_SameScreen = m_Block && base.outIsTerminal();
}

PortScreen::~PortScreen() {
    finish();
    closeLogFile();
}

bool PortScreen::openLogFile(const std::string& path) {
    std::lock_guard lock(m_Lock);
    return m_LogFile.open(path);
}

bool PortScreen::closeLogFile() {
    std::lock_guard lock(m_Lock);
    return m_LogFile.close();
}

std::string PortScreen::prefixed(int port, const std::string& text) const {
    std::string name = m_Lines[static_cast<std::size_t>(port)].name + ":";
    if (text.empty())
        return name;
    name.resize(std::max(name.size(), m_NameWidth + 1), ' ');
    return name + " " + text;
}

void PortScreen::toLogFile(const std::string& text) {
    m_LogFile.write(text);
}

void PortScreen::writeStdout(const std::string& text) {
    const bool covered = m_SameScreen && m_Drawn > 0;
    if (covered)
        eraseBlock();
    std::FILE* out = m_Base.outStream();
    if ((std::fputs(text.c_str(), out) < 0 || std::fflush(out) != 0) && m_OutError == 0)
        m_OutError = errno != 0 ? errno : EIO;
    if (covered)
        drawBlock(true);
}

void PortScreen::logLine(int port, const std::string& text) {
    std::lock_guard lock(m_Lock);
    const std::string whole = prefixed(port, text) + "\n";
    toLogFile(whole);
    // Where the port lines stand on stdout's screen, they tell what the log would.
    if (!m_Base.quiet() && !m_SameScreen)
        writeStdout(whole);
}

void PortScreen::messageLine(int port, const std::string& text) {
    std::lock_guard lock(m_Lock);
    const std::string whole = prefixed(port, text) + "\n";
    toLogFile(whole);
    writeStdout(whole);
}

void PortScreen::plainLine(const std::string& text) {
    std::lock_guard lock(m_Lock);
    // The summary's rows carry port names and failure words: shown, never obeyed.
    const std::string whole = withoutControlCharacters(text, encoding()) + "\n";
    toLogFile(whole);
    writeStdout(whole);
}

void PortScreen::diagnostic(int port, const std::string& text) {
    std::lock_guard lock(m_Lock);
    const std::string whole = "zrk410: " + m_Lines[static_cast<std::size_t>(port)].name + ": " +
                              printableName(text, m_Base.encoding()) + "\n";
    toLogFile(whole);
    const bool covered = m_Block && m_Drawn > 0;
    if (covered)
        eraseBlock();
    std::fputs(whole.c_str(), m_Base.errStream());
    std::fflush(m_Base.errStream());
    if (covered)
        drawBlock(true);
}

void PortScreen::setStage(int port, const std::string& stage) {
    std::lock_guard lock(m_Lock);
    Line& line = m_Lines[static_cast<std::size_t>(port)];
    if (line.stage == stage)
        return;
    line.stage = stage;
    drawBlock(true);
}

void PortScreen::setCounts(int port, int passed, int failed) {
    std::lock_guard lock(m_Lock);
    Line& line = m_Lines[static_cast<std::size_t>(port)];
    line.showCounts = true;
    line.passed = passed;
    line.failed = failed;
    drawBlock(true);
}

void PortScreen::progressBegin(int port, std::uint64_t total, ProgressUnit unit) {
    std::lock_guard lock(m_Lock);
    Line& line = m_Lines[static_cast<std::size_t>(port)];
    line.meter.begin(total, unit, m_Base.now());
    line.barActive = total > 0;
    line.position = 0;
    drawBlock(true);
}

void PortScreen::progressUpdate(int port, std::uint64_t position) {
    std::lock_guard lock(m_Lock);
    Line& line = m_Lines[static_cast<std::size_t>(port)];
    if (!line.barActive)
        return;
    line.position = position;
    drawBlock(false);
}

void PortScreen::progressEnd(int port) {
    std::lock_guard lock(m_Lock);
    Line& line = m_Lines[static_cast<std::size_t>(port)];
    if (!line.barActive)
        return;
    line.barActive = false;
    drawBlock(true);
}

void PortScreen::finish() {
    std::lock_guard lock(m_Lock);
    if (m_Finished)
        return;
    drawBlock(true);
    m_Finished = true;
    m_Drawn = 0;  // left standing: what follows is written below it
}

std::string PortScreen::render(Line& line, double now) const {
    std::string text = line.name;
    text.resize(m_NameWidth + 2, ' ');
    std::string stage = line.stage;
    stage.resize(std::max<std::size_t>(stage.size() + 1, 22), ' ');
    text += stage;
    std::string counts;
    if (line.showCounts)
        counts = "  " + std::to_string(line.passed) + " passed, " + std::to_string(line.failed) +
                 " failed";
    const int width = std::max(20, m_Base.width);
    const int room = width - static_cast<int>(text.size() + counts.size());
    if (line.barActive && line.position > 0 && room > 10)
        text += line.meter.line(line.position, now, room);
    text += counts;
    if (static_cast<int>(text.size()) > width)
        text.resize(static_cast<std::size_t>(width));
    return text;
}

void PortScreen::eraseBlock() {
    if (m_Drawn == 0)
        return;
    std::fprintf(m_Base.errStream(), "\033[%dA\r\033[J", m_Drawn);
    m_Drawn = 0;
}

void PortScreen::drawBlock(bool force) {
    if (!m_Block || m_Finished)
        return;
    // Every port's block would otherwise cost more than the block at 921600 baud.
    const double now = m_Base.now();
    if (!force && m_LastDraw >= 0 && now - m_LastDraw < 0.1)
        return;
    m_LastDraw = now;
    std::string text;
    if (m_Drawn > 0)
        text = "\033[" + std::to_string(m_Drawn) + "A";
    for (Line& line : m_Lines)
        text += "\r\033[K" + render(line, now) + "\n";
    if (m_SameScreen)
        std::fflush(m_Base.outStream());
    std::fputs(text.c_str(), m_Base.errStream());
    std::fflush(m_Base.errStream());
    m_Drawn = static_cast<int>(m_Lines.size());
}

}  // namespace zrk::cli
