// The front end's silence limit: what the explorer gives up when the phone stops answering.
#include "filesystem/explorer/ExplorerEngine.h"

#include "engine/SafeText.h"

namespace zrk {

using namespace explorer;

namespace {

const char* waitingFor(ExplorerState state) {
    switch (state) {
        case ExplorerState::WAIT_START_REPLY:
        case ExplorerState::WAIT_MOUNT_ECHO:
            return "the mount";
        case ExplorerState::WAIT_DELETE:
            return "the delete";
        case ExplorerState::WAIT_READ_ACK:
        case ExplorerState::READ_FILE_SIZE:
        case ExplorerState::WAIT_FILE_BLOCK:
            return "the file read-out";
        case ExplorerState::WAIT_STAT_ACK:
        case ExplorerState::READ_STAT_RECORD:
            return "the file status";
        case ExplorerState::WAIT_DUMP_START:
        case ExplorerState::WAIT_DUMP_PAGE:
        case ExplorerState::WAIT_DUMP_END:
            return "the NAND full dump";
        default:
            return "the listing";
    }
}

}  // namespace

std::string ExplorerEngine::onSilence(std::int64_t seconds) {
    const State state = m_Line.state;
    if (!m_Open || state == State::EXPLORER_IDLE)
        return {};
    const std::string silent = "the phone sent nothing for " + std::to_string(seconds) + " s";
    if (state == State::WAIT_EXIT_REPLY) {
        const std::string detail = "the unmount (E4h) was not answered; " + silent;
        m_Line.log("** " + detail + " **\r\n");
        m_Unmount = m_Line.closingOutcome(OutcomeKind::Failed, FailureCause::PhoneReply, detail);
        giveBack();
        return "QIX Explorer: " + detail + "; the phone's file system may still be mounted";
    }
    const char* what = waitingFor(state);
    const bool mounting = state == State::WAIT_START_REPLY || state == State::WAIT_MOUNT_ECHO;
    std::string note = std::string("QIX Explorer: ") + silent + "; " + what + " was given up";
    m_Line.log("\r\n** " + silent + ": " + what + " was given up **\r\n");
    m_ReadOut.stopQuietTimer();
    const bool dumping = m_NandDump.fileOpen();
    const bool readingOut = m_ReadOut.fileOpen();
    std::string kept = m_NandDump.abandonFile(false);
    if (kept.empty())
        kept = m_ReadOut.abandonFile(false);
    if (!kept.empty())
        note += std::string("; the ") + (dumping ? "pages" : "blocks") +
                " received so far are in " + printableName(kept);
    else if (dumping || readingOut)
        note += "; its partial file was removed";
    m_Listing.forgetDelete();
    m_Line.expectFrame(0);
    m_Line.state = State::EXPLORER_IDLE;
    // A file system that never mounted offers nothing but EXIT, as after a refused mount.
    if (!mounting)
        m_Line.setControls(true);
    m_Line.fail({owner(state)->name(), static_cast<std::int32_t>(state), std::nullopt, std::nullopt,
                 FailureCause::PhoneReply, silent});
    return note;
}

}  // namespace zrk
