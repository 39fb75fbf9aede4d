#include "filesystem/explorer/ReadOutExchange.h"

#include <utility>

#include "engine/Checksums.h"
#include "engine/TextFormat.h"
#include "files/OutputFolder.h"

namespace zrk {

using namespace explorer;
using State = ExplorerState;

std::string abandonOutput(ExplorerLine& line, OutputFile& file, bool keep, const char* what) {
    if (!file.isOpen())
        return {};
    const std::string kept = keep ? file.keepPartial() : std::string();
    file.discard();
    if (keep)
        line.log(std::string("The ") + what + " received so far are in " + kept + "\r\n");
    return kept;
}

void ReadOutExchange::beginInto(const std::string& fullPath, std::shared_ptr<OutputFolder> folder,
                                const std::string& name, OutputFile::Existing existing) {
    m_Line.beginExchange();
    m_Asked = fullPath;
    m_Folder = std::move(folder);
    m_Name = name;
    m_Existing = existing;
    m_Line.log(
        formatText("\r\n Reading the file '%s'... ", shownPath(fullPath, m_Line.names).c_str()));
    m_Line.setControls(false);
    const auto utf8 =
        m_Line.convertFullPath(this->name(), fullPath, "**File name is too long(%s) **\r\n");
    if (!utf8)
        return;
    ask(std::move(
        namedRequest(State::WAIT_READ_ACK, CMD_READ_FILE, *utf8)
            .expect(READ_OK)
            .then([this] {
                ask(std::move(exchange(State::READ_FILE_SIZE)
                                  .expectBytes(4)
                                  .then([this](Exchange::Reply size) { sizeRead(size); })));
            })
            .failing(
                [](std::uint8_t got) { return formatText("File size read Fail! (0x%X)\r\n", got); })
            .failureDetail([](std::uint8_t got) {
                return formatText("read-out answered with 0x%02X", got);
            })));
}

void ReadOutExchange::begin(const std::string& fullPath) {
    // A folder left by a read-out refused before its request is not this one's.
    beginInto(fullPath, nullptr, {});
}

void ReadOutExchange::nextBlockLength() {
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

void ReadOutExchange::beforeFailing(Failure& failure) {
    m_Line.setControls(true);
    sayRefusal(failure);
}

void ReadOutExchange::sizeRead(Exchange::Reply size) {
    m_Size = std::uint32_t{size[0]} << 24 | std::uint32_t{size[1]} << 16 |
             std::uint32_t{size[2]} << 8 | size[3];
    m_Line.log(formatLine("\r\nSize: %d bytes\r\n", static_cast<int>(m_Size)));
    if (!createFile())
        return;
    m_Line.log("** Dumping QIX File **\r\n");
    m_Line.done = 0;
    m_LastBlock = false;
    m_Line.progressRange(m_Size);
    m_Remaining = m_Size;
    nextBlockLength();
    m_Line.state = State::WAIT_FILE_BLOCK;
    m_Line.expectFrame(m_BlockLength + 1);
    m_Line.send({CMD_SEND_BLOCKS});
    if (m_Size == 0) {
        // The phone may answer an empty file with nothing at all.
        m_QuietTimerRunning = true;
        m_Line.startQuietTimer(kEmptyReadOutQuietMs);
    }
}

bool ReadOutExchange::createFile() {
    auto folder = std::exchange(m_Folder, nullptr);
    const std::string name = std::exchange(m_Name, {});
    std::string whyNot;
    bool created = false;
    // A copy's torn file has no place in it (the copy may become an image); a file a person
    // asked for keeps what arrived.
    m_KeepsPartial = !folder;
    if (folder) {
        created = m_File.create(folder, name, m_Existing, &whyNot);
        m_Target = folder->pathOf(name);
    } else {
        ExplorerView* view = m_Line.shown();
        const std::string target =
            view ? view->chooseSaveFile({".hex", "Hex Files (*.hex)|*.hex|All Files (*.*)|*.*||"})
                 : std::string();
        if (target.empty()) {
            m_Line.setControls(true);
            m_Line.message("No file selected!", MessageIcon::Warning);
            failHere(FailureCause::Refused, "no file chosen");
            return false;
        }
        // Written under a name of its own and renamed only when complete, so a failed
        // read-out never leaves a short file under the name a person asked for.
        created = m_File.create(target, OutputFile::Existing::Replace, &whyNot);
        m_Target = target;
    }
    if (!created) {
        m_Line.setControls(true);
        m_Line.log("** " + whyNot + "\r\n");
        m_Line.message("Internal Error! (file creation)", MessageIcon::Error);
        failHere(FailureCause::File, whyNot);
        return false;
    }
    return true;
}

bool ReadOutExchange::commitFile() {
    std::string whyNot;
    if (m_File.commit(&whyNot))
        return true;
    m_Line.log("** " + whyNot + " **\r\n");
    abandonFile();
    m_Line.fail({name(), static_cast<std::int32_t>(State::EXPLORER_IDLE), std::nullopt,
                 std::nullopt, FailureCause::File, whyNot});
    return false;
}

std::string ReadOutExchange::abandonFile(bool remove) {
    return abandonOutput(m_Line, m_File, !remove && m_KeepsPartial, "blocks");
}

void ReadOutExchange::stopQuietTimer() {
    if (m_QuietTimerRunning) {
        m_QuietTimerRunning = false;
        m_Line.stopQuietTimer();
    }
}

void ReadOutExchange::completed() {
    // Complete on disk before it is called complete.
    if (!commitFile())
        return;
    m_Line.log("** Dump Completed! **\r\n");
    m_Line.message("Dump Completed!", MessageIcon::Information);
    m_Line.end(OutcomeKind::Completed);
}

void ReadOutExchange::onFrame(std::span<const std::uint8_t> frame) {
    stopQuietTimer();
    const std::size_t n = frame.size() - 1;
    if (sum8(frame.first(n)) != frame[n]) {
        m_Line.state = State::EXPLORER_IDLE;
        m_Line.send({BLOCK_REJECTED});
        m_Line.log("Checksum mismatched!\r\n");
        abandonFile();
        m_Line.setControls(true);
        m_Line.message("Checksum Mismatched!", MessageIcon::Error);
        m_Line.fail({name(), static_cast<std::int32_t>(State::WAIT_FILE_BLOCK),
                     sum8(frame.first(n)), frame[n], FailureCause::PhoneReply,
                     "block checksum mismatched"});
        return;
    }
    m_Line.done += static_cast<std::uint32_t>(n);
    m_Line.progress(m_Line.done);
    if (!m_File.write(frame.data(), n)) {
        const std::string why = "cannot write " + m_Target + ": " + m_File.writeError();
        m_Line.state = State::EXPLORER_IDLE;
        m_Line.send({BLOCK_REJECTED});
        m_Line.log("** " + why + " **\r\n");
        abandonFile();
        m_Line.setControls(true);
        m_Line.fail({name(), static_cast<std::int32_t>(State::WAIT_FILE_BLOCK), std::nullopt,
                     std::nullopt, FailureCause::File, why});
        return;
    }
    if (!m_LastBlock) {
        nextBlockLength();
        m_Line.expectFrame(m_BlockLength + 1);
        m_Line.send({BLOCK_ACCEPTED});
        return;
    }
    m_Line.state = State::EXPLORER_IDLE;
    m_Line.send({BLOCK_ACCEPTED});
    m_Line.setControls(true);
    completed();
}

void ReadOutExchange::onQuietTimer() {
    if (!m_QuietTimerRunning)
        return;
    m_QuietTimerRunning = false;
    if (m_Line.state != State::WAIT_FILE_BLOCK || m_Size != 0)
        return;
    // Nothing came for the empty file: it is complete as it is.
    m_Line.expectFrame(0);
    m_Line.state = State::EXPLORER_IDLE;
    m_Line.setControls(true);
    completed();
}

}  // namespace zrk
