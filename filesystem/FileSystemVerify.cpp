#include "filesystem/FileSystemVerify.h"

#include <algorithm>
#include <array>
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
#include "filesystem/QixNameCheck.h"
#include "filesystem/QixTreeCheck.h"
#include "filesystem/ReadBackCompare.h"
#include "filesystem/explorer/ExplorerEngine.h"
#include "filesystem/explorer/TreeWalk.h"

namespace zrk {

using namespace fs;

FileSystemVerify::FileSystemVerify(PhaseContext& context) : m_Context(context) {
    // Stop while the explorer has the link: it gives the link back before the port closes.
    m_Context.onStop([this] {
        if (m_Explorer && m_Explorer->isOpen()) {
            m_Step = Step::Idle;
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
    const auto codePage =
        CodePage::open(choices.codePage.empty() ? localeCodePageName() : choices.codePage, &error);
    if (!codePage)
        return refuse(FailureCause::Refused, error);
    QixCheckResult check = checkQixFiles(choices.qixPath, choices.cfgPath);
    if (!check.ok())
        return refuse(check.messageText.rfind("Fail to open", 0) == 0 ? FailureCause::File
                                                                      : FailureCause::Refused,
                      check.messageText.empty() ? "the QIX files do not match" : check.messageText);
    QixConfig& config = *check.config;
    if (const auto lines = checkQixLines(config.text()))
        return refuse(FailureCause::Refused, qixTreeRefusal(*lines, choices.cfgPath));
    if (const QixNameCheck names = checkQixNames(config, *codePage); !names.ok()) {
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
    if (const auto tree = checkQixTree(config, *codePage))
        return refuse(FailureCause::Refused, qixTreeRefusal(*tree, choices.cfgPath));
    std::string whyNot;
    auto plan = planVerify(config, *codePage, &whyNot);
    if (!plan)
        return refuse(FailureCause::Refused, whyNot);
    m_Directories = std::move(plan->directories);
    m_Files = std::move(plan->files);
    m_Total = plan->total;
    if (!m_Context.qixImage.openForReading(choices.qixPath))
        return refuse(FailureCause::File, "cannot read " + choices.qixPath);
    const auto made = makeTemporaryFolder("zrk410-verify-");
    if (!made) {
        m_Context.qixImage.close();
        return refuse(FailureCause::File, "cannot create a folder for the files read back");
    }
    m_Folder = *made;
    m_ReadBackFolder = OutputFolder::openOrCreate(m_Folder, nullptr);
    if (!m_ReadBackFolder) {
        m_Context.qixImage.close();
        removeFolder();
        return refuse(FailureCause::File, "cannot create a folder for the files read back");
    }
    m_ReadBackPath = textOfPath(pathOfText(m_Folder) / kReadBackName);
    m_ImagePath = choices.qixPath;
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
    m_Context.view().lockControls();
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
    m_Missing.clear();
    m_Verdict.reset();
    m_Verified = 0;
    m_Next = 0;
    m_LinkLost = false;
    m_Context.view().setProgressRange(static_cast<std::uint32_t>(m_Total));
    m_Context.setState(VERIFYING_FILE_SYSTEM);
    // The names go to the phone as the configuration gave them, already in UTF-8.
    auto utf8 = CodePage::open("UTF-8", nullptr);
    // Nobody watches the explorer's own texts and prompts: the verify writes its own lines.
    m_Explorer = std::make_unique<ExplorerEngine>(m_Context.link(), nullptr, std::move(*utf8),
                                                  m_Context.clock());
    m_Walk = std::make_unique<TreeWalk>(*m_Explorer);
    m_Walk->onResult = [this](const TreeWalkResult& result) { walked(result); };
    m_Walk->onReadProgress = [this](std::uint32_t position) { readProgress(position); };
    m_Walk->onStartQuietTimer = [this](int milliseconds) { startQuietTimer(milliseconds); };
    m_Walk->onStopQuietTimer = [this] { stopQuietTimer(); };
    m_Walk->onGivenBack = [this] { givenBack(); };
    m_Walk->attach();
    m_Context.log("Mounting QIX system... ");
    m_Step = Step::Mounting;
    m_Walk->mount();
}

void FileSystemVerify::walked(const TreeWalkResult& result) {
    switch (result.outcome.kind) {
        case OutcomeKind::Stopped:
            return;  // our own closing exchange
        case OutcomeKind::LinkLost:
            // The main engine hears of it next and ends the operation as a lost link.
            m_LinkLost = true;
            m_Step = Step::Idle;
            return;
        default:
            break;
    }
    handle(result);
}

void FileSystemVerify::handle(const TreeWalkResult& result) {
    const bool ok = result.completed();
    switch (m_Step) {
        case Step::Mounting:
            if (!ok) {
                m_Context.log("Fail!\r\n");
                fail(FailureCause::PhoneReply,
                     "\r\n** The file system could not be mounted and listed; nothing was "
                     "compared.\r\n",
                     "the file system could not be mounted for the verify");
                return;
            }
            m_Context.log("OK!\r\n");
            m_Next = 0;
            nextDirectory();
            return;
        case Step::Listing:
            if (ok) {
                m_Context.log("OK!\r\n");
            } else {
                m_Context.log("missing!\r\n");
                m_Missing.push_back(m_Directories[m_Next]);
            }
            ++m_Next;
            nextDirectory();
            return;
        case Step::Status: {
            const VerifyPlan::File& file = m_Files[m_Next];
            if (!ok || !result.status) {
                m_Context.log("missing!\r\n");
                const std::string line = formatText("Verify FAILED: \"%s\" is missing",
                                                    printableName(file.path).c_str());
                fail(FailureCause::Verify, line + "\r\n", line);
                return;
            }
            const std::int32_t size = result.status->size;
            if (size < 0 || static_cast<std::uint32_t>(size) != file.size) {
                m_Context.log("Fail!\r\n");
                const std::string line = formatText(
                    "Verify FAILED: \"%s\" holds %lld bytes, expected %u",
                    printableName(file.path).c_str(), static_cast<long long>(size), file.size);
                fail(FailureCause::Verify, line + "\r\n", line);
                return;
            }
            if (file.size == 0) {
                // Nothing to read: the phone may answer the read-out of an empty file with
                // nothing at all, and its status already said everything.
                m_Context.log("OK!\r\n");
                ++m_Next;
                nextFile();
                return;
            }
            m_Step = Step::Reading;
            // Over the last file's read-back, which was compared and removed.
            m_Walk->read(file.path, m_ReadBackFolder, kReadBackName, OutputFile::Existing::Replace);
            return;
        }
        case Step::Reading:
            if (!ok) {
                m_Context.log("Fail!\r\n");
                const std::string what =
                    formatText("\"%s\" could not be read back", m_Files[m_Next].path.c_str());
                fail(result.outcome.cause == FailureCause::File ? FailureCause::File
                                                                : FailureCause::PhoneReply,
                     "\r\n** " + what + "; the verify is stopped.\r\n", what);
                return;
            }
            compareReadBack();
            return;
        case Step::Idle:
        case Step::Closing:
            return;
    }
}

void FileSystemVerify::nextDirectory() {
    if (m_Next >= m_Directories.size()) {
        m_Next = 0;
        nextFile();
        return;
    }
    m_Context.log(formatText("Checking a directory \"%s\"... ",
                             printableName(m_Directories[m_Next]).c_str()));
    m_Step = Step::Listing;
    m_Walk->list(m_Directories[m_Next]);
}

void FileSystemVerify::nextFile() {
    if (m_Next >= m_Files.size()) {
        if (m_Missing.empty()) {
            m_Verdict = Verdict{};
            close();
        } else {
            fail(FailureCause::Verify, {}, {});
        }
        return;
    }
    const VerifyPlan::File& file = m_Files[m_Next];
    m_Context.log(formatText("Verifying a file \"%s\" (%u bytes)... ",
                             printableName(file.path).c_str(), file.size));
    m_Step = Step::Status;
    m_Walk->stat(file.path);
}

void FileSystemVerify::compareReadBack() {
    using Kind = ReadBackComparison::Kind;
    const VerifyPlan::File& file = m_Files[m_Next];
    const ReadBackComparison result =
        zrk::compareReadBack(m_Context.qixImage, m_ReadBackPath, file.size);
    if (result.kind != Kind::Same)
        m_Context.log("Fail!\r\n");
    switch (result.kind) {
        case Kind::Unreadable:
            fail(FailureCause::File,
                 "\r\n** The file read back could not be read; the verify is stopped.\r\n",
                 "the file read back could not be read");
            return;
        case Kind::SizeDiffers: {
            const std::string line =
                formatText("Verify FAILED: \"%s\" holds %llu bytes, expected %u",
                           printableName(file.path).c_str(),
                           static_cast<unsigned long long>(result.readSize), file.size);
            fail(FailureCause::Verify, line + "\r\n", line);
            return;
        }
        case Kind::ImageShort:
            fail(FailureCause::File,
                 "\r\n** The QIX image could not be read to its end; the verify is stopped.\r\n",
                 "the QIX image could not be read to its end");
            return;
        case Kind::Differs: {
            const std::string line = formatText(
                "Verify FAILED at offset %u of \"%s\": expected %02X, read %02X", result.offset,
                printableName(file.path).c_str(), result.expected, result.read);
            fail(FailureCause::Verify, line + "\r\n", line);
            return;
        }
        case Kind::Same:
            break;
    }
    std::error_code error;
    std::filesystem::remove(pathOfText(m_ReadBackPath), error);
    m_Verified += file.size;
    m_Context.view().setProgressPos(static_cast<std::uint32_t>(m_Verified));
    m_Context.log("OK!\r\n");
    ++m_Next;
    nextFile();
}

void FileSystemVerify::readProgress(std::uint32_t position) {
    if (m_Step == Step::Reading)
        m_Context.view().setProgressPos(static_cast<std::uint32_t>(m_Verified + position));
}

void FileSystemVerify::fail(FailureCause cause, const std::string& logText,
                            const std::string& detail) {
    // Every missing directory is named, before the file that ended the comparison; the first
    // fault found is the one the outcome carries.
    for (const auto& dir : m_Missing)
        m_Context.log(formatText("Verify FAILED: directory \"%s\" is missing\r\n",
                                 printableName(dir).c_str()));
    m_Context.log(logText);
    if (m_Missing.empty())
        m_Verdict = Verdict{cause, detail};
    else
        m_Verdict =
            Verdict{FailureCause::Verify, formatText("Verify FAILED: directory \"%s\" is missing",
                                                     printableName(m_Missing.front()).c_str())};
    close();
}

void FileSystemVerify::close() {
    m_Step = Step::Closing;
    // The phone unmounts and the link comes back to the main engine; the verdict follows then.
    m_Walk->exit();
}

void FileSystemVerify::givenBack() {
    if (m_LinkLost || m_Step != Step::Closing)
        return;
    m_Step = Step::Idle;
    // A comparison that held is still no verdict while the phone has not confirmed the unmount:
    // the file system may be left mounted, as an fs command would report.
    const auto& unmount = m_Explorer->unmountOutcome();
    if (unmount && !unmount->completed() &&
        (!m_Verdict || m_Verdict->cause == FailureCause::None)) {
        m_Context.log("** The phone did not confirm the unmount: " + unmount->detail + " **\r\n");
        m_Verdict = Verdict{
            unmount->cause == FailureCause::None ? FailureCause::PhoneReply : unmount->cause,
            "the phone did not confirm the unmount: " + unmount->detail};
    }
    report();
}

void FileSystemVerify::report() {
    m_Context.qixImage.close();
    removeFolder();
    const Verdict verdict = m_Verdict.value_or(Verdict{FailureCause::PhoneReply, "no verdict"});
    if (verdict.cause == FailureCause::None)
        m_Context.log(formatText("Verify OK: %llu bytes in %d files, %d directories\r\n",
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
