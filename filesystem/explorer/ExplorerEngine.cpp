#include "filesystem/explorer/ExplorerEngine.h"

#include <algorithm>
#include <cstdio>
#include <utility>

#include "engine/ElapsedTime.h"
#include "engine/SafeText.h"
#include "engine/TextFormat.h"
#include "files/OutputFolder.h"
#include "filesystem/explorer/PhonePath.h"
#include "serial/SerialLink.h"

namespace zrk {

using namespace explorer;

namespace {

std::uint8_t sum8(const std::uint8_t* data, std::size_t length) {
    std::uint8_t sum = 0;
    for (std::size_t i = 0; i < length; ++i)
        sum = static_cast<std::uint8_t>(sum + data[i]);
    return sum;
}

// A path for the log: what came from the phone is shown, never obeyed; the line break a list
// item carries at its end stays, as the log has always shown it.
std::string shownPath(const std::string& path) {
    std::size_t end = path.size();
    while (end > 0 && (path[end - 1] == '\r' || path[end - 1] == '\n'))
        --end;
    return printableName(path.substr(0, end)) + path.substr(end);
}

// The log and the progress bar follow the NAND dump every this many pages (1 MB), so a front
// end keeps up at any line speed.
constexpr std::uint32_t kDumpReportPages = 512;

}  // namespace

ExplorerEngine::ExplorerEngine(SerialLink& link, ExplorerView& view, CodePage codePage,
                               Clock& clock, std::uint32_t nandPages)
    : m_Link(link),
      m_View(&view),
      m_CodePage(std::move(codePage)),
      m_Clock(clock),
      m_NandPages(nandPages) {}

ExplorerEngine::~ExplorerEngine() {
    // Going away without the closing exchange must still hand the link back.
    if (m_Open) {
        m_Link.setBlockMode(0);
        m_Link.popHandler(*this);
    }
}

void ExplorerEngine::open() {
    m_Link.pushHandler(*this);
    m_Open = true;
    m_Children.clear();
    m_Children["/"];
    m_CurrentNode = "/";
    m_CurrentHasChildren = false;
    m_CurrentDir = "/";
    m_CurrentDirLength = 1;
    m_Mounting = true;
    m_DeletedUtf8Name.clear();
    m_Unmount.reset();
    m_CutShortNote.clear();
    m_Operation = Operation::Explorer;
    m_Tracking = true;
    m_ExchangeStart = m_Clock.nowSeconds();
    // Nothing else may start until the root listing is in: a click during the mount would
    // overwrite its state and lose its outcome.
    m_View->setWorkingControlsEnabled(false);
    m_State = State::WAIT_START_REPLY;
    send({CMD_START});
}

bool ExplorerEngine::nodeHasChildren(const std::string& path) const {
    const auto it = m_Children.find(path);
    return it != m_Children.end() && !it->second.empty();
}

// ---- Sending ------------------------------------------------------------------------------

void ExplorerEngine::send(std::initializer_list<std::uint8_t> bytes) {
    const std::vector<std::uint8_t> v(bytes);
    send(v);
}

void ExplorerEngine::send(const std::vector<std::uint8_t>& bytes) {
    if (!bytes.empty())
        m_Link.write(bytes.data(), bytes.size());
}

void ExplorerEngine::end(OutcomeKind kind, FailureCause cause, const std::string& detail) {
    if (!m_Tracking)
        return;
    m_Tracking = false;
    OperationOutcome outcome = closingOutcome(kind, cause, detail);
    outcome.bytes = m_Done;
    m_View->operationEnded(outcome);
}

std::optional<std::string> ExplorerEngine::toUtf8Field(const std::string& local) {
    if (local.size() > kNameField) {
        log("MultibyteToUTF8 ERROR");
        return std::nullopt;
    }
    auto utf8 = m_CodePage.toUtf8(local);
    if (!utf8) {
        log("MultibyteToUTF8 ERROR");
        return std::nullopt;
    }
    utf8->push_back('\0');
    return utf8;
}

// ---- Listing ------------------------------------------------------------------------------

void ExplorerEngine::beginListing() {
    m_Counter = 0;
    m_View->clearFileList();
    m_CurrentHasChildren = nodeHasChildren(m_CurrentNode);
    m_ListFailureReported = false;
    m_Listed.clear();
    m_ListingEntries = 0;
    m_ListingBytes = 0;
}

void ExplorerEngine::sendListing(const std::vector<std::uint8_t>& path) {
    std::vector<std::uint8_t> request{CMD_LIST_DIR, static_cast<std::uint8_t>(path.size())};
    request.insert(request.end(), path.begin(), path.end());
    send(request);
}

void ExplorerEngine::listDirectory(const std::string& path) {
    // After a listing error the tree is given back before the phone's closing E7h; a new
    // choice then ends the failed listing first, so that it still has its one outcome.
    if (m_Tracking)
        end(OutcomeKind::Failed, FailureCause::PhoneReply, "the listing failed");
    m_Tracking = true;
    m_Done = 0;
    m_ExchangeStart = m_Clock.nowSeconds();
    m_DeletedUtf8Name.clear();
    m_CurrentNode = path;
    m_CurrentDir = path;
    m_CurrentDirLength = static_cast<std::uint8_t>(path.size());
    m_View->setLogText(
        formatText("\r\nSearching the files (in '%s')... ", shownPath(path).c_str()));
    const auto utf8 = toUtf8Field(path);
    if (!utf8) {
        m_State = State::EXPLORER_IDLE;
        end(OutcomeKind::Failed, FailureCause::Refused, "the path does not convert to UTF-8");
        return;
    }
    // The request carries its length in one byte: a longer path is refused, not cut.
    if (utf8->size() > 255) {
        log(formatText("**UTF8 length error(%d) **\r\n", static_cast<int>(utf8->size())));
        m_State = State::EXPLORER_IDLE;
        end(OutcomeKind::Failed, FailureCause::Refused, "the path is too long");
        return;
    }
    m_State = State::WAIT_ENTRY_LENGTH;
    m_View->setWorkingControlsEnabled(false);
    sendListing(std::vector<std::uint8_t>(utf8->begin(), utf8->end()));
    beginListing();
}

bool ExplorerEngine::listingTooLong() {
    if (m_ListingEntries <= m_MaxEntries && m_ListingBytes <= m_MaxListingBytes)
        return false;
    // Not acknowledged: the phone waits for the acknowledgement and sends no more.
    log(
        formatText("\r\n** The listing did not end after %zu entries (%zu bytes); no "
                   "directory of a phone is that long. The rest is not read. **\r\n",
                   m_ListingEntries, m_ListingBytes));
    m_State = State::EXPLORER_IDLE;
    m_Mounting = false;
    m_DeletedUtf8Name.clear();
    m_View->setWorkingControlsEnabled(true);
    end(OutcomeKind::Failed, FailureCause::PhoneReply,
        formatText("the listing did not end after %zu entries", m_ListingEntries));
    return true;
}

void ExplorerEngine::entryComplete() {
    ++m_ListingEntries;
    m_ListingBytes += m_EntryNeeded;
    if (listingTooLong())
        return;
    const std::uint8_t type = m_Entry[0];
    m_State = State::WAIT_ENTRY_STATUS;
    // The boot-loader waits for one byte and does not look at it; the type is echoed.
    send({type});
    if (type != ENTRY_FILE && type != ENTRY_DIR)
        return;
    std::size_t end = 1;
    while (end < m_EntryNeeded && m_Entry[end] != 0)
        ++end;
    const std::string utf8(reinterpret_cast<const char*>(m_Entry.data() + 1), end - 1);
    const auto name = m_CodePage.fromUtf8(utf8);
    if (utf8 != "." && utf8 != "..")
        m_Listed.push_back({utf8, name, type == ENTRY_DIR});
    if (!name) {
        log("MultibyteToUTF8 ERROR");
        return;
    }
    if (type == ENTRY_FILE) {
        // The list keeps the name as it is (actions take it back); the log shows it safely.
        m_View->addFileLine(*name + "\r\n");
        log(printableName(*name) + "\r\n");
        return;
    }
    // "." and ".." and every other dot name stay out of the tree; so does everything once a
    // directory's subdirectories are there (the tree is filled once, on the first listing).
    if (name->empty() || name->front() == '.' || m_CurrentHasChildren)
        return;
    if (m_Children[m_CurrentNode].insert(*name).second)
        m_View->addDirectoryNode(m_CurrentNode, *name);
}

void ExplorerEngine::entryStatus(std::uint8_t byte) {
    switch (byte) {
        case LIST_MORE:
            m_State = State::WAIT_ENTRY_LENGTH;
            return;
        case LIST_END: {
            m_View->setWorkingControlsEnabled(true);
            log("\r\n Read directory OK!\r\n");
            m_State = State::EXPLORER_IDLE;
            m_Mounting = false;
            // After a delete the phone's own listing is the proof: EEh alone is its word.
            const std::string deleted = std::exchange(m_DeletedUtf8Name, {});
            if (!deleted.empty()) {
                const bool still = std::any_of(
                    m_Listed.begin(), m_Listed.end(),
                    [&](const auto& e) { return !e.directory && e.utf8Name == deleted; });
                if (still) {
                    log(formatText("** The file is still in '%s': it was not deleted **\r\n",
                                   shownPath(m_CurrentDir).c_str()));
                    end(OutcomeKind::Failed, FailureCause::PhoneReply,
                        formatText("the file is still in '%s': it was not deleted",
                                   shownPath(m_CurrentDir).c_str()));
                    return;
                }
                log("** The file is no longer listed **\r\n");
            }
            end(OutcomeKind::Completed);
            return;
        }
        case LIST_ERROR:
            m_View->setTreeEnabled(true);
            log("ERROR in reading File name!\r\n");
            m_State = State::LIST_FAILED;
            m_ListFailureReported = false;
            return;
        default:
            log(formatText("Unknown FILE name receive error!(%x)\r\n", byte));
            m_State = State::EXPLORER_IDLE;
            end(OutcomeKind::Failed, FailureCause::PhoneReply,
                formatText("unknown listing status 0x%02X", byte));
            return;
    }
}

// ---- Delete -------------------------------------------------------------------------------

std::string ExplorerEngine::fullFilePath(const std::string& itemText) const {
    std::string path = m_CurrentDir;
    if (path.empty() || path.back() != '/')
        path += '/';
    return path + itemText;
}

std::optional<std::string> ExplorerEngine::convertFullPath(const std::string& fullPath,
                                                           const char* tooLong) {
    // The full path field holds 500 bytes with its NUL; a longer path is refused here.
    const bool fits = fullPath.size() < kFullPathField;
    std::optional<std::string> utf8;
    if (fits)
        utf8 = toUtf8Field(fullPath);
    if (!fits || (utf8 && utf8->size() > kNameField)) {
        if (tooLong)
            log(formatText(tooLong, shownPath(fullPath).c_str()));
        utf8.reset();
    }
    if (!utf8) {
        m_State = State::EXPLORER_IDLE;
        end(OutcomeKind::Failed, FailureCause::Refused, "the file name does not fit");
    }
    return utf8;
}

void ExplorerEngine::sendNamed(std::uint8_t command, const std::string& utf8) {
    const auto n = utf8.size();
    send({command, static_cast<std::uint8_t>(n >> 8), static_cast<std::uint8_t>(n)});
    send(std::vector<std::uint8_t>(utf8.begin(), utf8.end()));
}

void ExplorerEngine::deleteFile(const std::string& fullPath) {
    m_Tracking = true;
    m_Done = 0;
    m_ExchangeStart = m_Clock.nowSeconds();
    m_DeletedUtf8Name.clear();
    if (!m_View->askYesNo("Sure to Delete?")) {
        end(OutcomeKind::Failed, FailureCause::Refused, "not confirmed");
        return;
    }
    log(formatText("\r\nDeleting the file '%s'... ", shownPath(fullPath).c_str()));
    const auto utf8 = convertFullPath(fullPath, nullptr);
    if (!utf8)
        return;
    // The refresh lists the directory the file was named in (the window's current one), and
    // looks for the file's name there.
    const auto slash = fullPath.rfind('/');
    m_DeleteDir = phoneDirectory(slash == std::string::npos ? "/" : fullPath.substr(0, slash));
    const std::string utf8Path(utf8->c_str());
    m_DeletedUtf8Name = utf8Path.substr(utf8Path.rfind('/') + 1);
    m_View->setWorkingControlsEnabled(false);
    m_State = State::WAIT_DELETE;
    sendNamed(CMD_DELETE_FILE, *utf8);
}

void ExplorerEngine::refreshAfterDelete() {
    m_CurrentDir = m_DeleteDir;
    m_CurrentDirLength = static_cast<std::uint8_t>(m_CurrentDir.size());
    m_CurrentNode = m_CurrentDir;
    log(formatText("\r\nSearching the files (in '%s')... ", shownPath(m_CurrentDir).c_str()));
    // The refresh carries the path without its NUL, in the form the phone reads.
    auto utf8 = m_CodePage.toUtf8(m_CurrentDir);
    const std::string path = utf8 ? *utf8 : m_CurrentDir;
    if (path.size() > 255) {
        log(formatText("**UTF8 length error(%d) **\r\n", static_cast<int>(path.size())));
        m_State = State::EXPLORER_IDLE;
        m_DeletedUtf8Name.clear();
        m_View->setWorkingControlsEnabled(true);
        end(OutcomeKind::Failed, FailureCause::Refused,
            "the directory is too long to be listed again; whether the file is gone is unknown");
        return;
    }
    m_State = State::WAIT_ENTRY_LENGTH;
    m_View->setWorkingControlsEnabled(false);
    sendListing(std::vector<std::uint8_t>(path.begin(), path.end()));
    beginListing();
}

// ---- Read-out -----------------------------------------------------------------------------

void ExplorerEngine::readOutInto(const std::string& fullPath, std::shared_ptr<OutputFolder> folder,
                                 const std::string& name) {
    m_ReadOutFolder = std::move(folder);
    m_ReadOutName = name;
    readOut(fullPath);
}

void ExplorerEngine::readOut(const std::string& fullPath) {
    m_Tracking = true;
    m_Done = 0;
    m_ExchangeStart = m_Clock.nowSeconds();
    log(formatText("\r\n Reading the file '%s'... ", shownPath(fullPath).c_str()));
    m_View->setWorkingControlsEnabled(false);
    const auto utf8 = convertFullPath(fullPath, "**File name is too long(%s) **\r\n");
    if (!utf8)
        return;
    m_State = State::WAIT_READ_ACK;
    sendNamed(CMD_READ_FILE, *utf8);
}

void ExplorerEngine::nextBlockLength() {
    if (m_Remaining < kFileBlockSize) {
        m_BlockLength = m_Remaining;
        m_Remaining = 0;
        m_LastBlock = true;
    } else {
        m_BlockLength = kFileBlockSize;
        m_Remaining -= kFileBlockSize;
        m_LastBlock = m_Remaining == 0;
    }
}

void ExplorerEngine::readFileSize(std::uint8_t byte) {
    m_SizeBytes[m_Counter++] = byte;
    if (m_Counter < 4)
        return;
    m_Counter = 0;
    m_Size = std::uint32_t{m_SizeBytes[0]} << 24 | std::uint32_t{m_SizeBytes[1]} << 16 |
             std::uint32_t{m_SizeBytes[2]} << 8 | m_SizeBytes[3];
    log(formatText("\r\nSize: %d bytes\r\n", static_cast<int>(m_Size)));
    if (!createReadOutFile())
        return;
    log("** Dumping QIX File **\r\n");
    m_Done = 0;
    m_LastBlock = false;
    m_View->setProgressRange(m_Size);
    m_Remaining = m_Size;
    nextBlockLength();
    m_State = State::WAIT_FILE_BLOCK;
    expectFrame(m_BlockLength + 1);
    send({CMD_SEND_BLOCKS});
    if (m_Size == 0) {
        // The phone may answer an empty file with nothing at all.
        m_QuietTimerRunning = true;
        m_View->startQuietTimer(kEmptyReadOutQuietMs);
    }
}

bool ExplorerEngine::createReadOutFile() {
    auto folder = std::move(m_ReadOutFolder);
    const std::string name = std::move(m_ReadOutName);
    m_ReadOutFolder.reset();
    m_ReadOutName.clear();
    std::string whyNot;
    bool created = false;
    // A copy's torn file has no place in it (the copy may become an image); a file a person
    // asked for keeps what arrived.
    m_ReadOutKeepsPartial = !folder;
    if (folder) {
        created = m_ReadOutFile.create(folder, name, OutputFile::Existing::Refuse, &whyNot);
        m_ReadOutTarget = folder->pathOf(name);
    } else {
        const std::string target =
            m_View->chooseSaveFile({".hex", "Hex Files (*.hex)|*.hex|All Files (*.*)|*.*||"});
        if (target.empty()) {
            m_View->setWorkingControlsEnabled(true);
            m_State = State::EXPLORER_IDLE;
            m_View->messageBox("No file selected!", MessageIcon::Warning);
            end(OutcomeKind::Failed, FailureCause::Refused, "no file chosen");
            return false;
        }
        // Written under a name of its own and renamed only when complete, so a failed
        // read-out never leaves a short file under the name a person asked for.
        created = m_ReadOutFile.create(target, OutputFile::Existing::Replace, &whyNot);
        m_ReadOutTarget = target;
    }
    if (!created) {
        m_View->setWorkingControlsEnabled(true);
        m_State = State::EXPLORER_IDLE;
        log("** " + whyNot + "\r\n");
        m_View->messageBox("Internal Error! (file creation)", MessageIcon::Error);
        end(OutcomeKind::Failed, FailureCause::File, whyNot);
        return false;
    }
    return true;
}

bool ExplorerEngine::commitReadOutFile() {
    std::string whyNot;
    if (m_ReadOutFile.commit(&whyNot))
        return true;
    log("** " + whyNot + " **\r\n");
    abandonReadOutFile();
    end(OutcomeKind::Failed, FailureCause::File, whyNot);
    return false;
}

std::string ExplorerEngine::abandonReadOutFile(bool remove) {
    return abandon(m_ReadOutFile, !remove && m_ReadOutKeepsPartial, "blocks");
}

std::string ExplorerEngine::abandon(OutputFile& file, bool keep, const char* what) {
    if (!file.isOpen())
        return {};
    const std::string kept = keep ? file.keepPartial() : std::string();
    file.discard();
    if (keep)
        log(std::string("The ") + what + " received so far are in " + kept + "\r\n");
    return kept;
}

void ExplorerEngine::fileBlock(const std::uint8_t* bytes, std::size_t length) {
    if (m_QuietTimerRunning) {
        m_QuietTimerRunning = false;
        m_View->stopQuietTimer();
    }
    const std::size_t n = length - 1;
    if (sum8(bytes, n) != bytes[n]) {
        m_State = State::EXPLORER_IDLE;
        send({BLOCK_REJECTED});
        log("Checksum mismatched!\r\n");
        abandonReadOutFile();
        m_View->setWorkingControlsEnabled(true);
        m_View->messageBox("Checksum Mismatched!", MessageIcon::Error);
        end(OutcomeKind::Failed, FailureCause::PhoneReply, "block checksum mismatched");
        return;
    }
    m_Done += static_cast<std::uint32_t>(n);
    m_View->setProgressPos(m_Done);
    if (!m_ReadOutFile.write(bytes, n)) {
        const std::string why =
            "cannot write " + m_ReadOutTarget + ": " + m_ReadOutFile.writeError();
        m_State = State::EXPLORER_IDLE;
        send({BLOCK_REJECTED});
        log("** " + why + " **\r\n");
        abandonReadOutFile();
        m_View->setWorkingControlsEnabled(true);
        end(OutcomeKind::Failed, FailureCause::File, why);
        return;
    }
    if (!m_LastBlock) {
        nextBlockLength();
        expectFrame(m_BlockLength + 1);
        send({BLOCK_ACCEPTED});
        return;
    }
    m_State = State::EXPLORER_IDLE;
    send({BLOCK_ACCEPTED});
    m_View->setWorkingControlsEnabled(true);
    // Complete on disk before it is called complete.
    if (!commitReadOutFile())
        return;
    log("** Dump Completed! **\r\n");
    m_View->messageBox("Dump Completed!", MessageIcon::Information);
    end(OutcomeKind::Completed);
}

void ExplorerEngine::onQuietTimer() {
    if (!m_QuietTimerRunning)
        return;
    m_QuietTimerRunning = false;
    if (m_State != State::WAIT_FILE_BLOCK || m_Size != 0)
        return;
    // Nothing came for the empty file: it is complete as it is.
    expectFrame(0);
    m_State = State::EXPLORER_IDLE;
    m_View->setWorkingControlsEnabled(true);
    if (!commitReadOutFile())
        return;
    log("** Dump Completed! **\r\n");
    m_View->messageBox("Dump Completed!", MessageIcon::Information);
    end(OutcomeKind::Completed);
}

// ---- Status -------------------------------------------------------------------------------

void ExplorerEngine::fileStatus(const std::string& fullPath) {
    m_Tracking = true;
    m_Done = 0;
    m_ExchangeStart = m_Clock.nowSeconds();
    m_View->setLogText(
        formatText("\r\n Reading the file status '%s'... \n", shownPath(fullPath).c_str()));
    log("---------------------------- \n");
    m_View->setWorkingControlsEnabled(false);
    // Set before the request is written: the reply may be read before send returns here.
    const auto utf8 = convertFullPath(fullPath, "**File name is too long(%s) **\r\n");
    if (!utf8)
        return;
    m_State = State::WAIT_STAT_ACK;
    sendNamed(CMD_FILE_STAT, *utf8);
}

// ---- NAND full dump -----------------------------------------------------------------------

void ExplorerEngine::nandDump() {
    m_Tracking = true;
    m_Done = 0;
    m_ExchangeStart = m_Clock.nowSeconds();
    const std::string target =
        m_View->chooseSaveFile({".hex", "Save File (*.hex)|*.hex|All Files (*.*)|*.*||"});
    if (target.empty()) {
        m_View->messageBox("No file selected", MessageIcon::Warning);
        end(OutcomeKind::Failed, FailureCause::Refused, "no file chosen");
        return;
    }
    std::string whyNot;
    if (!m_DumpFile.create(target, OutputFile::Existing::Replace, &whyNot)) {
        log("** " + whyNot + "\r\n");
        m_View->messageBox("File Open Error!", MessageIcon::Error);
        end(OutcomeKind::Failed, FailureCause::File, whyNot);
        return;
    }
    m_DumpTarget = target;
    m_DumpStart = m_Clock.nowSeconds();
    // Off before the request: a second click before the phone answers would start the dump
    // again over the same file.
    m_View->setWorkingControlsEnabled(false);
    m_State = State::WAIT_DUMP_START;
    send({CMD_NAND_DUMP});
}

std::string ExplorerEngine::abandonDumpFile(bool remove) {
    return abandon(m_DumpFile, !remove, "pages");
}

void ExplorerEngine::abandonOnClosing(const char* cause) {
    const bool readingOut = m_ReadOutFile.isOpen();
    const bool dumping = m_DumpFile.isOpen();
    const std::string readOutKept = abandonReadOutFile();
    const std::string dumpKept = abandonDumpFile(false);
    // A second EXIT finds nothing open and must not forget what the first one cut short.
    if (!readingOut && !dumping)
        return;
    const std::string what = dumping ? "The NAND full dump" : "The file read-out";
    const std::string& kept = dumping ? dumpKept : readOutKept;
    m_CutShortNote = what + " was cut short by " + cause + "; ";
    if (kept.empty())
        m_CutShortNote += "its partial file was removed";
    else
        m_CutShortNote += std::string("the ") + (dumping ? "pages" : "blocks") +
                          " received so far are in " + printableName(kept);
}

void ExplorerEngine::dumpPage(const std::uint8_t* bytes, std::size_t length) {
    const std::size_t n = length - 1;
    if (sum8(bytes, n) != bytes[n]) {
        m_State = State::EXPLORER_IDLE;
        send({PAGE_REJECTED});
        log("Dump Checksum mismatched!\r\n");
        abandonDumpFile(false);
        m_View->messageBox("Dump Checksum Mismatched!", MessageIcon::Error);
        end(OutcomeKind::Failed, FailureCause::PhoneReply, "page checksum mismatched");
        return;
    }
    m_Done += static_cast<std::uint32_t>(n);
    const std::uint32_t total = m_NandPages * static_cast<std::uint32_t>(kNandPageSize);
    const std::uint32_t pages = m_Done / static_cast<std::uint32_t>(kNandPageSize);
    if (pages % kDumpReportPages == 0 || m_Done == total) {
        m_View->setLogText(formatText("** Dump!( %d Byte)\n ", static_cast<int>(m_Done)));
        m_View->setProgressPos(m_Done);
    }
    if (!m_DumpFile.write(bytes, n)) {
        const std::string why = "cannot write " + m_DumpTarget + ": " + m_DumpFile.writeError();
        m_State = State::EXPLORER_IDLE;
        send({PAGE_REJECTED});
        log("** " + why + " **\r\n");
        abandonDumpFile(false);
        end(OutcomeKind::Failed, FailureCause::File, why);
        return;
    }
    if (m_Done >= total) {
        m_State = State::WAIT_DUMP_END;
        expectFrame(0);
        return;
    }
    expectFrame(kNandPageSize + 1);
    send({PAGE_ACCEPTED});
}

void ExplorerEngine::dumpEnd(std::uint8_t byte) {
    // A byte after the end is nobody's: the exchange is over either way.
    m_State = State::EXPLORER_IDLE;
    if (byte != DUMP_END) {
        log("** NAND FULL DUMP ERROR! **\r\n");
        abandonDumpFile(false);
        end(OutcomeKind::Failed, FailureCause::PhoneReply,
            formatText("0x%02X instead of the dump's end", byte));
        return;
    }
    std::string whyNot;
    if (!m_DumpFile.commit(&whyNot)) {
        log("** " + whyNot + " **\r\n");
        abandonDumpFile(false);
        m_View->setWorkingControlsEnabled(true);
        end(OutcomeKind::Failed, FailureCause::File, whyNot);
        return;
    }
    log("** NAND FULL DUMP Completed! **\r\n");
    log(formatElapsed("\r\n** Dump Time %M:%S **\r\n", m_Clock.nowSeconds() - m_DumpStart));
    log(formatText("** (Total %d bytes) **\r\n", static_cast<int>(m_Done)));
    m_View->setWorkingControlsEnabled(true);
    end(OutcomeKind::Completed);
}

// ---- Closing ------------------------------------------------------------------------------

void ExplorerEngine::exit() {
    if (!m_Open)
        return;
    if (m_QuietTimerRunning) {
        m_QuietTimerRunning = false;
        m_View->stopQuietTimer();
    }
    abandonOnClosing("EXIT");
    // The next byte, whatever it is, answers the unmount: no frame is awaited any more.
    expectFrame(0);
    end(OutcomeKind::Stopped, FailureCause::None, "EXIT");
    m_DeletedUtf8Name.clear();
    m_Unmount.reset();
    m_ExchangeStart = m_Clock.nowSeconds();
    m_State = State::WAIT_EXIT_REPLY;
    send({CMD_UNMOUNT});
}

OperationOutcome ExplorerEngine::closingOutcome(OutcomeKind kind, FailureCause cause,
                                                const std::string& detail) const {
    OperationOutcome outcome;
    outcome.operation = Operation::Explorer;
    outcome.kind = kind;
    outcome.cause = cause;
    outcome.detail = detail;
    outcome.elapsedSeconds = m_Clock.nowSeconds() - m_ExchangeStart;
    return outcome;
}

void ExplorerEngine::giveBack() {
    m_State = State::EXPLORER_IDLE;
    m_Open = false;
    expectFrame(0);
    m_Link.popHandler(*this);
    m_View->closeExplorer();
}

void ExplorerEngine::onLinkLost(const std::string& reason) {
    if (m_State == State::WAIT_EXIT_REPLY)
        m_Unmount = closingOutcome(OutcomeKind::LinkLost, FailureCause::Port, reason);
    m_QuietTimerRunning = false;
    abandonOnClosing("the lost link");
    expectFrame(0);
    end(OutcomeKind::LinkLost, FailureCause::Port, reason);
    giveBack();
    // The main engine below performs Stop, as it does for its own losses.
    if (LinkHandler* below = m_Link.handler())
        below->onLinkLost(reason);
}

// ---- Receiving ----------------------------------------------------------------------------

void ExplorerEngine::expectFrame(std::size_t bytes) {
    m_FrameWanted = bytes;
    if (bytes == m_BlockMode)
        return;
    const bool lower = m_BlockMode != 0 && (bytes == 0 || bytes < m_BlockMode);
    m_BlockMode = bytes;
    m_Link.setBlockMode(bytes);
    // Bytes read while a larger frame was awaited brought no notification: they are taken now.
    if (lower)
        m_Budget = std::max<std::size_t>(m_Budget,
                                         static_cast<std::size_t>(m_Link.receiveQueue().count()));
}

void ExplorerEngine::onLinkData() {
    ReceiveQueue& queue = m_Link.receiveQueue();
    // Only what was queued at the notification (and what a lowered frame size makes whole):
    // during a long dump the next page keeps arriving, and a front end must get its turn. The
    // watcher posts again for whatever arrives later.
    m_Budget = static_cast<std::size_t>(queue.count());
    while (m_Open && m_Budget > 0) {
        if (m_FrameWanted > 0) {
            const std::size_t n = m_FrameWanted;
            if (static_cast<std::size_t>(queue.count()) < n)
                break;
            m_FrameBuffer.resize(n);
            queue.popBlock(m_FrameBuffer.data(), n);
            m_Budget -= std::min(m_Budget, n);
            // The step asks again for the next frame; otherwise single bytes follow.
            m_FrameWanted = 0;
            frame(m_FrameBuffer.data(), n);
            if (m_FrameWanted == 0)
                expectFrame(0);
            continue;
        }
        std::uint8_t byte = 0;
        if (!queue.pop(byte))
            break;
        --m_Budget;
        step(byte);
    }
    // The link went back to its previous owner during this drain: what follows is its news.
    if (!m_Open && queue.count() > 0)
        m_Link.deliverData();
}

void ExplorerEngine::frame(const std::uint8_t* bytes, std::size_t length) {
    m_Link.noteReplyAccepted();
    if (m_State == State::WAIT_FILE_BLOCK)
        fileBlock(bytes, length);
    else if (m_State == State::WAIT_DUMP_PAGE)
        dumpPage(bytes, length);
}

void ExplorerEngine::step(std::uint8_t byte) {
    switch (m_State) {
        // Bytes no exchange waits for: the silence limit keeps running through them.
        case State::WAIT_FILE_BLOCK:
        case State::WAIT_DUMP_PAGE:
        case State::EXPLORER_IDLE:
        case State::LIST_FAILED:
            break;
        default:
            m_Link.noteReplyAccepted();
            break;
    }
    switch (m_State) {
        case State::WAIT_START_REPLY:
            log("\r\n** Mounting QIX system... ");
            m_State = State::WAIT_MOUNT_ECHO;
            send({CMD_MOUNT});
            return;
        case State::WAIT_MOUNT_ECHO:
            if (byte != CMD_MOUNT) {
                log(formatText("Fail! (0x%X)\r\n", byte));
                m_State = State::EXPLORER_IDLE;
                end(OutcomeKind::Failed, FailureCause::PhoneReply,
                    formatText("mount answered with 0x%02X", byte));
                return;
            }
            log("OK!\r\n");
            log("Searching the files... ");
            m_CurrentNode = "/";
            beginListing();
            m_State = State::WAIT_ENTRY_LENGTH;
            // The root listing after mounting: the path without its NUL.
            sendListing({'/'});
            return;
        case State::WAIT_ENTRY_LENGTH:
            // E6h here is the phone's error before the first entry, not a 231-byte entry.
            if (byte == LIST_ERROR) {
                entryStatus(byte);
                return;
            }
            m_EntryNeeded = std::size_t{byte} + 1;
            m_Counter = 0;
            m_State = State::READ_ENTRY;
            return;
        case State::READ_ENTRY:
            m_Entry[m_Counter++] = byte;
            if (m_Counter == m_EntryNeeded)
                entryComplete();
            return;
        case State::WAIT_ENTRY_STATUS:
            entryStatus(byte);
            return;
        case State::LIST_FAILED:
            log(formatText("Fail!(0x%X)\r\n", byte));
            // The phone ends every listing with E7h, after the error code too.
            if (byte == LIST_END && !m_ListFailureReported) {
                m_ListFailureReported = true;
                end(OutcomeKind::Failed, FailureCause::PhoneReply, "the listing failed");
            }
            return;
        case State::WAIT_DELETE:
            if (byte != DELETE_OK) {
                log(formatText("Delete Fail! (0x%X)\r\n", byte));
                m_State = State::EXPLORER_IDLE;
                end(OutcomeKind::Failed, FailureCause::PhoneReply,
                    formatText("delete answered with 0x%02X", byte));
                return;
            }
            log("OK!\r\n");
            refreshAfterDelete();
            return;
        case State::WAIT_READ_ACK:
            if (byte != READ_OK) {
                m_View->setWorkingControlsEnabled(true);
                m_State = State::EXPLORER_IDLE;
                log(formatText("File size read Fail! (0x%X)\r\n", byte));
                end(OutcomeKind::Failed, FailureCause::PhoneReply,
                    formatText("read-out answered with 0x%02X", byte));
                return;
            }
            m_Counter = 0;
            m_State = State::READ_FILE_SIZE;
            return;
        case State::READ_FILE_SIZE:
            readFileSize(byte);
            return;
        case State::WAIT_STAT_ACK:
            if (byte != STAT_OK) {
                m_View->setWorkingControlsEnabled(true);
                log(formatText("Fail! (0x%X)\r\n", byte));
                m_State = State::EXPLORER_IDLE;
                end(OutcomeKind::Failed, FailureCause::PhoneReply,
                    formatText("status answered with 0x%02X", byte));
                return;
            }
            m_Counter = 0;
            m_State = State::READ_STAT_RECORD;
            return;
        case State::READ_STAT_RECORD:
            m_Record[m_Counter++] = byte;
            if (m_Counter < kStatRecordSize)
                return;
            m_Counter = 0;
            // Only with the whole record: the rest of it would be read as the reply of an
            // exchange started in between.
            m_View->setWorkingControlsEnabled(true);
            m_Status = FileStatusRecord::decode(m_Record.data());
            for (const auto& line : m_Status->report())
                log(line);
            m_State = State::EXPLORER_IDLE;
            end(OutcomeKind::Completed);
            return;
        case State::WAIT_DUMP_START:
            if (byte != DUMP_OK) {
                log(formatText(" DUMP ERROR Fail!(0x%X)\r\n", byte));
                m_State = State::EXPLORER_IDLE;
                abandonDumpFile(true);
                m_View->setWorkingControlsEnabled(true);
                end(OutcomeKind::Failed, FailureCause::PhoneReply,
                    formatText("NAND dump answered with 0x%02X", byte));
                return;
            }
            m_View->setWorkingControlsEnabled(false);
            m_View->setLogText("** Start Dump!\n  Wait!!!!!!! Long time \n");
            m_State = State::WAIT_DUMP_PAGE;
            m_Done = 0;
            m_View->setProgressRange(m_NandPages * static_cast<std::uint32_t>(kNandPageSize));
            // The first page follows without a request, perhaps in this very drain.
            expectFrame(kNandPageSize + 1);
            return;
        case State::WAIT_DUMP_END:
            dumpEnd(byte);
            return;
        case State::WAIT_EXIT_REPLY:
            if (byte != CMD_UNMOUNT) {
                log(formatText("Fail!(0x%X)\r\n", byte));
                m_Unmount = closingOutcome(OutcomeKind::Failed, FailureCause::PhoneReply,
                                           formatText("the unmount answered with 0x%02X", byte));
            } else {
                m_Unmount = closingOutcome(OutcomeKind::Completed);
            }
            giveBack();
            return;
        case State::WAIT_FILE_BLOCK:
        case State::WAIT_DUMP_PAGE:
        case State::EXPLORER_IDLE:
            return;
    }
}

}  // namespace zrk
