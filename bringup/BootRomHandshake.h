#pragma once
// The boot ROM's side of the bring-up at 115200 8E1: connect request and grant, the challenge
// returned with the customer identifier, the ROM time-out, and the pre-loader sent word by word
// into the chip's internal RAM and started there.
#include <cstdint>
#include <span>
#include <string>

#include "bringup/WaitingLine.h"

namespace zrk {

class PhaseContext;
class BringUp;

class BootRomHandshake {
  public:
    static constexpr std::uint8_t CONNECT_REQUEST = 0x81;
    static constexpr std::uint8_t CONNECT_REPLY = 0x44;
    static constexpr std::uint8_t CONNECT_GRANT = 0x44;
    static constexpr std::uint8_t GRANT_ACK = 0x51;
    static constexpr std::uint8_t ID_REPLY = 0x44;
    static constexpr std::uint8_t ROM_OK = 0x4F;
    static constexpr std::uint8_t ROM_SET_TIMEOUT = 0x54;
    static constexpr std::uint8_t ROM_TIMEOUT_VALUE = 0x10;
    static constexpr std::uint8_t ROM_SET_ADDRESS = 0x53;
    static constexpr std::uint8_t ROM_LOAD_WORD = 0x4C;
    static constexpr std::uint8_t ROM_JUMP = 0x4A;
    static constexpr std::uint8_t PRELOADER_READY = 0xAB;
    static constexpr int kChallengeSize = 16;

    BootRomHandshake(PhaseContext& context, BringUp& bringUp)
        : m_Context(context), m_BringUp(bringUp) {}

    void reset();
    // START: the port is open, the ROM has not asked yet.
    void waitForConnectRequest();

    int wordCount() const;
    // What came in place of the connect request since START.
    const WaitingLine& waitingLine() const { return m_WaitingLine; }

  private:
    void askToConnect();
    void readChallenge();
    void sendIdentification(std::span<const std::uint8_t> challenge);
    void setTimeout();
    void setLoadAddress();
    void sendNextWord();
    void setStartAddress();
    void startPreLoader();

    PhaseContext& m_Context;
    BringUp& m_BringUp;
    int m_WordCounter = 0;
    WaitingLine m_WaitingLine;
};

}  // namespace zrk
