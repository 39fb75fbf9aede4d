#pragma once
// The one serial link to the phone, over the system's serial device (a POSIX terminal here; the
// system calls are in serial/posix/). Opening it starts the watcher thread (ThreadWatchComm)
// that reads into m_QueueRead; closing it wakes and joins that thread, so no reader outlives
// the descriptor it reads. A sink that polls on its own thread can read there instead
// (setReadOnSinkThread): then no watcher is started at all.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "serial/PortMap.h"
#include "serial/ReceiveQueue.h"
#include "serial/SerialLink.h"

namespace zrk {

class TraceSink;

class CommPort : public SerialLink {
  public:
    static constexpr std::size_t kReadBurst = 8194;

    // Port numbers resolve through the given map (the program's own by default).
    explicit CommPort(const PortMap& ports = portMap());
    ~CommPort() override;
    CommPort(const CommPort&) = delete;
    CommPort& operator=(const CommPort&) = delete;

    // Opens COM<portNumber> through the port map at the given speed, raw 8N1.
    bool open(std::uint16_t portNumber, std::uint32_t baud) override;
    bool setLineFormat(std::uint32_t baud, int dataBits, Parity parity, int stopBits) override;
    // Returns once the bytes have left the driver, or at the write's deadline (twice the
    // bytes' time on the wire plus kWriteMargin), or when cancelWrites is called. Anything
    // short of all of them makes the link lost: the count that left is returned, the sink is
    // told, and later writes send nothing until the port is opened again.
    std::size_t write(const std::uint8_t* data, std::size_t length) override;
    // Ends the write in progress within one slice of its wait, and every write after it until
    // the next open. Async-signal-safe and callable from any thread while the object lives.
    void cancelWrites();
    bool writeFailed() const { return m_WriteFailed.load(); }
    // Never blocks. Count read, 0 when nothing is waiting, -1 when the device failed.
    long readAvailable(std::uint8_t* buffer, std::size_t capacity);
    void close() override;

    bool isConnected() const override { return m_Connected.load() != 0; }
    // The frame a phase waits for (a dump block and its checksum, say): the watcher notifies
    // only when that many bytes are queued.
    void setBlockMode(std::size_t frameBytes) override {
        BlockMode.store(static_cast<int>(frameBytes));
    }
    ReceiveQueue& receiveQueue() override { return m_QueueRead; }
    OpenFailure lastOpenFailure() const override { return m_LastFailure; }

    // Where the system lets one thread wait on the device (a POSIX descriptor); Windows'
    // port keeps its watcher and says no.
    bool setReadOnSinkThread(bool on) override;
    InputWait inputWait() const override;
    bool readInput(WaitEvents events) override;

    // Every block written and read goes here too (nullptr: no trace). Set while closed.
    void setTrace(TraceSink* trace) { m_Trace = trace; }

    // The bytes' time on the wire: ten bits a byte (start, eight data, stop). A parity bit
    // hides in the write deadline's factor of two, and so does a driver that is slow to start.
    static std::chrono::milliseconds wireTime(std::size_t bytes, std::uint32_t baud);
    static constexpr std::chrono::milliseconds kWriteMargin{2000};
    static constexpr std::chrono::milliseconds kWriteSlice{100};
    // How long a write of this many bytes may take at this speed, its drain included.
    static std::chrono::milliseconds writeDeadline(std::size_t bytes, std::uint32_t baud);

    std::atomic<int> BlockMode{0};  // the frame size the watcher waits for; 0: none
    std::atomic<int> m_Connected{0};
    std::uint16_t m_PortNumber = 0;
    std::string m_DeviceName;
    ReceiveQueue m_QueueRead;
    bool m_HasLineStatus = true;  // the driver answers TIOCSERGETLSR (protocol thread only)

  private:
    using Deadline = std::chrono::steady_clock::time_point;
    enum class Wait { Ready, Cancelled, TimedOut, Failed };

    bool applyLine(std::uint32_t baud, int dataBits, Parity parity, int stopBits);
    // One slice at most: POLLOUT on the device (events != 0), or just the slice (events == 0,
    // a drain's pause of at most pause).
    Wait waitOnce(short events, Deadline deadline, std::chrono::milliseconds pause);
    // Waits until the driver has sent what it holds; the bytes still held when it gave up.
    std::optional<std::size_t> drainOutput(Deadline deadline, bool& cancelled);
    void failWrite(std::size_t sent, std::size_t length, bool cancelled);
    void releaseDevice();
    void ThreadWatchComm();
    // Reads what the driver holds into the queue (as much as fits); the reason the link is
    // lost, or empty.
    std::string takeInput(bool hungUp);
    void reportLost(const std::string& reason);
    void notifyData();
    // Bytes are queued, and all of a requested frame.
    bool dataReady() const;
    bool fail(OpenFailure::Kind kind, int error);  // errno
    bool fail(OpenFailure::Kind kind, std::error_code error);

    const PortMap& m_Ports;
    // What only one system's port holds (its handles and completion blocks); defined in
    // serial/<platform>/CommPort.cpp. The descriptors below are the POSIX port's.
    struct SystemPort;
    std::unique_ptr<SystemPort> m_System;
    int m_Fd = -1;
    int m_WakeFd = -1;
    // Lives as long as the object, so a signal handler never writes to a closed descriptor.
    int m_CancelFd = -1;
    std::atomic<bool> m_CancelWrites{false};
    std::atomic<bool> m_WriteFailed{false};
    std::uint32_t m_Baud = 0;
    // A pseudo-terminal hands every byte written straight to its peer: nothing to drain.
    bool m_HoldsNoOutput = false;
    bool m_SinkReadsWanted = false;
    bool m_SinkReads = false;   // this opening reads on the sink's thread
    bool m_InputEnded = false;  // that reading saw the link lost: nothing more to poll
    std::thread m_Watcher;
    TraceSink* m_Trace = nullptr;
    OpenFailure m_LastFailure;
};

}  // namespace zrk
