#include "filesystem/explorer/ListingExchange.h"

#include <algorithm>
#include <utility>

#include "engine/SafeText.h"
#include "engine/TextFormat.h"

namespace zrk {

using namespace explorer;
using State = ExplorerState;

void ListingExchange::reset() {
    m_Tree.reset();
    m_CurrentNode = "/";
    m_CurrentHasChildren = false;
    m_CurrentDir = "/";
    m_DeletedUtf8Name.clear();
}

void ListingExchange::mount() {
    m_Line.state = State::WAIT_START_REPLY;
    m_Line.send({CMD_START});
}

void ListingExchange::begin() {
    m_Counter = 0;
    m_Line.clearFileList();
    m_CurrentHasChildren = m_Tree.hasChildren(m_CurrentNode);
    m_FailureReported = false;
    m_Listed.clear();
    m_Entries = 0;
    m_Bytes = 0;
}

void ListingExchange::sendListing(const std::vector<std::uint8_t>& path) {
    std::vector<std::uint8_t> request{CMD_LIST_DIR, static_cast<std::uint8_t>(path.size())};
    request.insert(request.end(), path.begin(), path.end());
    m_Line.send(request);
}

void ListingExchange::list(const std::string& path) {
    // After a listing error the tree is given back before the phone's closing E7h; a new
    // choice then ends the failed listing first, so that it still has its one outcome.
    if (m_Line.tracking())
        m_Line.end(OutcomeKind::Failed, FailureCause::PhoneReply, "the listing failed");
    m_Line.beginExchange();
    m_DeletedUtf8Name.clear();
    m_CurrentNode = path;
    m_CurrentDir = path;
    m_Line.setLogText(
        formatText("\r\nSearching the files (in '%s')... ", shownPath(path, m_Line.names).c_str()));
    const auto utf8 = m_Line.toUtf8Field(path);
    if (!utf8) {
        failHere(FailureCause::Refused, "the path does not convert to UTF-8");
        return;
    }
    // The request carries its length in one byte: a longer path is refused, not cut.
    if (utf8->size() > 255) {
        m_Line.log(formatText("**UTF8 length error(%d) **\r\n", static_cast<int>(utf8->size())));
        failHere(FailureCause::Refused, "the path is too long");
        return;
    }
    m_Line.state = State::WAIT_ENTRY_LENGTH;
    m_Line.setControls(false);
    sendListing(std::vector<std::uint8_t>(utf8->begin(), utf8->end()));
    begin();
}

void ListingExchange::refreshAfterDelete(const std::string& directory,
                                         const std::string& deletedUtf8Name) {
    m_DeletedUtf8Name = deletedUtf8Name;
    m_CurrentDir = directory;
    m_CurrentNode = m_CurrentDir;
    m_Line.log(formatText("\r\nSearching the files (in '%s')... ",
                          shownPath(m_CurrentDir, m_Line.names).c_str()));
    // The refresh carries the path without its NUL, in the form the phone reads.
    auto utf8 = m_Line.codePage.toUtf8(m_CurrentDir);
    const std::string path = utf8 ? *utf8 : m_CurrentDir;
    if (path.size() > 255) {
        m_Line.log(formatText("**UTF8 length error(%d) **\r\n", static_cast<int>(path.size())));
        m_DeletedUtf8Name.clear();
        m_Line.setControls(true);
        failHere(
            FailureCause::Refused,
            "the directory is too long to be listed again; whether the file is gone is unknown");
        return;
    }
    m_Line.state = State::WAIT_ENTRY_LENGTH;
    m_Line.setControls(false);
    sendListing(std::vector<std::uint8_t>(path.begin(), path.end()));
    begin();
}

void ListingExchange::mountEcho(std::uint8_t byte) {
    if (byte != CMD_MOUNT) {
        m_Line.log(formatText("Fail! (0x%X)\r\n", byte));
        m_Line.state = State::EXPLORER_IDLE;
        m_Line.fail({"mount", static_cast<std::int32_t>(State::WAIT_MOUNT_ECHO), CMD_MOUNT, byte,
                     FailureCause::PhoneReply, formatText("mount answered with 0x%02X", byte)});
        return;
    }
    m_Line.log("OK!\r\n");
    m_Line.log("Searching the files... ");
    m_CurrentNode = "/";
    begin();
    m_Line.state = State::WAIT_ENTRY_LENGTH;
    // The root listing after mounting: the path without its NUL.
    sendListing({'/'});
}

bool ListingExchange::tooLong() {
    if (m_Entries <= m_MaxEntries && m_Bytes <= m_MaxBytes)
        return false;
    // Not acknowledged: the phone waits for the acknowledgement and sends no more.
    m_Line.log(
        formatText("\r\n** The listing did not end after %zu entries (%zu bytes); no "
                   "directory of a phone is that long. The rest is not read. **\r\n",
                   m_Entries, m_Bytes));
    m_DeletedUtf8Name.clear();
    m_Line.setControls(true);
    failHere(FailureCause::PhoneReply,
             formatText("the listing did not end after %zu entries", m_Entries));
    return true;
}

void ListingExchange::entryComplete() {
    ++m_Entries;
    m_Bytes += m_EntryNeeded;
    if (tooLong())
        return;
    const std::uint8_t type = m_Entry[0];
    m_Line.state = State::WAIT_ENTRY_STATUS;
    // The boot-loader waits for one byte and does not look at it; the type is echoed.
    m_Line.send({type});
    if (type != ENTRY_FILE && type != ENTRY_DIR)
        return;
    std::size_t end = 1;
    while (end < m_EntryNeeded && m_Entry[end] != 0)
        ++end;
    const std::string utf8(reinterpret_cast<const char*>(m_Entry.data() + 1), end - 1);
    const auto name = m_Line.codePage.fromUtf8(utf8);
    if (utf8 != "." && utf8 != "..")
        m_Listed.push_back({utf8, name, type == ENTRY_DIR});
    if (!name) {
        m_Line.log("MultibyteToUTF8 ERROR");
        return;
    }
    if (type == ENTRY_FILE) {
        // The list keeps the name as it is (actions take it back); the log shows it safely.
        m_Line.addFileLine(*name + "\r\n");
        m_Line.log(printableName(*name, m_Line.names) + "\r\n");
        return;
    }
    // "." and ".." and every other dot name stay out of the tree; so does everything once a
    // directory's subdirectories are there (the tree is filled once, on the first listing).
    if (name->empty() || name->front() == '.' || m_CurrentHasChildren)
        return;
    if (m_Tree.add(m_CurrentNode, *name))
        m_Line.addDirectoryNode(m_CurrentNode, *name);
}

void ListingExchange::listed() {
    m_Line.setControls(true);
    m_Line.log("\r\n Read directory OK!\r\n");
    m_Line.state = State::EXPLORER_IDLE;
    // After a delete the phone's own listing is the proof: EEh alone is its word.
    const std::string deleted = std::exchange(m_DeletedUtf8Name, {});
    if (!deleted.empty()) {
        const bool still = std::any_of(m_Listed.begin(), m_Listed.end(), [&](const auto& e) {
            return !e.directory && e.utf8Name == deleted;
        });
        if (still) {
            m_Line.log(formatText("** The file is still in '%s': it was not deleted **\r\n",
                                  shownPath(m_CurrentDir, m_Line.names).c_str()));
            m_Line.fail({"delete the file", static_cast<std::int32_t>(State::WAIT_ENTRY_STATUS),
                         std::nullopt, std::nullopt, FailureCause::PhoneReply,
                         formatText("the file is still in '%s': it was not deleted",
                                    shownPath(m_CurrentDir, m_Line.names).c_str())});
            return;
        }
        m_Line.log("** The file is no longer listed **\r\n");
    }
    m_Line.end(OutcomeKind::Completed);
}

void ListingExchange::entryStatus(std::uint8_t byte) {
    switch (byte) {
        case LIST_MORE:
            m_Line.state = State::WAIT_ENTRY_LENGTH;
            return;
        case LIST_END:
            listed();
            return;
        case LIST_ERROR:
            m_Line.setTree(true);
            m_Line.log("ERROR in reading File name!\r\n");
            m_Line.state = State::LIST_FAILED;
            m_FailureReported = false;
            m_ErrorCode.reset();
            return;
        default:
            m_Line.log(formatText("Unknown FILE name receive error!(%x)\r\n", byte));
            failReply(LIST_END, byte, formatText("unknown listing status 0x%02X", byte));
            return;
    }
}

void ListingExchange::failedListing(std::uint8_t byte) {
    m_Line.log(formatText("Fail!(0x%X)\r\n", byte));
    if (!m_ErrorCode && byte != LIST_END) {
        m_ErrorCode = byte;
        return;
    }
    // The phone ends every listing with E7h, after the error code too.
    if (byte == LIST_END && !m_FailureReported) {
        m_FailureReported = true;
        // A directory that cannot be opened before any entry came is one the phone does not
        // hold: the name asked for was wrong, the phone is well.
        if (m_ErrorCode == LIST_CANNOT_OPEN && m_Entries == 0) {
            m_Line.fail({name(), static_cast<std::int32_t>(State::LIST_FAILED), std::nullopt,
                         LIST_ERROR, FailureCause::NotOnPhone,
                         "no such folder on the phone: " + shownPath(m_CurrentDir, m_Line.names)});
            return;
        }
        m_Line.fail({name(), static_cast<std::int32_t>(State::LIST_FAILED), std::nullopt,
                     LIST_ERROR, FailureCause::PhoneReply, "the listing failed"});
    }
}

void ListingExchange::onByte(std::uint8_t byte) {
    switch (m_Line.state) {
        case State::WAIT_START_REPLY:
            m_Line.log("\r\n** Mounting QIX system... ");
            m_Line.state = State::WAIT_MOUNT_ECHO;
            m_Line.send({CMD_MOUNT});
            return;
        case State::WAIT_MOUNT_ECHO:
            mountEcho(byte);
            return;
        case State::WAIT_ENTRY_LENGTH:
            // E6h here is the phone's error before the first entry, not a 231-byte entry.
            if (byte == LIST_ERROR) {
                entryStatus(byte);
                return;
            }
            m_EntryNeeded = std::size_t{byte} + 1;
            m_Counter = 0;
            m_Line.state = State::READ_ENTRY;
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
            failedListing(byte);
            return;
        default:
            return;
    }
}

}  // namespace zrk
