#include "filesystem/explorer/ListingExchange.h"

#include <algorithm>
#include <utility>

#include "engine/SafeText.h"
#include "engine/TextFormat.h"

namespace zrk {

using namespace explorer;
using State = ExplorerState;

namespace {

std::span<const std::uint8_t> bytesOf(const std::string& text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

}  // namespace

void ListingExchange::reset() {
    m_Tree.reset();
    m_CurrentNode = "/";
    m_CurrentHasChildren = false;
    m_CurrentDir = "/";
    m_DeletedUtf8Name.clear();
}

void ListingExchange::mount() {
    // Whatever answers the start, the mount follows.
    ask(std::move(Exchange(kMount, static_cast<std::int32_t>(State::WAIT_START_REPLY))
                      .send({CMD_START})
                      .expectAnyByte()
                      .then([this] { startAnswered(); })));
}

void ListingExchange::startAnswered() {
    m_Line.log("\r\n** Mounting QIX system... ");
    ask(std::move(Exchange(kMount, static_cast<std::int32_t>(State::WAIT_MOUNT_ECHO))
                      .send({CMD_MOUNT})
                      .expect(CMD_MOUNT)
                      .then([this] { mounted(); })
                      .failing([](std::uint8_t got) { return formatText("Fail! (0x%X)\r\n", got); })
                      .failureDetail([](std::uint8_t got) {
                          return formatText("mount answered with 0x%02X", got);
                      })));
}

void ListingExchange::begin() {
    m_Line.clearFileList();
    m_CurrentHasChildren = m_Tree.hasChildren(m_CurrentNode);
    m_FailureReported = false;
    m_Listed.clear();
    m_Entries = 0;
    m_Bytes = 0;
}

void ListingExchange::sendListing(std::span<const std::uint8_t> path) {
    std::vector<std::uint8_t> request{CMD_LIST_DIR, static_cast<std::uint8_t>(path.size())};
    request.insert(request.end(), path.begin(), path.end());
    ask(std::move(entryLength().send(request)));
}

Exchange ListingExchange::entryLength() {
    return std::move(exchange(State::WAIT_ENTRY_LENGTH).expectAnyByte().then([this](Reply length) {
        lengthRead(length[0]);
    }));
}

void ListingExchange::lengthRead(std::uint8_t length) {
    // E6h here is the phone's error before the first entry, not a 231-byte entry.
    if (length == LIST_ERROR) {
        listingError();
        return;
    }
    ask(std::move(
        exchange(State::READ_ENTRY).expectBytes(std::size_t{length} + 1).then([this](Reply entry) {
            entryComplete(entry);
        })));
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
        m_Line.log(formatLine("**UTF8 length error(%d) **\r\n", static_cast<int>(utf8->size())));
        failHere(FailureCause::Refused, "the path is too long");
        return;
    }
    m_Line.setControls(false);
    sendListing(bytesOf(*utf8));
    begin();
}

void ListingExchange::refreshAfterDelete(const std::string& directory,
                                         const std::string& deletedUtf8Name) {
    m_DeletedUtf8Name = deletedUtf8Name;
    m_CurrentDir = directory;
    m_CurrentNode = m_CurrentDir;
    m_Line.log(formatLine("\r\nSearching the files (in '%s')... ",
                          shownPath(m_CurrentDir, m_Line.names).c_str()));
    // The refresh carries the path without its NUL, in the form the phone reads.
    auto utf8 = m_Line.codePage.toUtf8(m_CurrentDir);
    const std::string path = utf8 ? *utf8 : m_CurrentDir;
    if (path.size() > 255) {
        m_Line.log(formatLine("**UTF8 length error(%d) **\r\n", static_cast<int>(path.size())));
        m_DeletedUtf8Name.clear();
        m_Line.setControls(true);
        failHere(
            FailureCause::Refused,
            "the directory is too long to be listed again; whether the file is gone is unknown");
        return;
    }
    m_Line.setControls(false);
    sendListing(bytesOf(path));
    begin();
}

void ListingExchange::mounted() {
    m_Line.log("OK!\r\n");
    m_Line.log("Searching the files... ");
    m_CurrentNode = "/";
    begin();
    // The root listing after mounting: the path without its NUL.
    const std::uint8_t root[] = {'/'};
    sendListing(root);
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

void ListingExchange::entryComplete(Reply entry) {
    ++m_Entries;
    m_Bytes += entry.size();
    if (tooLong())
        return;
    const std::uint8_t type = entry[0];
    // The boot-loader waits for one byte and does not look at it; the type is echoed.
    ask(std::move(exchange(State::WAIT_ENTRY_STATUS)
                      .send({type})
                      .expectOneOf({LIST_MORE, LIST_END, LIST_ERROR})
                      .then([this](Reply status) { entryStatus(status[0]); })
                      .failing([](std::uint8_t got) {
                          return formatText("Unknown FILE name receive error!(%x)\r\n", got);
                      })
                      .failureDetail([](std::uint8_t got) {
                          return formatText("unknown listing status 0x%02X", got);
                      })
                      .failureNames(LIST_END)));
    if (type != ENTRY_FILE && type != ENTRY_DIR)
        return;
    std::size_t end = 1;
    while (end < entry.size() && entry[end] != 0)
        ++end;
    const std::string utf8(reinterpret_cast<const char*>(entry.data() + 1), end - 1);
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
            m_Line.log(formatLine("** The file is still in '%s': it was not deleted **\r\n",
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

void ListingExchange::entryStatus(std::uint8_t status) {
    if (status == LIST_MORE)
        ask(entryLength());
    else if (status == LIST_END)
        listed();
    else
        listingError();
}

void ListingExchange::listingError() {
    m_Line.setTree(true);
    m_Line.log("ERROR in reading File name!\r\n");
    m_FailureReported = false;
    m_ErrorCode.reset();
    // The phone ends every listing with E7h, after the error code too; all it sends is logged.
    ask(std::move(exchange(State::LIST_FAILED)
                      .expect(LIST_END)
                      .then([this] { failedListingEnded(); })
                      .otherwise([this](std::uint8_t code) {
                          m_Line.log(formatLine("Fail!(0x%X)\r\n", code));
                          if (!m_ErrorCode)
                              m_ErrorCode = code;
                      })));
}

void ListingExchange::failedListingEnded() {
    m_Line.log(formatLine("Fail!(0x%X)\r\n", LIST_END));
    if (!m_FailureReported) {
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

}  // namespace zrk
