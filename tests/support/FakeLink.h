#pragma once
// A serial link that records what the engine writes and lets a test play the phone by
// queueing bytes and delivering the notification itself.
#include <cstdint>
#include <string>
#include <vector>

#include "serial/SerialLink.h"

namespace zrk::test {

class FakeLink : public SerialLink {
  public:
    bool open(std::uint16_t portNumber, std::uint32_t baud) override {
        opens.push_back({portNumber, baud});
        if (failOpens > 0) {
            --failOpens;
            return false;
        }
        failure = {};
        connected = true;
        // As a real port does on open: what an earlier opening left unread belongs to nobody.
        queue.reset();
        beginSession();
        baudRate = baud;
        parity = Parity::None;
        return true;
    }
    bool setLineFormat(std::uint32_t baud, int bits, Parity p, int stop) override {
        baudRate = baud;
        dataBits = bits;
        parity = p;
        stopBits = stop;
        return !rejectLineFormat;
    }
    std::size_t write(const std::uint8_t* data, std::size_t length) override {
        written.insert(written.end(), data, data + length);
        writes.emplace_back(data, data + length);
        return length;
    }
    void close() override {
        connected = false;
        ++closes;
    }
    bool isConnected() const override { return connected; }
    void setBlockMode(std::size_t frameBytes) override {
        blockMode = frameBytes != 0;
        frameSize = frameBytes;
    }
    ReceiveQueue& receiveQueue() override { return queue; }
    OpenFailure lastOpenFailure() const override { return failure; }

    // Queue bytes as if the watcher had read them (no notification).
    void receive(const std::vector<std::uint8_t>& bytes) {
        for (auto b : bytes)
            queue.push(b);
    }
    std::vector<std::uint8_t> takeWritten() {
        std::vector<std::uint8_t> out;
        taken += written.size();
        out.swap(written);
        writes.clear();
        return out;
    }

    struct Open {
        std::uint16_t port;
        std::uint32_t baud;
    };
    std::vector<Open> opens;
    int failOpens = 0;
    bool rejectLineFormat = false;
    bool connected = false;
    bool blockMode = false;
    std::size_t frameSize = 0;
    OpenFailure failure;  // what lastOpenFailure says
    std::uint32_t baudRate = 0;
    int dataBits = 8;
    Parity parity = Parity::None;
    int stopBits = 0;
    int closes = 0;
    std::vector<std::uint8_t> written;
    std::size_t taken = 0;  // bytes removed by takeWritten, so a reader can keep its place
    std::vector<std::vector<std::uint8_t>> writes;
    ReceiveQueue queue;
};

}  // namespace zrk::test
