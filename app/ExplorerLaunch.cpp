#include "app/ExplorerLaunch.h"

#include "app/Prompter.h"
#include "app/dialogs/FsExplorerDialog.h"
#include "filesystem/CodePage.h"
#include "filesystem/explorer/ExplorerEngine.h"

namespace zrk {

std::string runExplorer(QWidget& mainWindow, DownloaderView& view, SerialLink& link, LinkPump& pump,
                        Prompter& prompter, const UserChoices& choices,
                        std::chrono::milliseconds silenceLimit) {
    std::string error;
    auto codePage =
        CodePage::open(choices.codePage.empty() ? localeCodePageName() : choices.codePage, &error);
    if (!codePage) {
        view.messageBox("Unknown code page for the QIX names!", MessageIcon::Warning);
        return {};
    }
    view.setProgressPos(0);
    // Not held like a prompt: while it runs, the explorer is the one the link's news are for.
    FsExplorerDialog explorer(link, pump, prompter, std::move(*codePage), &mainWindow);
    explorer.setSilenceLimit(silenceLimit);
    explorer.setMainLogNote(
        [&view](const std::string& note) { view.appendLog("\r\n" + note + "\r\n"); });
    // The window's controls are inert while the explorer has the link, and look it. Disabling
    // the window leaves each control's own state alone (also one the engine changes meanwhile),
    // so enabling it brings every control back as it should be. It comes back as soon as the
    // explorer gives the link back: what follows (a lost link's Stop) finds a usable window.
    mainWindow.setEnabled(false);
    explorer.setEnabled(true);
    QObject::connect(&explorer, &QDialog::finished, &mainWindow,
                     [&mainWindow] { mainWindow.setEnabled(true); });
    explorer.start();
    prompter.runDialog(explorer);
    mainWindow.setEnabled(true);
    // The explorer's log went with it: a transfer it cut short is told here.
    return explorer.engine().cutShortNote();
}

}  // namespace zrk
