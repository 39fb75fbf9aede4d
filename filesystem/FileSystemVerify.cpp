#include "filesystem/FileSystemVerify.h"

#include <filesystem>

#include "engine/ElapsedTime.h"
#include "engine/OpenFile.h"
#include "engine/PhaseContext.h"
#include "engine/SafeText.h"
#include "engine/TextFormat.h"
#include "files/OutputFolder.h"
#include "files/PathText.h"
#include "files/TemporaryFolder.h"
#include "filesystem/CodePage.h"
#include "filesystem/FileSystemStates.h"
#include "filesystem/QixConfig.h"
#include "filesystem/QixUsable.h"
#include "filesystem/ReadBackCompare.h"
#include "filesystem/VerifyComparison.h"
#include "filesystem/explorer/ExplorerEngine.h"
#include "filesystem/explorer/TreeWalk.h"

namespace zrk {

using namespace fs;

FileSystemVerify::FileSystemVerify(PhaseContext& context) : m_Context(context) {
    m_Context.holdFiles(*this);
    // Stop while the explorer has the link: it gives the link back before the port closes.
    m_Context.onStop([this] {
        if (m_Explorer && m_Explorer->isOpen()) {
            if (m_Comparison)
                m_Comparison->abandon();
            releaseExplorer();
        }
        if (m_TimerHeld)
            m_TimerHeld = false;
    });
}

FileSystemVerify::~FileSystemVerify() {
    releaseExplorer();
}

void FileSystemVerify::releaseExplorer() {
    m_Walk.reset();
    m_Comparison.reset();
    m_Explorer.reset();
    removeFolder();
}

void FileSystemVerify::removeFolder() {
    m_ReadBackFolder.reset();
    if (!m_Folder.empty()) {
        std::error_code error;
        std::filesystem::remove_all(pathOfText(m_Folder), error);
        m_Folder.clear();
    }
}

bool FileSystemVerify::prepare(Operation operation) {
    const UserChoices& choices = m_Context.request();
    const auto refuse = [&](FailureCause cause, const std::string& why) {
        m_Context.log("\r\n** " + why + "; nothing was compared.\r\n");
        if (m_AfterDownload) {
            m_Context.reportFailure(cause, why);
            m_Context.finishOperation();
        } else {
            m_Context.refuse(operation, cause, why);
        }
        return false;
    };
    std::string error;
    const auto codePage = CodePage::open(qixCodePageInUse(choices), &error);
    if (!codePage)
        return refuse(FailureCause::Refused, error);
    QixCheckResult check = checkQixFiles(choices.qixPath, choices.cfgPath);
    if (!check.ok())
        return refuse(check.messageText.rfind("Fail to open", 0) == 0 ? FailureCause::File
                                                                      : FailureCause::Refused,
                      check.messageText.empty() ? "the QIX files do not match" : check.messageText);
    QixConfig& config = *check.config;
    const QixUsability usability = checkQixUsable(config, *codePage);
    if (usability.layout)
        return refuse(FailureCause::Refused, qixTreeRefusal(*usability.layout, choices.cfgPath));
    if (const QixNameCheck& names = usability.names; !names.ok()) {
        m_Context.log("\r\n" + names.problem->complaint + "\r\n" +
                      qixNameExplanation(names, choices.cfgPath, codePage->name(),
                                         choices.codePageControl, "nothing was compared"));
        const std::string why =
            "a name in " + choices.cfgPath + " is not usable in the code page " + codePage->name();
        if (m_AfterDownload) {
            m_Context.reportFailure(FailureCause::Refused, why);
            m_Context.finishOperation();
        } else {
            m_Context.refuse(operation, FailureCause::Refused, why);
        }
        return false;
    }
    std::string whyNot;
    auto plan = planVerify(config, *codePage, &whyNot);
    if (!plan)
        return refuse(FailureCause::Refused, whyNot);
    m_Directories = std::move(plan->directories);
    m_Files = std::move(plan->files);
    m_Total = plan->total;
    if (!m_Image.openForReading(choices.qixPath))
        return refuse(FailureCause::File, "cannot read " + choices.qixPath);
    const auto made = makeTemporaryFolder("zrk410-verify-");
    if (!made) {
        m_Image.close();
        return refuse(FailureCause::File, "cannot create a folder for the files read back");
    }
    m_Folder = *made;
    m_ReadBackFolder = OutputFolder::openOrCreate(m_Folder, nullptr);
    if (!m_ReadBackFolder) {
        m_Image.close();
        removeFolder();
        return refuse(FailureCause::File, "cannot create a folder for the files read back");
    }
    m_ReadBackPath = textOfPath(pathOfText(m_Folder) / VerifyComparison::kReadBackName);
    return true;
}

void FileSystemVerify::press() {
    m_AfterDownload = false;
    m_OnGood = nullptr;
    releaseExplorer();
    if (!prepare(Operation::FileSystemVerify))
        return;
    m_Context.trackOperation(Operation::FileSystemVerify);
    m_Context.setOperationKind(OP_VERIFY_FILE_SYSTEM);
    m_Context.view().setProgressPos(0);
    m_Context.view().setLogText(" \r\n");
    m_Context.log("** Verifying QIX system **\r\n");
    begin();
}

void FileSystemVerify::afterDownload(std::function<void()> onGood) {
    m_AfterDownload = true;
    m_OnGood = std::move(onGood);
    releaseExplorer();
    m_Context.log("\r\n** Verifying QIX system **\r\n");
    if (!prepare(Operation::FileSystemVerify))
        return;
    m_Context.setOperationKind(OP_VERIFY_FILE_SYSTEM);
    m_Context.view().setProgressPos(0);
    begin();
}

void FileSystemVerify::begin() {
    m_Started = m_Context.clock().nowSeconds();
    m_LinkLost = false;
    m_Context.view().setProgressRange(static_cast<std::uint32_t>(m_Total));
    m_Context.setState(stateNumber(FileSystemState::VERIFYING_FILE_SYSTEM));
    // The names go to the phone as the configuration gave them, already in UTF-8.
    auto utf8 = CodePage::open("UTF-8", nullptr);
    // Nobody watches the explorer's own texts and prompts: the verify writes its own lines.
    m_Explorer = std::make_unique<ExplorerEngine>(m_Context.link(), nullptr, std::move(*utf8),
                                                  m_Context.clock());
    m_Walk = std::make_unique<TreeWalk>(*m_Explorer);
    m_Comparison = std::make_unique<VerifyComparison>(m_Context, *m_Walk, m_Image, m_Directories,
                                                      m_Files, m_ReadBackFolder, m_ReadBackPath);
    m_Walk->onResult = [this](const TreeWalkResult& result) { walked(result); };
    m_Walk->onReadProgress = [this](std::uint32_t position) {
        m_Comparison->readProgress(position);
    };
    m_Walk->onStartQuietTimer = [this](int milliseconds) { startQuietTimer(milliseconds); };
    m_Walk->onStopQuietTimer = [this] { stopQuietTimer(); };
    m_Walk->onGivenBack = [this] { givenBack(); };
    m_Walk->attach();
    m_Comparison->mount();
}

void FileSystemVerify::walked(const TreeWalkResult& result) {
    switch (result.outcome.kind) {
        case OutcomeKind::Stopped:
            return;  // our own closing exchange
        case OutcomeKind::LinkLost:
            // The main engine hears of it next and ends the operation as a lost link.
            m_LinkLost = true;
            m_Comparison->abandon();
            return;
        default:
            break;
    }
    m_Comparison->handle(result);
}

void FileSystemVerify::givenBack() {
    if (m_LinkLost || !m_Comparison->closing())
        return;
    m_Comparison->closed();
    std::optional<VerifyVerdict> verdict = m_Comparison->verdict();
    // A comparison that held is still no verdict while the phone has not confirmed the unmount:
    // the file system may be left mounted, as an fs command would report.
    const auto& unmount = m_Explorer->unmountOutcome();
    if (unmount && !unmount->completed() && (!verdict || verdict->cause == FailureCause::None)) {
        m_Context.log("** The phone did not confirm the unmount: " + unmount->detail + " **\r\n");
        verdict = VerifyVerdict{
            unmount->cause == FailureCause::None ? FailureCause::PhoneReply : unmount->cause,
            "the phone did not confirm the unmount: " + unmount->detail};
    }
    report(verdict.value_or(VerifyVerdict{FailureCause::PhoneReply, "no verdict"}));
}

void FileSystemVerify::report(const VerifyVerdict& verdict) {
    m_Image.close();
    removeFolder();
    if (verdict.cause == FailureCause::None)
        m_Context.log(formatLine("Verify OK: %llu bytes in %d files, %d directories\r\n",
                                 static_cast<unsigned long long>(m_Total),
                                 static_cast<int>(m_Files.size()),
                                 static_cast<int>(m_Directories.size())));
    m_Context.log(
        formatElapsed("Verify time %M:%S\r\n", m_Context.clock().nowSeconds() - m_Started));
    m_Context.setState(IDLE);
    if (verdict.cause == FailureCause::None) {
        if (m_AfterDownload && m_OnGood) {
            m_OnGood();
            return;
        }
        m_Context.view().messageBox("Verify completed!", MessageIcon::Information);
        m_Context.reportCompleted(m_Total);
        m_Context.finishOperation();
        return;
    }
    m_Context.view().messageBox("Verify failed!", MessageIcon::Error);
    m_Context.reportFailure(verdict.cause, verdict.detail);
    m_Context.finishOperation();
}

bool FileSystemVerify::onTimer() {
    if (!m_TimerHeld)
        return false;
    m_TimerHeld = false;
    if (m_Explorer)
        m_Explorer->onQuietTimer();
    return true;
}

void FileSystemVerify::startQuietTimer(int milliseconds) {
    m_TimerHeld = true;
    m_Context.startBaudTimer(milliseconds);
}

void FileSystemVerify::stopQuietTimer() {
    if (!m_TimerHeld)
        return;
    m_TimerHeld = false;
    m_Context.stopBaudTimer();
}

}  // namespace zrk
