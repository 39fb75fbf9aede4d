#pragma once
// The phone itself, without any I/O: the boot ROM, the pre-loader and the boot-loader with its
// NOR and NAND commands, fed one byte at a time as the phone's UART decoded it, and driven by
// the clock for what the phone does on its own (the boot ROM's connect requests). What it
// sends collects as blocks for the line to carry. Every byte the protocol does not allow at
// that point is recorded as a violation. Not thread-safe: its owner serialises access.
#include <chrono>
#include <cstdint>
#include <optional>
#include <random>
#include <span>
#include <string>
#include <vector>

#include "sim/NandFileSystem.h"
#include "sim/NorFlash.h"
#include "sim/PhoneCounters.h"
#include "sim/SimOptions.h"

namespace zrk::sim {

class Phone {
  public:
    using Clock = std::chrono::steady_clock;
    using TimePoint = Clock::time_point;

    static constexpr std::chrono::milliseconds kOfferPeriod{50};
    // How long the boot ROM waits for the grant's acknowledgement before it offers the
    // connection again (a host that answered a connect request late missed the grant).
    static constexpr std::chrono::milliseconds kGrantTimeout{1000};
    // How often a babbling device (SimFaults::babble) talks.
    static constexpr std::chrono::milliseconds kBabblePeriod{10};

    Phone(const SimOptions& options, NorFlash& nor, NandFileSystem& nand);

    void hostOpened(TimePoint now);
    void hostClosed(TimePoint now);
    void receive(std::uint8_t byte, TimePoint now);
    // As receive, for a run of bytes at the phone's speed: a payload being collected is taken
    // in one piece. Returns how many bytes were taken, at least one of a run that is not empty.
    std::size_t receiveRun(std::span<const std::uint8_t> bytes, TimePoint now);
    void tick(TimePoint now);
    // A device that is no phone: its next burst of talk.
    void babble();
    std::optional<TimePoint> nextDeadline() const;
    // Bytes arrived at a speed other than the phone's: recorded once per block.
    void speedMismatch(unsigned hostBaud, std::size_t count);

    unsigned uartBaud() const { return m_Uart; }
    // After the speed index: the host's close and reopen at the new speed come next.
    bool awaitsReopen() const { return m_State == State::PreWaitStart; }
    bool hostOpen() const { return m_HostOpen; }
    std::string stateName() const;
    bool mounted() const { return m_Mounted; }

    std::vector<std::vector<std::uint8_t>> takeOutput();
    const std::vector<Violation>& violations() const { return m_Violations; }
    std::size_t violationCount() const { return m_ViolationCount; }
    const PhoneCounters& counters() const { return m_Counters; }
    // The phone wants the line closed for good (an unmount answered by a hang-up, an adapter
    // pulled out).
    bool hangUpRequested() const { return m_HangUpRequested; }

  private:
    enum class State {
        RomOffering,
        RomWaitGrantAck,
        RomCommand,
        PreWaitSpeed,
        PreWaitStart,
        PreWaitLengthCommand,
        PreWaitDma,
        LoaderCommand,
        ListWaitAck,
        ReadOutWaitSend,
        ReadOutWaitAck,
        NandDumpWaitAck,
        FirmwareRunning,
    };
    struct Collect {
        bool active = false;
        std::uint8_t command = 0;
        int phase = 0;
        std::size_t need = 0;
        std::vector<std::uint8_t> buffer;
    };
    struct Download {
        bool active = false;
        std::uint32_t end = 0;   // offset after the image's last byte
        std::uint32_t next = 0;  // where the next sector should start
        std::uint32_t crc = 0;   // of the data received so far
        std::uint32_t announcedCrc = 0;
    };
    struct SectorWrite {
        NorSector sector{};
        std::uint32_t expected = 0;
        std::uint32_t received = 0;
        unsigned sum = 0;
    };
    struct FileWrite {
        bool open = false;
        std::string path;
        std::uint32_t size = 0;
        std::vector<std::uint8_t> data;
    };

