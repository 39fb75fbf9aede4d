#include "app/WindowPrompts.h"

#include "app/AboutDialog.h"
#include "app/LinkPump.h"
#include "app/Prompter.h"
#include "app/dialogs/SectorSelectDialog.h"

namespace zrk {

WindowPrompts::WindowPrompts(QWidget& window, Prompter& prompter, LinkPump& pump)
    : m_Window(window), m_Prompter(prompter), m_Pump(pump) {}

void WindowPrompts::message(const std::string& text, MessageIcon icon, const QString& detail) {
    PromptHold prompt(m_Pump);
    m_Prompter.message(&m_Window, QString::fromStdString(text), icon, detail);
}

bool WindowPrompts::askYesNo(const std::string& text) {
    PromptHold prompt(m_Pump);
    // The protocol's questions confirm what cannot be undone ("Sure to FORMAT?").
    return m_Prompter.askYesNo(&m_Window, QString::fromStdString(text), DefaultAnswer::No);
}

std::string WindowPrompts::chooseSaveFile(const SaveFileRequest& request) {
    PromptHold prompt(m_Pump);
    return m_Prompter.saveFile(&m_Window, saveDialogFor(request)).toStdString();
}

bool WindowPrompts::selectSectors(const SectorMap& map, std::vector<std::int32_t>& sectorSelected) {
    PromptHold prompt(m_Pump);
    SectorSelectDialog dialog(map, sectorSelected, &m_Window);
    dialog.setWarning([this](QWidget* parent, const QString& text) {
        m_Prompter.message(parent, text, MessageIcon::Warning, {});
    });
    return m_Prompter.runDialog(dialog) == QDialog::Accepted;
}

void WindowPrompts::showAbout() {
    PromptHold prompt(m_Pump);
    AboutDialog dialog(&m_Window);
    m_Prompter.runDialog(dialog);
}

}  // namespace zrk
