#include "cli/TerminalView.h"

#include <algorithm>

#include "cli/TerminalOutput.h"

namespace zrk::cli {

TerminalView::TerminalView(TerminalOutput& output, UserChoices choices, PromptAnswers answers)
    : m_Output(output), m_Choices(std::move(choices)), m_Answers(std::move(answers)) {
    // Identification must hand over to us, not press DOWNLOAD by itself.
    m_Choices.autoDownload = false;
}

void TerminalView::appendLog(std::string_view text) {
    m_Output.log(std::string(text));
}

void TerminalView::setLogText(const std::string& text) {
    // A terminal cannot clear what it has printed; the new text starts on a line of its own.
    m_Output.startNewLine();
    m_Output.log(text);
}

void TerminalView::setProgressRange(std::uint32_t total) {
    m_Output.progressBegin(total, m_Unit);
}

void TerminalView::setProgressPos(std::uint32_t position) {
    m_Output.progressUpdate(position);
}

void TerminalView::heard(const LinkFact& fact) {
    if (const auto* flash = std::get_if<FlashNamed>(&fact))
        m_FlashName = flash->name;
}

void TerminalView::endProgressOn(std::optional<FrameTurn> turn) {
    if (turn == FrameTurn::Freed || turn == FrameTurn::Closed)
        m_Output.progressEnd();
}

void TerminalView::messageBox(const std::string& text, MessageIcon) {
    m_Output.line(text);
}

bool TerminalView::askYesNo(const std::string& text) {
    m_Output.line(text + (m_Answers.yes ? " -> yes (--yes)" : " -> no (give --yes to confirm)"));
    return m_Answers.yes;
}

std::string TerminalView::chooseSaveFile(const SaveFileRequest&) {
    return m_Answers.saveFile;
}

bool TerminalView::selectSectors(const SectorMap&, std::vector<std::int32_t>& sectorSelected) {
    if (m_Answers.sectors.empty())
        return false;
    const std::size_t n = std::min(sectorSelected.size(), m_Answers.sectors.size());
    std::copy_n(m_Answers.sectors.begin(), n, sectorSelected.begin());
    return true;
}

void TerminalView::startBaudTimer(int milliseconds) {
    if (onStartTimer)
        onStartTimer(milliseconds);
}

void TerminalView::stopBaudTimer() {
    if (onStopTimer)
        onStopTimer();
}

void TerminalView::clearRecord() {
    m_Outcome.reset();
}

}  // namespace zrk::cli
