#include "app/OperationButtons.h"

#include <chrono>

#include "app/BoundChoices.h"
#include "app/ExplorerLaunch.h"
#include "app/ImageFiles.h"
#include "app/LinkPump.h"
#include "app/NoAnswerHint.h"
#include "app/Prompter.h"
#include "app/SettingsStore.h"
#include "engine/SafeText.h"
#include "engine/SilenceWatch.h"
#include "filesystem/NotFirmware.h"
#include "protocol/ProtocolEngine.h"
#include "ui_MainWindow.h"

namespace zrk {

OperationButtons::OperationButtons(Parts parts) : m_Parts(parts) {
    Ui::MainWindow& ui = m_Parts.ui;
    ProtocolEngine& engine = m_Parts.engine;
    connect(ui.startButton, &QPushButton::clicked, this, &OperationButtons::onStart);
    connect(ui.stopButton, &QPushButton::clicked, this, &OperationButtons::onStop);
    const auto& choices = m_Parts.currentChoices;
    connect(ui.downloadButton, &QPushButton::clicked, this, [this, &engine, &choices] {
        if (firmwareChoiceConfirmed())
            engine.download(choices());
    });
    connect(ui.eraseButton, &QPushButton::clicked, this,
            [&engine, &choices] { engine.erase(choices()); });
    connect(ui.dumpButton, &QPushButton::clicked, this,
            [&engine, &choices] { engine.dump(choices()); });
    connect(ui.formatButton, &QPushButton::clicked, this,
            [&engine, &choices] { engine.format(choices()); });
    connect(ui.explorerButton, &QPushButton::clicked, this, &OperationButtons::openExplorer);
    connect(ui.statusButton, &QPushButton::clicked, this,
            [&engine, &choices] { engine.status(choices()); });
}

bool OperationButtons::firmwareChoiceConfirmed() {
    const int mode = m_Parts.choices.downloadMode();
    if (mode != static_cast<int>(DownloadMode::ModeBin) &&
        mode != static_cast<int>(DownloadMode::ModeBinAndQix))
        return true;
    const std::string path = m_Parts.images.binPath().toStdString();
    const auto what = notFirmwareImage(path);
    if (!what)
        return true;
    PromptHold prompt(m_Parts.pump);
    return m_Parts.prompter.askYesNo(
        &m_Parts.window,
        QString::fromStdString(printableName(path) + " looks like " + *what +
                               ", not a firmware image. Write it into the NOR flash anyway?"),
        DefaultAnswer::No);
}

void OperationButtons::onStart() {
    // With the download starting by itself, its image is questioned before the phone is.
    if (m_Parts.choices.autoDownload() && !firmwareChoiceConfirmed())
        return;
    m_Parts.engine.start(m_Parts.currentChoices());
    m_Parts.noAnswerHint.armAfterStart();
}

bool OperationButtons::mayInterrupt() {
    if (!m_Parts.engine.writingToFlash())
        return true;
    // Not held like the protocol's prompts: the write goes on while the person reads, so a
    // phone that would time out a pause is not lost by asking. Should it finish meanwhile,
    // a Yes only closes the link.
    return m_Parts.prompter.askYesNo(
        &m_Parts.window, QStringLiteral("The phone's flash will be left incomplete. Stop anyway?"),
        DefaultAnswer::No);
}

void OperationButtons::onStop() {
    if (!mayInterrupt())
        return;
    m_Parts.noAnswerHint.stop();
    m_Parts.engine.stop();
}

void OperationButtons::openExplorer() {
    if (m_Parts.engine.stage() != Stage::Ready)
        return;
    // "ExplorerTimeout": seconds without a reply before an explorer wait gives up, as the
    // command line's --timeout (0 waits for ever); absent or unreadable, the same default.
    bool given = false;
    const int stored = m_Parts.settings.readString(QStringLiteral("ExplorerTimeout")).toInt(&given);
    const std::chrono::seconds silence =
        given && stored >= 0 ? std::chrono::seconds(stored) : kDefaultSilenceLimit;
    if (const std::string note =
            runExplorer(m_Parts.window, m_Parts.view, m_Parts.link, m_Parts.pump, m_Parts.prompter,
                        m_Parts.currentChoices(), silence);
        !note.empty())
        m_Parts.view.appendLog("\r\n" + note + "\r\n");
}

}  // namespace zrk
