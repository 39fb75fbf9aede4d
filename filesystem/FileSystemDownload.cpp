#include "filesystem/FileSystemDownload.h"

#include <algorithm>
#include <vector>

#include "engine/Checksums.h"
#include "engine/ElapsedTime.h"
#include "engine/PhaseContext.h"
#include "engine/SafeText.h"
#include "engine/TextFormat.h"
#include "filesystem/FileSystemStates.h"
#include "filesystem/FileSystemVerify.h"
#include "filesystem/QixNameCheck.h"
#include "filesystem/QixTreeCheck.h"

namespace zrk {

using namespace fs;

namespace {

void putLittleEndian32(std::uint8_t* out, std::uint32_t value) {
    for (int i = 0; i < 4; ++i)
        out[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

// The name as the log shows it. The configuration's bytes are in its code page, and the log is
// text in ours (UTF-8): shown in the local code page, a CP1252 "Grüße" would arrive as garbage.
std::string shown(const QixEntry& entry) {
    std::string name = entry.utf8Name;
    if (!name.empty() && name.back() == '\0')
        name.pop_back();
    return printableName(name);
}

// A command, the name's length (2 bytes, big-endian) and the UTF-8 name with its zero byte.
std::vector<std::uint8_t> namePacket(std::uint8_t command, const std::string& utf8Name) {
    std::vector<std::uint8_t> packet{command, static_cast<std::uint8_t>(utf8Name.size() >> 8),
                                     static_cast<std::uint8_t>(utf8Name.size())};
    packet.insert(packet.end(), utf8Name.begin(), utf8Name.end());
    return packet;
}

std::string codePageInUse(const UserChoices& choices) {
    return choices.codePage.empty() ? localeCodePageName() : choices.codePage;
}

}  // namespace

std::array<std::uint8_t, FileSystemDownload::kTimePacketSize> FileSystemDownload::timePacket(
    const std::tm& local) {
    std::array<std::uint8_t, kTimePacketSize> packet{};
    packet[0] = CMD_SET_TIME;
    const int fields[] = {local.tm_sec,  local.tm_min,     local.tm_hour,
                          local.tm_mday, local.tm_mon + 1, local.tm_year + 1900};
    for (std::size_t i = 0; i < 6; ++i)
        putLittleEndian32(packet.data() + 4 + 4 * i, static_cast<std::uint32_t>(fields[i]));
    return packet;
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
    view.setImageSizeText(std::to_string(*length));
    view.setProgressPos(0);
    view.setLogText(" \r\n");
    m_Context.log("** Start Downloading QIX file **\r\n");
    m_Context.imageLength = 0;
    m_Context.startTime = m_Context.clock().nowSeconds();
    m_Context.beginOperation(OP_FILE_SYSTEM);
}

bool FileSystemDownload::namesUsable(PhaseContext& context, Operation operation) {
    DownloaderView& view = context.view();
    UserChoices choices = context.request();
    std::string error;
    auto codePage = CodePage::open(codePageInUse(choices), &error);
    if (!codePage) {
        context.log("\r\n** " + error + "; choose another code page for the .cfg names.\r\n");
        view.messageBox("Unknown code page for the QIX names!", MessageIcon::Warning);
        context.refuse(operation, FailureCause::Refused, error);
        return false;
    }
    const QixCheckResult files = checkQixFiles(choices.qixPath, choices.cfgPath);
    if (!files.ok()) {
        // A file that cannot be opened gets the operation's own complaint when it starts.
        if (files.messageText.rfind("Fail to open ", 0) == 0)
            return true;
        if (!files.logText.empty())
            context.log(files.logText);
        if (!files.messageText.empty())
            view.messageBox(files.messageText, MessageIcon::Warning);
        context.refuse(operation, FailureCause::Refused,
                       files.messageText.empty() ? files.logText : files.messageText);
        return false;
    }
    const auto refuseLayout = [&](const QixTreeProblem& problem) {
        const std::string why = qixTreeRefusal(problem, choices.cfgPath);
        context.log("\r\n** " + why + "; nothing was sent.\r\n");
        context.refuse(operation, FailureCause::Refused, why);
        return false;
    };
    if (const auto lines = checkQixLines(files.config->text()))
        return refuseLayout(*lines);
    QixNameCheck names = checkQixNames(*files.config, *codePage);
    if (names.ok()) {
        if (const auto tree = checkQixTree(*files.config, *codePage))
            return refuseLayout(*tree);
        return true;
    }
    if (names.suggestion &&
        view.offerCodePage(
            qixCodePageQuestion(choices.cfgPath, codePage->name(), *names.suggestion),
            *names.suggestion)) {
        context.useCodePage(*names.suggestion);
        choices = context.request();
        codePage = CodePage::open(codePageInUse(choices), &error);
        if (codePage) {
            names = checkQixNames(*files.config, *codePage);
            if (names.ok()) {
                if (const auto tree = checkQixTree(*files.config, *codePage))
                    return refuseLayout(*tree);
                context.log("\r\n** The .cfg names are read as " + codePage->name() + "\r\n");
                return true;
            }
        }
    }
    const std::string name = codePage ? codePage->name() : codePageInUse(choices);
    context.log("\r\n" + (names.problem ? names.problem->complaint : std::string()) + "\r\n" +
                qixNameExplanation(names, choices.cfgPath, name, choices.codePageControl,
                                   "nothing was sent"));
    context.refuse(operation, FailureCause::Refused,
                   "a name in " + choices.cfgPath + " is not usable in the code page " + name);
    return false;
}

void FileSystemDownload::failReply(std::uint8_t got, std::uint8_t expected,
                                   const std::string& logText) {
    m_Context.wrongReply(got, expected, logText, PhaseContext::Ending::Abandon, logText);
}

void FileSystemDownload::fail(const std::string& logText, FailureCause cause) {
    m_Context.log(logText);
    m_Context.abandon(cause, logText);
}

void FileSystemDownload::onStartReply() {
    const UserChoices& choices = m_Context.request();
    // The names in the configuration are converted on the way; a code page that does not exist
    // here could convert none of them.
    std::string error;
    m_CodePage = CodePage::open(codePageInUse(choices), &error);
    if (!m_CodePage) {
        fail("\r\n** " + error + "; nothing was sent.\r\n", FailureCause::Refused);
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
    const auto refuseLayout = [&](const QixTreeProblem& problem) {
        const std::string why = qixTreeRefusal(problem, choices.cfgPath);
        m_Context.log("\r\n** " + why + "; nothing was written.\r\n");
        m_Context.abandon(FailureCause::Refused, why);
    };
    if (const auto lines = checkQixLines(check.config->text())) {
        refuseLayout(*lines);
        return;
    }
    const QixNameCheck names = checkQixNames(*check.config, *m_CodePage);
    if (names.ok()) {
        if (const auto tree = checkQixTree(*check.config, *m_CodePage)) {
            refuseLayout(*tree);
            return;
        }
    } else {
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
    m_ImageChanged = false;
    m_Context.log("\r\n** Mounting QIX system... ");
    m_Context.setState(WAIT_MOUNT_ECHO);
    m_Context.send({CMD_MOUNT});
    m_Context.expectedReply = CMD_MOUNT;
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
    m_Context.log(formatText("Creating a directory \"%s\"... ", shown(next.entry).c_str()));
    const std::vector<std::uint8_t> packet = namePacket(CMD_MAKE_DIR, next.entry.utf8Name);
    m_Context.setState(WAIT_DIR_SUM);
    m_Context.expectedReply = sum8(std::span<const std::uint8_t>(packet).subspan(1));
    m_Context.send(packet);
}

void FileSystemDownload::versionStep() {
    if (!m_Context.qixImage.openForReading(m_ImagePath)) {
        const std::string text = formatText("Fail to open %s", m_ImagePath.c_str());
        m_Context.view().messageBox(text, MessageIcon::Warning);
        m_Context.abandon(FailureCause::File, text);
        return;
    }
    m_Context.log("Writing a QIX Version... ");
    m_Context.setState(WAIT_VERSION);
    m_Context.send({CMD_SET_VERSION});
    m_Context.send(m_Config->version());
}

void FileSystemDownload::nextFile() {
    const WalkStep next = m_Config->nextFileEntry(*m_CodePage);
    switch (next.result) {
        case WalkResult::NameTooLong:
            m_Context.log(next.logText);
            m_Context.abandon(FailureCause::Refused, next.logText);
            return;
        case WalkResult::NoneLeft:
            m_ImageChanged = !sentWhatWasAnnounced();
            m_Context.qixImage.close();
            m_Context.log("Unmounting QIX... ");
            m_Context.setState(WAIT_UNMOUNT_ECHO);
            m_Context.send({CMD_UNMOUNT});
            return;
        case WalkResult::Entry:
            break;
    }
    const QixEntry& entry = next.entry;
    m_Context.log(formatText("Writing a file \"%s\" (%d bytes)... ", shown(entry).c_str(),
                             static_cast<int>(entry.fileSize)));
    std::vector<std::uint8_t> packet = namePacket(CMD_FILE_HEADER, entry.utf8Name);
    const auto size = bigEndian32(entry.fileSize);
    packet.insert(packet.end(), size.begin(), size.end());
    m_RemainingInFile = entry.fileSize;
    m_Context.setState(WAIT_HEADER_SUM);
    m_Context.expectedReply = sum8(std::span<const std::uint8_t>(packet).subspan(1));
    m_Context.send(packet);
}

void FileSystemDownload::sendBlock() {
    m_Context.expectedReply = 0;
    m_Context.send({CMD_FILE_BLOCK});
    std::uint32_t n = 0;
    if (m_RemainingInFile >= kFileBlockSize) {
        n = kFileBlockSize;
        m_RemainingInFile -= kFileBlockSize;
    } else {
        n = m_RemainingInFile;
        m_RemainingInFile = 0;
        if (n == 0) {
            m_LastBlock = true;
            m_Context.setState(WAIT_LAST_BLOCK_SUM);
            return;
        }
    }
    std::uint8_t* buffer = m_Context.TransferBuffer.data();
    const std::size_t got = m_Context.qixImage.read(buffer, n);
    if (got < n) {
        // The check measured the image; a file that shrank since would send a block short of
        // what the header announced, and the phone would wait for the rest for ever.
        fail("\r\n** The QIX image could not be read to its end; the download is stopped.\r\n",
             FailureCause::File);
        return;
    }
    if (n < kFileBlockSize)
        m_LastBlock = true;
    const std::span<const std::uint8_t> block(buffer, n);
    m_SentCrc = crc32Update(m_SentCrc, buffer, n);
    m_SentLength += n;
    m_Context.send(block);
    m_FileBytesSent += n;
    m_Context.countBytes(n);
    m_Context.view().setProgressPos(m_FileBytesSent);
    m_Context.expectedReply = sum8(block);
    if (m_LastBlock)
        m_Context.setState(WAIT_LAST_BLOCK_SUM);
}

bool FileSystemDownload::sentWhatWasAnnounced() {
    // A configuration whose walk leaves the end of the image unsent still had it announced:
    // the rest is summed too, so only a changed file can make the two CRCs differ. Bytes
    // appended since the CRC was taken were neither announced nor sent.
    std::uint8_t* buffer = m_Context.TransferBuffer.data();
    while (m_SentLength < m_AnnouncedLength) {
        const std::size_t wanted = static_cast<std::size_t>(std::min<std::uint64_t>(
            m_Context.TransferBuffer.size(), m_AnnouncedLength - m_SentLength));
        const std::size_t n = m_Context.qixImage.read(buffer, wanted);
        if (n == 0)
            break;
        m_SentCrc = crc32Update(m_SentCrc, buffer, n);
        m_SentLength += n;
    }
    return m_SentCrc == m_AnnouncedCrc && m_SentLength == m_AnnouncedLength;
}

void FileSystemDownload::failChangedImage() {
    const std::string detail = m_ImagePath + ": the image changed while it was being sent";
    m_Context.log("\r\n** " + detail + ". Download it again.\r\n");
    m_Context.reportFailure(FailureCause::File, detail);
    m_Context.finishOperation();
}

void FileSystemDownload::complete() {
    const std::int64_t span = m_Context.clock().nowSeconds() - m_Context.startTime;
    m_Context.log(formatElapsed("\r\n** Downloading Time %M:%S **\r\n", span));
    const std::uint64_t total = std::uint64_t{m_Context.imageLength} + m_FileBytesSent;
    m_Context.log(formatText("** (Total %d bytes) **\r\n", static_cast<int>(total)));
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

void FileSystemDownload::step(std::uint8_t byte) {
    switch (m_Context.state()) {
        case WAIT_MOUNT_ECHO: {
            if (byte != CMD_MOUNT) {
                failReply(byte, CMD_MOUNT, formatText("\n Mount Fail! (0x%X)\r\n", byte));
                return;
            }
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
            m_AnnouncedCrc = crc->crc;
            m_AnnouncedLength = crc->length;
            m_Context.log(formatText("Sending NAND CheckSum:%x \n", crc->crc));
            m_Context.sendValue(WAIT_NAND_CRC_SUM, CMD_NAND_CRC, crc->crc);
            return;
        }
        case WAIT_NAND_CRC_SUM: {
            if (!m_Context.replyMatches(
                    byte, formatText("\n Write nand checksum Error! (0x%X)\r\n", byte),
                    PhaseContext::Ending::Abandon,
                    formatText("\n Write nand checksum Error! (0x%X)\r\n", byte)))
                return;
            m_Context.log("OK!\r\n");
            m_Context.setState(WAIT_TIME_SUM);
            const auto packet = timePacket(m_Context.clock().localTime());
            m_Context.expectedReply = sum8(std::span<const std::uint8_t>(packet).subspan(1));
            m_Context.send(packet);
            return;
        }
        case WAIT_TIME_SUM:
            if (!m_Context.replyMatches(byte,
                                        formatText("\n Write Set QIXTIME Error! (0x%X)\r\n", byte),
                                        PhaseContext::Ending::Abandon,
                                        formatText("\n Write Set QIXTIME Error! (0x%X)\r\n", byte)))
                return;
            m_Context.log("QIX time set OK!\r\n");
            m_Context.setState(WAIT_DIR_SUM);
            m_Config->restartWalk();
            nextDirectory();
            return;
        case WAIT_DIR_SUM:
            if (!m_Context.replyMatches(byte, "Fail! (in sending name)\r\n",
                                        PhaseContext::Ending::Abandon,
                                        "Fail! (in sending name)\r\n"))
                return;
            m_Context.setState(WAIT_DIR_DONE);
            return;
        case WAIT_DIR_DONE:
            if (byte != DIR_DONE) {
                failReply(byte, DIR_DONE, formatText("Fail! (0x%X)\r\n", byte));
                return;
            }
            m_Context.log("OK!\r\n");
            m_Context.setState(WAIT_DIR_SUM);
            nextDirectory();
            return;
        case WAIT_VERSION:
            if (byte != VERSION_OK) {
                failReply(byte, VERSION_OK, formatText("Release Version Fail! (0x%X)\r\n", byte));
                return;
            }
            m_Context.setState(WAIT_RELEASE_VERSION);
            if (const auto& release = m_Config->releaseVersion()) {
                m_Context.send({CMD_SET_RELEASE_VERSION});
                m_Context.send(*release);
            } else {
                m_Context.send({CMD_NO_RELEASE_VERSION});
            }
            return;
        case WAIT_RELEASE_VERSION:
            if (byte != VERSION_OK) {
                failReply(byte, VERSION_OK, formatText("Project Version Fail! (0x%X)\r\n", byte));
                return;
            }
            m_Context.log("OK!\r\n");
            m_Context.view().setProgressRange(m_Config->qixSize());
            m_FileBytesSent = 0;
            m_SentCrc = 0;
            m_SentLength = 0;
            m_Context.view().setProgressPos(0);
            m_Context.setState(WAIT_HEADER_SUM);
            m_Config->restartWalk();
            nextFile();
            return;
        case WAIT_HEADER_SUM:
            if (const std::string text = formatText("Fail!(%x:%x) (in sending name and size)\r\n",
                                                    byte, m_Context.expectedReply);
                !m_Context.replyMatches(byte, text, PhaseContext::Ending::Abandon, text))
                return;
            m_Context.setState(WAIT_BLOCK_SUM);
            m_LastBlock = false;
            sendBlock();
            return;
        case WAIT_BLOCK_SUM:
            if (!m_Context.replyMatches(byte, "checksum mismatched!\r\n",
                                        PhaseContext::Ending::Abandon, "checksum mismatched!\r\n"))
                return;
            sendBlock();
            return;
        case WAIT_LAST_BLOCK_SUM:
            if (!m_Context.replyMatches(byte, "checksum mismatched!\r\n",
                                        PhaseContext::Ending::Abandon, "checksum mismatched!\r\n"))
                return;
            m_Context.setState(WAIT_FILE_DONE);
            return;
        case WAIT_FILE_DONE:
            if (byte != FILE_DONE) {
                failReply(byte, FILE_DONE, formatText("Writing error(0x%X)\r\n", byte));
                return;
            }
            m_Context.log("OK!\r\n");
            m_Context.setState(WAIT_HEADER_SUM);
            nextFile();
            return;
        case WAIT_UNMOUNT_ECHO:
            if (byte != CMD_UNMOUNT) {
                failReply(byte, CMD_UNMOUNT, formatText("Unmounting Error!(0x%0X)\r\n", byte));
                return;
            }
            m_Context.log("OK!\r\n");
            // Unmounted first, so the phone is left in order; but the files it holds are not
            // the image whose CRC it was given.
            if (m_ImageChanged) {
                failChangedImage();
                return;
            }
            complete();
            return;
        default:
            return;
    }
}

}  // namespace zrk
