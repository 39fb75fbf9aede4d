#include "filesystem/explorer/ExplorerEngine.h"

#include "engine/SafeText.h"
#include "engine/TextFormat.h"
#include "files/OutputFolder.h"
#include "serial/SerialLink.h"

namespace zrk {

using namespace explorer;

ExplorerEngine::ExplorerEngine(SerialLink& link, ExplorerView* view, CodePage codePage,
                               Clock& clock, std::uint32_t nandPages)
    : m_Line(link, view, std::move(codePage), clock, nandPages),
      m_Pump(link, *this, ReplyPump::EarlyBytes::KeptForFrame) {
    m_Line.pump = &m_Pump;
    m_Listing.setBounds(kMaxListingEntries, kMaxListingBytes);
}

ExplorerEngine::~ExplorerEngine() {
    // Going away without the closing exchange must still hand the link back.
    if (m_Open) {
        m_Line.link.setBlockMode(0);
        m_Line.link.popHandler(*this);
    }
}

void ExplorerEngine::open() {
    m_Line.link.pushHandler(*this);
    m_Open = true;
    m_Listing.reset();
    m_Unmount.reset();
    m_CutShortNote.clear();
    m_CutShortKept.clear();
    m_Line.beginExchange();
    // Nothing else may start until the root listing is in: a click during the mount would
    // overwrite its state and lose its outcome.
    m_Line.setControls(false);
    m_Listing.mount();
}

void ExplorerEngine::listDirectory(const std::string& path) {
    m_Listing.list(path);
}

std::string ExplorerEngine::fullFilePath(const std::string& itemText) const {
    std::string path = currentDirectory();
    if (path.empty() || path.back() != '/')
        path += '/';
    return path + itemText;
}

void ExplorerEngine::readOut(const std::string& fullPath) {
    m_ReadOut.begin(fullPath);
}

void ExplorerEngine::readOutInto(const std::string& fullPath, std::shared_ptr<OutputFolder> folder,
                                 const std::string& name, OutputFile::Existing existing) {
    m_ReadOut.beginInto(fullPath, std::move(folder), name, existing);
}

void ExplorerEngine::deleteFile(const std::string& fullPath) {
    m_Delete.begin(fullPath);
}

void ExplorerEngine::fileStatus(const std::string& fullPath) {
    m_Status.begin(fullPath);
}

void ExplorerEngine::nandDump() {
    m_NandDump.begin();
}

void ExplorerEngine::onQuietTimer() {
    m_ReadOut.onQuietTimer();
}

// ---- Closing ------------------------------------------------------------------------------

void ExplorerEngine::abandonOnClosing(const char* cause) {
    const bool readingOut = m_ReadOut.fileOpen();
    const bool dumping = m_NandDump.fileOpen();
    const std::string readOutKept = m_ReadOut.abandonFile();
    const std::string dumpKept = m_NandDump.abandonFile(false);
    // A second EXIT finds nothing open and must not forget what the first one cut short.
    if (!readingOut && !dumping)
        return;
    const std::string what = dumping ? "The NAND full dump" : "The file read-out";
    const std::string& kept = dumping ? dumpKept : readOutKept;
    m_CutShortKept = kept;
    m_CutShortNote = what + " was cut short by " + cause + "; ";
    if (kept.empty())
        m_CutShortNote += "its partial file was removed";
    else
        m_CutShortNote += std::string("the ") + (dumping ? "pages" : "blocks") +
                          " received so far are in " + printableName(kept);
}

void ExplorerEngine::exit() {
    if (!m_Open)
        return;
    m_ReadOut.stopQuietTimer();
    abandonOnClosing("EXIT");
    // The next byte, whatever it is, answers the unmount: no frame is awaited any more.
    m_Line.expectFrame(0);
    m_Line.end(OutcomeKind::Stopped, FailureCause::None, "EXIT");
    m_Listing.forgetDelete();
    m_Unmount.reset();
    m_Line.restartClock();
    // The explorer's outcome was told as it stopped: a wrong reply here fails only the closing.
    m_Line.replies.begin(
        std::move(Exchange("unmount", static_cast<std::int32_t>(State::WAIT_EXIT_REPLY))
                      .send({CMD_UNMOUNT})
                      .expect(CMD_UNMOUNT)
                      .then([this] { unmounted(std::nullopt); })
                      .otherwise([this](std::uint8_t got) { unmounted(got); })),
        nullptr);
}

void ExplorerEngine::unmounted(std::optional<std::uint8_t> wrongReply) {
    if (wrongReply) {
        m_Line.log(formatLine("Fail!(0x%X)\r\n", *wrongReply));
        m_Unmount =
            m_Line.closingOutcome(OutcomeKind::Failed, FailureCause::PhoneReply,
                                  formatText("the unmount answered with 0x%02X", *wrongReply));
    } else {
        m_Unmount = m_Line.closingOutcome(OutcomeKind::Completed);
    }
    giveBack();
}

void ExplorerEngine::giveBack() {
    m_Line.state = State::EXPLORER_IDLE;
    m_Open = false;
    m_Line.expectFrame(0);
    m_Line.link.popHandler(*this);
    if (m_Line.listener)
        m_Line.listener->linkGivenBack();
    else if (m_Line.view)
        m_Line.view->closeExplorer();
}

void ExplorerEngine::onLinkLost(const std::string& reason) {
    if (m_Line.state == State::WAIT_EXIT_REPLY)
        m_Unmount = m_Line.closingOutcome(OutcomeKind::LinkLost, FailureCause::Port, reason);
    m_ReadOut.forgetQuietTimer();
    abandonOnClosing("the lost link");
    m_Line.expectFrame(0);
    m_Line.end(OutcomeKind::LinkLost, FailureCause::Port, reason);
    giveBack();
    // The main engine below performs Stop, as it does for its own losses.
    if (LinkHandler* below = m_Line.link.handler())
        below->onLinkLost(reason);
}

// ---- Receiving ----------------------------------------------------------------------------

void ExplorerEngine::onLinkData() {
    // Only what was queued at the notification (and what a lowered frame size makes whole):
    // during a long dump the next page keeps arriving, and a front end must get its turn.
    m_Pump.drain();
}

ExplorerExchange* ExplorerEngine::owner(State state) {
    switch (state) {
        case State::WAIT_START_REPLY:
        case State::WAIT_MOUNT_ECHO:
        case State::WAIT_ENTRY_LENGTH:
        case State::READ_ENTRY:
        case State::WAIT_ENTRY_STATUS:
        case State::LIST_FAILED:
            return &m_Listing;
        case State::WAIT_DELETE:
            return &m_Delete;
        case State::WAIT_READ_ACK:
        case State::READ_FILE_SIZE:
        case State::WAIT_FILE_BLOCK:
            return &m_ReadOut;
        case State::WAIT_STAT_ACK:
        case State::READ_STAT_RECORD:
            return &m_Status;
        case State::WAIT_DUMP_START:
        case State::WAIT_DUMP_PAGE:
        case State::WAIT_DUMP_END:
            return &m_NandDump;
        case State::WAIT_EXIT_REPLY:
        case State::EXPLORER_IDLE:
            return nullptr;
    }
    return nullptr;
}

void ExplorerEngine::takeFrame(std::span<const std::uint8_t> frame) {
    // The exchange asks again for the next frame; otherwise single bytes follow.
    m_Line.frameWanted = 0;
    const State state = m_Line.state;
    if (state == State::WAIT_FILE_BLOCK || state == State::WAIT_DUMP_PAGE)
        owner(state)->onFrame(frame);
    if (m_Line.frameWanted == 0)
        m_Line.expectFrame(0);
}

bool ExplorerEngine::takeByte(std::uint8_t byte) {
    // What follows a listing's error is logged, yet answers nothing: the silence limit keeps
    // running through it.
    const bool afterListingError = m_Line.state == State::LIST_FAILED;
    return m_Line.replies.judge(byte) && !afterListingError;
}

}  // namespace zrk
