#include "cli/PortOutput.h"

#include "engine/SafeText.h"

namespace zrk::cli {

PortOutput::PortOutput(PortScreen& screen, int port)
    : TerminalOutput(nullptr, nullptr, false, false), m_Screen(screen), m_Port(port) {
    setEncoding(screen.encoding());
}

PortOutput::~PortOutput() {
    startNewLine();
}

void PortOutput::followStage() {
    if (!stageProbe)
        return;
    std::string stage = stageProbe();
    if (!stage.empty() && stage != m_Stage) {
        m_Stage = stage;
        m_Screen.setStage(m_Port, stage);
    }
}

void PortOutput::setStage(const std::string& stage) {
    m_Stage = stage;
    m_Screen.setStage(m_Port, stage);
}

void PortOutput::log(const std::string& text) {
    followStage();
    m_Pending += normaliseLineEnds(text, encoding());
    std::size_t start = 0;
    for (std::size_t end; (end = m_Pending.find('\n', start)) != std::string::npos; start = end + 1)
        m_Screen.logLine(m_Port, m_Pending.substr(start, end - start));
    m_Pending.erase(0, start);
}

void PortOutput::startNewLine() {
    if (m_Pending.empty())
        return;
    m_Screen.logLine(m_Port, m_Pending);
    m_Pending.clear();
}

void PortOutput::line(const std::string& text) {
    startNewLine();
    followStage();
    std::string normal = normaliseLineEnds(text, encoding());
    std::size_t start = 0;
    for (std::size_t end; (end = normal.find('\n', start)) != std::string::npos; start = end + 1)
        m_Screen.messageLine(m_Port, normal.substr(start, end - start));
    if (start < normal.size() || normal.empty())
        m_Screen.messageLine(m_Port, normal.substr(start));
}

void PortOutput::diagnostic(const std::string& text) {
    startNewLine();
    rememberDiagnostic(text);
    m_Screen.diagnostic(m_Port, text);
}

void PortOutput::progressBegin(std::uint64_t total, ProgressUnit unit) {
    followStage();
    m_Screen.progressBegin(m_Port, total, unit);
}

void PortOutput::progressUpdate(std::uint64_t position) {
    m_Screen.progressUpdate(m_Port, position);
}

void PortOutput::progressEnd() {
    m_Screen.progressEnd(m_Port);
    followStage();
}

}  // namespace zrk::cli
