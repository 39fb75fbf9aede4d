#pragma once
// The one serial link to the phone, over a POSIX terminal device. Opening it starts the
// watcher thread (ThreadWatchComm) that reads into m_QueueRead; closing it wakes and joins
// that thread, so no reader outlives the descriptor it reads.
#include <termios.h>

#include <atomic>
#include <cstdint>
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
    explicit CommPort(const PortMap& ports = portMap()) : m_Ports(ports) {}
    ~CommPort() override;
    CommPort(const CommPort&) = delete;
    CommPort& operator=(const CommPort&) = delete;

    // Opens COM<portNumber> through the port map at the given speed, raw 8N1.
    bool open(std::uint16_t portNumber, std::uint32_t baud) override;
    bool setLineFormat(std::uint32_t baud, int dataBits, Parity parity, int stopBits) override;
    std::size_t write(const std::uint8_t* data, std::size_t length) override;
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

    // Every block written and read goes here too (nullptr: no trace). Set while closed.
    void setTrace(TraceSink* trace) { m_Trace = trace; }

    // The termios the port asks for, from the device's current settings: raw, the given speed,
    // data bits and parity, one stop bit, no flow control, reads that return at once.
    // A pseudo-terminal drops parity, so this is where parity is checked.
    static std::optional<termios> buildLineSettings(const termios& current, std::uint32_t baud,
                                                    int dataBits, Parity parity, int stopBits);
    static std::optional<speed_t> speedFor(std::uint32_t baud);

    std::atomic<int> BlockMode{0};  // the frame size the watcher waits for; 0: none
    std::atomic<int> m_Connected{0};
    std::uint16_t m_PortNumber = 0;
    std::string m_DeviceName;
    ReceiveQueue m_QueueRead;

  private:
    bool applyLine(std::uint32_t baud, int dataBits, Parity parity, int stopBits);
    void releaseDevice();
    void ThreadWatchComm();
    void notifyData();
    bool fail(OpenFailure::Kind kind, int error);

    const PortMap& m_Ports;
    int m_Fd = -1;
    int m_WakeFd = -1;
    std::thread m_Watcher;
    TraceSink* m_Trace = nullptr;
    OpenFailure m_LastFailure;
};

}  // namespace zrk
