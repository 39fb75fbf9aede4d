#pragma once
// A simulated phone on the master side of a pseudo-terminal, served on its own thread. The
// host (the downloader, a test) opens slavePath() as its serial device. The line behaves like
// a cable: bytes sent at the wrong speed arrive as garbage, bytes sent while nobody listens
// are lost, and with pacing every byte takes 10 bit times at the line's speed. Closing the
// port (except for the baud switch) powers the phone off; it restarts at the boot ROM with its
// NOR and NAND kept. Every accessor is safe to call while the simulator runs.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "serial/ByteTrace.h"
#include "serial/PseudoTerminal.h"
#include "sim/NandFileSystem.h"
#include "sim/NorFlash.h"
#include "sim/Phone.h"
#include "sim/SimOptions.h"

namespace zrk::sim {

class PhoneSimulator {
  public:
    explicit PhoneSimulator(SimOptions options = {});
    ~PhoneSimulator();
    PhoneSimulator(const PhoneSimulator&) = delete;
    PhoneSimulator& operator=(const PhoneSimulator&) = delete;

    // Loads the preload folder, opens the pseudo-terminal and starts serving it.
    bool start(std::string* error = nullptr);
    void stop();  // joins the thread; the pseudo-terminal goes away
    std::string slavePath() const;
    bool hungUp() const;  // the hang-up fault closed the line

    std::vector<Violation> violations() const;
    std::size_t violationCount() const;
    PhoneCounters counters() const;
    // Waits until the counters satisfy the condition; false when the timeout passed first.
    bool waitFor(const std::function<bool(const PhoneCounters&)>& condition,
                 std::chrono::milliseconds timeout) const;
    std::uint64_t bytesSent() const;
    std::string stateName() const;
    bool hostOpen() const;

    std::vector<std::uint8_t> norRange(std::uint32_t offset, std::uint32_t length) const;
    void preloadNor(std::uint32_t offset, const std::vector<std::uint8_t>& data);
    bool addNandDirectory(const std::string& path);
    bool addNandFile(const std::string& path, std::vector<std::uint8_t> data);
    std::optional<std::vector<std::uint8_t>> nandFile(const std::string& path) const;
    bool nandDirectoryExists(const std::string& path) const;

    // nor.bin (the whole flash) and nand/ (the tree) under dir.
    bool saveState(const std::string& dir, std::string* error = nullptr) const;
    // The violations and counters, for a person to read.
    std::string summary() const;

    // For tests that need the simulator to be late without waiting for a loaded machine. Set
    // before start(); both run on the simulator's thread. beforeLooking: each time it wakes,
    // before it looks at the host's opens, closes and bytes. afterReading: with bytes just
    // read from the host, before their speed is judged (the line lock is held: no accessor
    // may be called from it).
    struct ReaderHooks {
        std::function<void()> beforeLooking;
        std::function<void(const std::vector<std::uint8_t>&)> afterReading;
    };
    void setReaderHooks(ReaderHooks hooks) { m_Hooks = std::move(hooks); }

  private:
    using Clock = std::chrono::steady_clock;
    using TimePoint = Clock::time_point;
    // What woke the simulator's thread.
    static constexpr std::uint32_t kWakeTag = 0;
    static constexpr std::uint32_t kLogTag = 1;
    static constexpr std::uint32_t kMasterTag = 2;
    struct LineByte {
        TimePoint due;
        std::uint8_t byte;
        // The host's speed when it sent the byte (host to phone only); 0 when it cannot be
        // known any more, and the byte counts as sent at the phone's speed.
        unsigned baud;
    };

    void run();
    // Takes the host's opens and closes that the kernel logged since we last looked, and
    // serves them in order.
    void pullEvents();
    void serveEvents(TimePoint now);
    bool pending(std::uint32_t mask) const;  // an event of that kind is taken, not served
    // Everything the host has written so far (written before now, at whatever speed).
    std::vector<std::uint8_t> drainMaster(bool untilEmpty);
    // Reads what the host wrote while it has the port open.
    void readMaster(TimePoint now);
    void hostClosed(TimePoint now);
    void queueInput(TimePoint now, std::span<const std::uint8_t> bytes, unsigned baud);
    // An unpaced line hands the bytes over as they are read, without a queue entry per byte.
    void receiveNow(TimePoint now, std::span<const std::uint8_t> bytes, unsigned baud);
    void closeLine();
    struct Readiness {
        bool failed = false;  // the wait itself broke: the thread cannot go on
        bool events = false;  // the slave's open and close log has news
        bool master = false;  // the host wrote something
    };
    // Waits for the stop, the log or (while the host has the port open) the host's bytes.
    Readiness waitForWork(std::optional<std::chrono::nanoseconds> wait, bool listen);
    // Feeds the due bytes (all: every queued byte). untilReopen: stops before a byte that
    // reaches a phone waiting for the host's close and reopen.
    void feedInput(TimePoint now, bool all, bool untilReopen = false);
    void queueOutput(TimePoint now);
    void flushOutput(TimePoint now);
    void writeLine(std::vector<std::uint8_t>& bytes);
    void hangUp();
    std::chrono::nanoseconds byteTime(unsigned baud) const;
    std::optional<TimePoint> nextDeadline() const;
    void note(const std::string& text);
    void noteViolations();

    SimOptions m_Options;
    mutable std::mutex m_Lock;
    NorFlash m_Nor;
    NandFileSystem m_Nand;
    std::unique_ptr<Phone> m_Phone;

    PseudoTerminal m_Pty;
    std::string m_SlavePath;
    int m_Keeper = -1;
    int m_Inotify = -1;
    int m_Wake[2] = {-1, -1};
    int m_Epoll = -1;
    bool m_MasterWatched = false;
    bool m_WaitsToTheNanosecond = true;  // epoll_pwait2 is there (Linux 5.11 and later)
    std::thread m_Thread;
    std::atomic<bool> m_Stop{false};
    std::atomic<bool> m_HungUp{false};
    HexTraceFile m_Transcript;
    bool m_Tracing = false;

    // Line state, touched by the simulator thread under m_Lock.
    int m_OpenCount = 0;
    std::deque<LineByte> m_Input;
    std::deque<LineByte> m_Output;
    TimePoint m_InputFree{};
    // The speed of the host's current opening, once a sample of it is known to have been
    // taken before the host could close and reopen; 0 until then.
    unsigned m_LineBaud = 0;
    std::deque<std::uint32_t> m_Events;  // inotify masks taken but not yet served
    // Bytes read while a close was pending: the close decides whose they are.
    std::vector<std::uint8_t> m_Unjudged;
    ReaderHooks m_Hooks;
    TimePoint m_OutputFree{};
    std::uint64_t m_BytesSent = 0;
    std::size_t m_NotedViolations = 0;
    std::optional<unsigned> m_FreshBaud;  // the host's speed as read in this turn
    bool m_InMismatch = false;
};

}  // namespace zrk::sim
