#pragma once
// What the protocol engine needs of the serial link. CommPort provides it over termios; engine
// tests provide a fake that records what was written.
#include <cstddef>
#include <cstdint>
#include <string>

#include "serial/ReceiveQueue.h"

namespace zrk {

enum class Parity { None = 0, Even = 2 };  // the wire codes the protocol uses

// Why the last open failed, so a front end can say more than "it failed".
struct OpenFailure {
    enum class Kind { None, NotFound, PermissionDenied, InUse, NotATerminal, LineRejected, Other };
    Kind kind = Kind::None;
    int error = 0;       // errno
    std::string device;  // the path that was tried
    std::string describe() const;
};

class SerialLink {
  public:
    virtual ~SerialLink() = default;
    virtual bool open(std::uint16_t portNumber, std::uint32_t baud) = 0;
    virtual bool setLineFormat(std::uint32_t baud, int dataBits, Parity parity, int stopBits) = 0;
    // Returns only when the bytes have left (or failed); the count written, 0 on failure.
    virtual std::size_t write(const std::uint8_t* data, std::size_t length) = 0;
    virtual void close() = 0;
    virtual bool isConnected() const = 0;
    virtual void setBlockMode(bool on) = 0;
    virtual ReceiveQueue& receiveQueue() = 0;
    virtual OpenFailure lastOpenFailure() const = 0;
};

}  // namespace zrk