    void powerOff(TimePoint now);  // with the clock's work (PhonePower.cpp)
    bool rowEnded() const {
        return m_Options.phonesInARow > 0 && m_Counters.sessions >= m_Options.phonesInARow;
    }
    void send(std::vector<std::uint8_t> bytes);
    void sendByte(std::uint8_t b) { send({b}); }
    void violation(const std::string& what);
    void unexpected(std::uint8_t byte);
    void collect(std::uint8_t command, int phase, std::size_t need);
    void collected(std::uint8_t command, int phase, std::vector<std::uint8_t>& buffer);

    // Boot ROM and pre-loader (PhoneRom.cpp).
    void romByte(std::uint8_t byte, TimePoint now);
    void romCollected(std::uint8_t command, int phase, const std::vector<std::uint8_t>& b);
    void preLoaderByte(std::uint8_t byte);
    void preLoaderCollected(std::uint8_t command, const std::vector<std::uint8_t>& b);
    std::vector<std::uint8_t> makeChallenge();

    // Boot-loader, NOR side (PhoneNor.cpp).
    void loaderByte(std::uint8_t byte);
    void norCollected(std::uint8_t command, int phase, const std::vector<std::uint8_t>& b);
    void startSector(std::uint8_t command, std::uint32_t offset);
    void programBlock(const std::vector<std::uint8_t>& b);
    void finishSector();
    void eraseSector(std::uint32_t offset);
    void dumpBlock(std::uint32_t offset);

    // Boot-loader, NAND side (PhoneNand.cpp).
    bool nandCommand(std::uint8_t byte);
    void nandCollected(std::uint8_t command, int phase, const std::vector<std::uint8_t>& b);
    void requireMounted(const char* what);
    void fileBlock(const std::vector<std::uint8_t>& b);
    void setTime(const std::vector<std::uint8_t>& b);

    // Boot-loader, the explorer's turns (PhoneExplorer.cpp).
    void nandByte(std::uint8_t byte);
    void startListing(const std::string& path);
    void sendEntry();
    void sendListError();
    void startReadOut(const std::string& path);
    void sendReadOutBlock();
    void sendNandPage();

    const SimOptions& m_Options;
    NorFlash& m_Nor;
    NandFileSystem& m_Nand;
    std::mt19937 m_Random;
    PhoneCounters m_Counters;
    std::vector<Violation> m_Violations;
    std::size_t m_ViolationCount = 0;
    std::vector<std::vector<std::uint8_t>> m_Output;

    State m_State = State::RomOffering;
    Collect m_Collect;
    unsigned m_Uart = 115200;
    bool m_HostOpen = false;
    bool m_HostSpoke = false;  // the host sent something since the last power-up
    bool m_NoiseSent = false;
    bool m_HangUpRequested = false;
    TimePoint m_NextOffer{};
    TimePoint m_GrantDeadline{};

    std::vector<std::uint8_t> m_Challenge;
    std::vector<std::uint8_t> m_PreLoader;
    std::optional<std::uint32_t> m_RomAddress;  // where the boot ROM stores the next word
    std::uint8_t m_SpeedIndex = 0;
    std::uint32_t m_BootRemaining = 0;
    std::uint32_t m_BootCrc = 0;

    std::uint32_t m_WriteOffset = 0;
    std::uint32_t m_ImageCrc = 0;
    Download m_Download;
    SectorWrite m_Sector;

    bool m_Mounted = false;
    PackedTime m_Clock;
    std::vector<std::uint8_t> m_PendingLength;  // of the path command being read
    struct ImageCheck {
        std::uint32_t announced;
        std::uint32_t crc;  // of the file blocks received since
    };
    std::optional<ImageCheck> m_ImageCheck;
    FileWrite m_File;
    std::uint32_t m_FileBlocks = 0;  // file blocks written since start, for the fault
    std::vector<NandEntry> m_Entries;
    std::size_t m_EntryIndex = 0;
    std::vector<std::uint8_t> m_ReadOut;
    std::size_t m_ReadOutPos = 0;
    std::uint32_t m_ReadOutBlocks = 0;  // read-out blocks sent since start, for the fault
    std::uint32_t m_DumpPage = 0;
};

}  // namespace zrk::sim
