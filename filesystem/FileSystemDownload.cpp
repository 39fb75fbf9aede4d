#include "filesystem/FileSystemDownload.h"

#include <span>
#include <utility>
#include <vector>

#include "engine/Checksums.h"
#include "engine/ElapsedTime.h"
#include "engine/PhaseContext.h"
#include "engine/TextFormat.h"
#include "filesystem/FileSystemExchange.h"
#include "filesystem/FileSystemPackets.h"
#include "filesystem/FileSystemVerify.h"
#include "filesystem/QixEntryName.h"
#include "filesystem/QixUsable.h"

namespace zrk {

using namespace fs;

namespace {

// The words a wrong reply is logged with, each naming the byte that came.
std::string mountFailed(std::uint8_t got) {
    return formatText("\n Mount Fail! (0x%X)\r\n", got);
}

std::string crcRefused(std::uint8_t got) {
    return formatText("\n Write nand checksum Error! (0x%X)\r\n", got);
}

std::string timeRefused(std::uint8_t got) {
    return formatText("\n Write Set QIXTIME Error! (0x%X)\r\n", got);
}

std::string folderRefused(std::uint8_t got) {
    return formatText("Fail! (0x%X)\r\n", got);
}

std::string versionRefused(std::uint8_t got) {
    return formatText("Release Version Fail! (0x%X)\r\n", got);
}

std::string releaseRefused(std::uint8_t got) {
    return formatText("Project Version Fail! (0x%X)\r\n", got);
}

}  // namespace

FileSystemDownload::FileSystemDownload(PhaseContext& context, FileSystemVerify& verify)
    : m_Context(context), m_Verify(verify), m_Files(context, m_Image) {
    m_Context.holdFiles(*this);
}

void FileSystemDownload::press() {
    DownloaderView& view = m_Context.view();
    const UserChoices& choices = m_Context.request();
    const auto length = fileLength(choices.qixPath);
    if (!length) {
        m_Context.setState(IDLE);
        view.messageBox("Fail to open QIX file!", MessageIcon::Warning);
        m_Context.refuse(Operation::FileSystem, FailureCause::File, "Fail to open QIX file!");
        return;
    }
    view.heard(ImageSized{*length});
    view.setProgressPos(0);
    view.setLogText(" \r\n");
    m_Context.log("** Start Downloading QIX file **\r\n");
    m_Context.startTiming();
    m_Context.beginOperation(OP_FILE_SYSTEM);
}

void FileSystemDownload::onStartReply() {
    const UserChoices& choices = m_Context.request();
    // The names in the configuration are converted on the way; a code page that does not exist
    // here could convert none of them.
    std::string error;
    m_CodePage = CodePage::open(qixCodePageInUse(choices), &error);
    if (!m_CodePage) {
        const std::string text = "\r\n** " + error + "; nothing was sent.\r\n";
        m_Context.log(text);
        m_Context.abandon(FailureCause::Refused, text);
        return;
    }
    QixCheckResult check = checkQixFiles(choices.qixPath, choices.cfgPath);
    if (!check.logText.empty())
        m_Context.log(check.logText);
    if (!check.messageText.empty())
        m_Context.view().messageBox(check.messageText, MessageIcon::Warning);
    if (!check.ok()) {
        // Nothing was sent. Left waiting for a start reply, a further byte from the phone would
        // run the check again and could start the download; ended here instead, until Stop.
        const bool unreadable = check.messageText.rfind("Fail to open ", 0) == 0;
        m_Context.abandon(unreadable ? FailureCause::File : FailureCause::Refused,
                          check.messageText.empty() ? check.logText : check.messageText);
        return;
    }
    // Checked when DOWNLOAD was pressed, but the .cfg may have changed since: a name that
    // stopped the walk half-way would leave the phone half-written and mounted.
    const QixUsability usability = checkQixUsable(*check.config, *m_CodePage);
    if (usability.layout) {
        const std::string why = qixTreeRefusal(*usability.layout, choices.cfgPath);
        m_Context.log("\r\n** " + why + "; nothing was written.\r\n");
        m_Context.abandon(FailureCause::Refused, why);
        return;
    }
    if (!usability.ok()) {
        const QixNameCheck& names = usability.names;
        const std::string text = "\r\n" + names.problem->complaint + "\r\n" +
                                 qixNameExplanation(names, choices.cfgPath, m_CodePage->name(),
                                                    choices.codePageControl, "nothing was written");
        m_Context.log(text);
        m_Context.abandon(FailureCause::Refused, "a name in " + choices.cfgPath +
                                                     " is not usable in the code page " +
                                                     m_CodePage->name());
        return;
    }
    m_Config = std::move(check.config);
    m_ImagePath = choices.qixPath;
    m_Files.forgetImage();
    m_Context.log("\r\n** Mounting QIX system... ");
    m_Context.begin(std::move(fileSystemExchange(FileSystemState::WAIT_MOUNT_ECHO)
                                  .send({CMD_MOUNT})
                                  .expect(CMD_MOUNT)
                                  .failing(mountFailed)
                                  .failureDetail(Exchange::Detail::AsLogged)
                                  .then([this] { onMounted(); })));
}

void FileSystemDownload::onMounted() {
    m_Context.log("OK!\r\n");
    const auto crc = fileCrc32(m_ImagePath);
    if (!crc) {
        m_Context.view().messageBox("Fail to open bin file!", MessageIcon::Warning);
        m_Context.abandon(FailureCause::File, "Fail to open bin file!");
        return;
    }
    if (crc->length != m_Config->qixSize()) {
        failChangedImage();
        return;
    }
    m_Files.announce(crc->crc, crc->length);
    m_Context.log(formatLine("Sending NAND CheckSum:%x \n", crc->crc));
    m_Context.begin(std::move(fileSystemExchange(FileSystemState::WAIT_NAND_CRC_SUM)
                                  .sendValue(CMD_NAND_CRC, crc->crc)
                                  .failing(crcRefused)
                                  .failureDetail(Exchange::Detail::AsLogged)
                                  .then([this] { sendTime(); })));
}

void FileSystemDownload::sendTime() {
    m_Context.log("OK!\r\n");
    const auto packet = timePacket(m_Context.clock().localTime());
    m_Context.begin(std::move(fileSystemExchange(FileSystemState::WAIT_TIME_SUM)
                                  .send(packet)
                                  .expectSum8Of(std::span<const std::uint8_t>(packet).subspan(1))
                                  .failing(timeRefused)
                                  .failureDetail(Exchange::Detail::AsLogged)
                                  .then([this] {
                                      m_Context.log("QIX time set OK!\r\n");
                                      // A walk that ends at once fails, if it does, in the
                                      // folders' state.
                                      m_Context.setState(
                                          stateNumber(FileSystemState::WAIT_DIR_SUM));
                                      m_Config->restartWalk();
                                      nextDirectory();
                                  })));
}

void FileSystemDownload::nextDirectory() {
    const WalkStep next = m_Config->nextDirEntry(*m_CodePage);
    switch (next.result) {
        case WalkResult::NameTooLong:
            m_Context.log(next.logText);
            m_Context.abandon(FailureCause::Refused, next.logText);
            return;
        case WalkResult::NoneLeft:
            versionStep();
            return;
        case WalkResult::Entry:
            break;
    }
    m_Context.log(formatLine("Creating a directory \"%s\"... ", shownName(next.entry).c_str()));
    const std::vector<std::uint8_t> packet = namePacket(CMD_MAKE_DIR, next.entry.utf8Name);
    m_Context.begin(std::move(fileSystemExchange(FileSystemState::WAIT_DIR_SUM)
                                  .send(packet)
                                  .expectSum8Of(std::span<const std::uint8_t>(packet).subspan(1))
                                  .failing("Fail! (in sending name)\r\n")
                                  .failureDetail(Exchange::Detail::AsLogged)
                                  .then([this] { awaitFolderMade(); })));
}

void FileSystemDownload::awaitFolderMade() {
    m_Context.begin(std::move(fileSystemExchange(FileSystemState::WAIT_DIR_DONE)
                                  .expect(DIR_DONE)
                                  .failing(folderRefused)
                                  .failureDetail(Exchange::Detail::AsLogged)
                                  .then([this] {
                                      m_Context.log("OK!\r\n");
                                      m_Context.setState(
                                          stateNumber(FileSystemState::WAIT_DIR_SUM));
                                      nextDirectory();
                                  })));
}

void FileSystemDownload::versionStep() {
    if (!m_Image.openForReading(m_ImagePath)) {
        const std::string text = formatText("Fail to open %s", m_ImagePath.c_str());
        m_Context.view().messageBox(text, MessageIcon::Warning);
        m_Context.abandon(FailureCause::File, text);
        return;
    }
    m_Context.log("Writing a QIX Version... ");
    m_Context.begin(std::move(fileSystemExchange(FileSystemState::WAIT_VERSION)
                                  .send({CMD_SET_VERSION})
                                  .send(m_Config->version())
                                  .expect(VERSION_OK)
                                  .failing(versionRefused)
                                  .failureDetail(Exchange::Detail::AsLogged)
                                  .then([this] { sendReleaseVersion(); })));
}

void FileSystemDownload::sendReleaseVersion() {
    Exchange exchange = fileSystemExchange(FileSystemState::WAIT_RELEASE_VERSION);
    if (const auto& release = m_Config->releaseVersion())
        exchange.send({CMD_SET_RELEASE_VERSION}).send(*release);
    else
        exchange.send({CMD_NO_RELEASE_VERSION});
    exchange.expect(VERSION_OK)
        .failing(releaseRefused)
        .failureDetail(Exchange::Detail::AsLogged)
        .then([this] {
            m_Context.log("OK!\r\n");
            m_Files.start(*m_Config, *m_CodePage, [this] { onUnmounted(); });
        });
    m_Context.begin(std::move(exchange));
}

void FileSystemDownload::failChangedImage() {
    const std::string detail = m_ImagePath + ": the image changed while it was being sent";
    m_Context.log("\r\n** " + detail + ". Download it again.\r\n");
    m_Context.reportFailure(FailureCause::File, detail);
    m_Context.finishOperation();
}

void FileSystemDownload::complete() {
    const std::int64_t span = m_Context.secondsSinceStart();
    m_Context.log(formatElapsed("\r\n** Downloading Time %M:%S **\r\n", span));
    const std::uint64_t total = std::uint64_t{m_Context.firmwareLength()} + m_Files.bytesSent();
    m_Context.log(formatLine("** (Total %d bytes) **\r\n", static_cast<int>(total)));
    if (m_Context.request().verifyAfterDownload) {
        m_Verify.afterDownload([this, total] { completeDownload(total); });
        return;
    }
    completeDownload(total);
}

void FileSystemDownload::completeDownload(std::uint64_t total) {
    m_Context.view().messageBox("Download completed!", MessageIcon::Information);
    m_Context.reportCompleted(total);
    m_Context.finishOperation();
    if (m_Context.request().powerOnAfterDownload) {
        m_Context.send({CMD_POWER_ON});
        m_Context.stop();
    }
}

void FileSystemDownload::onUnmounted() {
    // Unmounted first, so the phone is left in order; but the files it holds are not the image
    // whose CRC it was given.
    if (m_Files.imageChanged()) {
        failChangedImage();
        return;
    }
    complete();
}

}  // namespace zrk
