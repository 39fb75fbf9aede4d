#pragma once
// The protocol engine of one link: it composes the phases over their shared context, takes the
// link's news as the link's handler, and feeds each received byte, or each whole frame a phase
// asked for, to the current phase. A button prepares an operation, sends its first bytes and
// returns; the replies drive the rest. No Qt here: the window and the command line drive it
// through the same calls, and two engines on two links in one process do not meet.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "bringup/WaitingLine.h"
#include "engine/Clock.h"
#include "engine/DownloaderView.h"
#include "engine/PhaseContext.h"
#include "engine/ReplyPump.h"
#include "filesystem/FormatAndStatus.h"
#include "serial/LinkEvents.h"

namespace zrk {

class SerialLink;
class BringUp;
class LoaderPhase;
class FileSystemPhase;
class EngineProbe;

class ProtocolEngine : public LinkHandler, private ReplyReader {
  public:
    // Becomes the link's handler for as long as it lives.
    ProtocolEngine(SerialLink& link, DownloaderView& view, Clock& clock = systemClock());
    ~ProtocolEngine() override;
    ProtocolEngine(const ProtocolEngine&) = delete;
    ProtocolEngine& operator=(const ProtocolEngine&) = delete;

    // Buttons. Each takes what the user chose, as the front end read it when the button was
    // pressed, as the request its operation runs on.
    void start(const UserChoices& request);     // START: open the port and wait for the phone
    void download(const UserChoices& request);  // DOWNLOAD
    void erase(const UserChoices& request);     // "Erase..."
    void dump(const UserChoices& request);      // "Dump..."
    void format(const UserChoices& request);    // "Format"
    void status(const UserChoices& request);    // "Status"
    // Compares the phone with the chosen images without writing: the firmware in BIN, the file
    // system in QIX (the command line's verify).
    void verify(const UserChoices& request);
    void stop();  // "Stop"
    // A "CRC CheckSum" button found no readable image: the protocol rests idle, as after a
    // download refused for the same reason.
    void imageUnreadable();

    // Where the link stands; each change also reaches the view's stageChanged.
    Stage stage() const { return m_Context.stage(); }
    // The exchange the link waits on, in words ("send the image length"); empty when none.
    std::string exchange() const { return m_Context.exchange(); }
    // An operation is writing to the phone's flash: ending it now leaves the flash part-written.
    bool writingToFlash() const { return m_Context.writingToFlash(); }

    // The flash this bring-up identified, none before its identification has come.
    std::optional<FlashId> flashId() const { return m_Context.flashId(); }
    // The flash's sectors, active once it was identified as the supported part.
    SectorMap sectorMap() const { return m_Context.sectorMap(); }
    // One flag per sector: those the last erase or dump went over.
    std::vector<std::int32_t> sectorChoice() const { return m_Context.sectorChoice(); }
    // What the port said while START waited for the phone, for a hint when nothing answers.
    WaitingLine::Verdict waitingLineVerdict() const;
    // The record the last status read; none when it read none.
    std::optional<FormatAndStatus::StatusRecord> statusRecord() const;
    // The baud switch's timer (or the verify's, which borrows it) is running.
    bool baudTimerRunning() const { return m_Context.baudTimerRunning(); }

    // Notifications, on the protocol thread.
    void onDataReceived();
    void onBaudTimer();
    void onLinkLost(const std::string& reason) override;
    void onLinkData() override { onDataReceived(); }

  private:
    // The tests' and fuzz harnesses' way in to the context and the phases; nothing else has one.
    friend class EngineProbe;

    void takeRequest(const UserChoices& request);
    // ReplyReader: the current phase's step and frame.
    std::size_t frameWanted() const override { return m_Context.frameRequest(); }
    bool takeByte(std::uint8_t byte) override;
    void takeFrame(std::span<const std::uint8_t> frame) override;
    bool codePageUsable(Operation operation);

    SerialLink& m_Link;
    DownloaderView& m_View;
    PhaseContext m_Context;
    std::unique_ptr<BringUp> m_BringUp;
    std::unique_ptr<LoaderPhase> m_LoaderPhase;
    std::unique_ptr<FileSystemPhase> m_FileSystemPhase;
    ReplyPump m_Pump;
};

}  // namespace zrk
