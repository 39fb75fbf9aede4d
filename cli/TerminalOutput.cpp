#include "cli/TerminalOutput.h"

#include "engine/SafeText.h"
#include "files/Terminal.h"

#include <cerrno>

namespace zrk::cli {

std::string normaliseLineEnds(const std::string& raw, const TextEncoding& encoding) {
    // Whatever a name brought along (ESC, BEL, a backspace, CSI) is shown, never obeyed.
    const std::string text = withoutControlCharacters(raw, encoding);
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r') {
            out += '\n';
            if (i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
        } else {
            out += text[i];
        }
    }
    return out;
}

TerminalOutput::TerminalOutput(std::FILE* out, std::FILE* err, bool outIsTerminal,
                               bool errIsTerminal)
    : m_Out(out), m_Err(err), m_OutIsTerminal(outIsTerminal), m_ErrIsTerminal(errIsTerminal) {
    const auto start = std::chrono::steady_clock::now();
    now = [start] {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    };
}

TerminalOutput::~TerminalOutput() {
    progressEnd();
    closeLogFile();
}

TerminalOutput& TerminalOutput::standard() {
    static TerminalOutput& output = []() -> TerminalOutput& {
        static TerminalOutput made(stdout, stderr, isTerminal(stdout), isTerminal(stderr));
        if (const auto columns = terminalColumns(stderr); columns && *columns > 20)
            made.width = *columns - 1;  // the last column would wrap on some terminals
        return made;
    }();
    return output;
}

bool TerminalOutput::openLogFile(const std::string& path) {
    closeLogFile();
    return m_LogFile.open(path);
}

bool TerminalOutput::closeLogFile() {
    return m_LogFile.close();
}

void TerminalOutput::toLogFile(const std::string& text) {
    m_LogFile.write(text);
}

void TerminalOutput::writeOut(const std::string& text) {
    if (text.empty())
        return;
    // A finished bar has been seen at 100%; it goes with the next log text.
    const bool redraw = m_BarShown && m_Position < m_Meter.total();
    if (m_BarShown && !redraw)
        m_BarActive = false;
    hideBar();
    if ((std::fputs(text.c_str(), m_Out) < 0 || std::fflush(m_Out) != 0) && m_OutError == 0)
        m_OutError = errno != 0 ? errno : EIO;
    const auto lastBreak = text.rfind('\n');
    if (lastBreak == std::string::npos)
        m_CurrentLine += text;
    else
        m_CurrentLine = text.substr(lastBreak + 1);
    if (redraw)
        drawBar();
}

void TerminalOutput::log(const std::string& text) {
    const std::string normal = normaliseLineEnds(text, m_Encoding);
    toLogFile(normal);
    if (!m_Quiet)
        writeOut(normal);
}

void TerminalOutput::startNewLine() {
    if (!m_LogFile.atLineStart())
        toLogFile("\n");
    if (!m_CurrentLine.empty())
        writeOut("\n");
}

void TerminalOutput::line(const std::string& text) {
    startNewLine();
    const std::string normal = normaliseLineEnds(text, m_Encoding) + "\n";
    toLogFile(normal);
    writeOut(normal);
}

void TerminalOutput::diagnostic(const std::string& raw) {
    const std::string text = printableName(raw, m_Encoding);
    rememberDiagnostic(text);
    // On a shared screen the complaint must not land in the middle of an open log line.
    if (m_OutIsTerminal && !m_CurrentLine.empty())
        writeOut("\n");
    const bool redraw = m_BarShown;
    hideBar();
    if (!m_LogFile.atLineStart())
        toLogFile("\n");
    toLogFile("zrk410: " + text + "\n");
    std::fprintf(m_Err, "zrk410: %s\n", text.c_str());
    std::fflush(m_Err);
    if (redraw)
        drawBar();
}

void TerminalOutput::progressBegin(std::uint64_t total, ProgressUnit unit) {
    m_Meter.begin(total, unit, now());
    m_BarActive = total > 0;
    m_Position = 0;
    m_LastDraw = -1;
}

void TerminalOutput::progressUpdate(std::uint64_t position) {
    if (!m_BarActive || !barAllowed())
        return;
    m_Position = position;
    if (position == 0)
        return;  // nothing moved yet; a bar at 0% would only flicker
    // A redraw per block would cost more than the block at 921600 baud; ten a second is plenty.
    const double t = now();
    if (m_LastDraw >= 0 && t - m_LastDraw < 0.1 && position < m_Meter.total())
        return;
    m_LastDraw = t;
    drawBar();
}

void TerminalOutput::progressEnd() {
    hideBar();
    m_BarActive = false;
}

void TerminalOutput::hideBar() {
    if (!m_BarShown)
        return;
    m_BarShown = false;
    std::fputs("\r\033[K", m_Err);
    std::fflush(m_Err);
    // The wipe took the open log line with it; put it back.
    if (sharedScreen() && !m_CurrentLine.empty()) {
        std::fputs(m_CurrentLine.c_str(), m_Out);
        std::fflush(m_Out);
    }
}

void TerminalOutput::drawBar() {
    if (!m_BarActive || !barAllowed() || m_Position == 0)
        return;
    // The bar and its figures need about 58 columns; a longer open line gives way, keeping its
    // end, which says what is running.
    constexpr int kBarRoom = 58;
    std::string prefix = sharedScreen() ? m_CurrentLine : std::string();
    const int prefixRoom = std::max(0, width - kBarRoom);
    if (static_cast<int>(prefix.size()) > prefixRoom) {
        prefix =
            prefixRoom >= 10
                ? "..." + prefix.substr(prefix.size() - static_cast<std::size_t>(prefixRoom - 3))
                : std::string();
    }
    const std::string bar =
        m_Meter.line(m_Position, now(), width - static_cast<int>(prefix.size()));
    std::fflush(m_Out);
    std::fputs(("\r\033[K" + prefix + bar).c_str(), m_Err);
    std::fflush(m_Err);
    m_BarShown = true;
}

}  // namespace zrk::cli
