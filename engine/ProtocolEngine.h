#pragma once
// The byte-driven protocol state machine behind both front ends. A button prepares an
// operation, sends its first bytes, sets ProtocolState and returns; every data-received
// notification then drains the receive queue and feeds the bytes one at a time to the step of
// the current state, which checks the byte, logs, sends the next command and sets the next
// state. No Qt here: the window and the command line drive it through the same calls.
#include <array>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "bringup/SectorMap.h"
#include "engine/Clock.h"
#include "engine/DownloaderView.h"
#include "engine/OpenFile.h"
#include "engine/ProtocolState.h"

namespace zrk {

class SerialLink;
class BringUp;
class LoaderPhase;

class ProtocolEngine {
  public:
    static constexpr std::size_t kTransferBufferSize = 8192;

    ProtocolEngine(SerialLink& link, DownloaderView& view, Clock& clock = systemClock());
    ~ProtocolEngine();
    ProtocolEngine(const ProtocolEngine&) = delete;
    ProtocolEngine& operator=(const ProtocolEngine&) = delete;

    // Buttons.
    void start();     // START: open the port and wait for the phone
    void download();  // DOWNLOAD
    void erase();     // "Erase..."
    void dump();      // "Dump..."
    void stop();      // "Stop"

    // Notifications, on the protocol thread.
    void onDataReceived();
    void onBaudTimer();
    // The watcher saw the device go away: say so in the log and stop the link.
    void onLinkLost(const std::string& reason);

    // Services for the steps.
    void send(std::span<const std::uint8_t> bytes);
    void send(std::initializer_list<std::uint8_t> bytes);
    void log(const std::string& text);
    void beginOperation(std::int32_t kind);
    // State IDLE, the operation's files closed, the controls unlocked.
    void finishOperation();
    // State IDLE only: the controls stay locked and files open until Stop.
    void abandon() { ProtocolState = IDLE; }
    void startBaudTimer(int milliseconds);
    bool baudTimerRunning() const { return m_BaudTimerRunning; }

    SerialLink& link() { return m_Link; }
    DownloaderView& view() { return m_View; }
    Clock& clock() { return m_Clock; }
    BringUp& bringUp() { return *m_BringUp; }
    LoaderPhase& loaderPhase() { return *m_LoaderPhase; }

    // The protocol's shared state, plain fields as the steps use them.
    std::int32_t ProtocolState = INITIAL;
    std::int32_t LoaderReady = 0;
    std::int32_t OperationKind = 0;
    std::uint8_t expectedReply = 0;
    std::uint32_t replyCounter = 0;
    std::int64_t startTime = 0;
    std::array<std::uint8_t, kTransferBufferSize> TransferBuffer{};
    SectorMap sectorMap;
    std::vector<std::int32_t> sectorSelected;
    OpenFile firmwareImage;
    OpenFile fileSystemImage;
    OpenFile dumpFile;

  private:
    bool takeDumpBlockIfComplete();

    SerialLink& m_Link;
    DownloaderView& m_View;
    Clock& m_Clock;
    std::unique_ptr<BringUp> m_BringUp;
    std::unique_ptr<LoaderPhase> m_LoaderPhase;
    bool m_BaudTimerRunning = false;
};

}  // namespace zrk
