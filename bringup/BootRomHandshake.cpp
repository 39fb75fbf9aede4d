#include "bringup/BootRomHandshake.h"

#include <algorithm>
#include <vector>

#include "bringup/BringUp.h"
#include "bringup/BringUpStates.h"
#include "engine/PhaseContext.h"
#include "engine/TextFormat.h"

namespace zrk {

using namespace bringup;

void BootRomHandshake::reset() {
    m_ChallengeCount = 0;
    m_WordCounter = 0;
    m_WaitingLine.reset();
}

int BootRomHandshake::wordCount() const {
    // The ROM loads whole words; a pre-loader of odd length goes with its last word padded.
    return static_cast<int>((m_BringUp.targetData().preLoader.size() + 3) / 4);
}

void BootRomHandshake::badResponse(std::uint8_t byte) {
    m_BringUp.failWith(byte, std::nullopt,
                       formatText("Bad response(0x%X) from KEPLA Chip\r\n", byte));
}

void BootRomHandshake::sendIdentificationReply() {
    std::vector<std::uint8_t> reply;
    reply.push_back(ID_REPLY);
    const auto id = m_BringUp.targetData().customerId;
    reply.insert(reply.end(), id.begin(), id.end());
    reply.insert(reply.end(), m_Challenge.begin(), m_Challenge.end());
    m_Context.send(reply);
}

void BootRomHandshake::sendSetAddress() {
    // 0x0C000000, least significant byte first: the one little-endian command of the ROM.
    m_Context.send({ROM_SET_ADDRESS, 0x00, 0x00, 0x00, 0x0C});
}

void BootRomHandshake::sendNextWord() {
    const int k = m_WordCounter;
    const auto image = m_BringUp.targetData().preLoader;
    std::array<std::uint8_t, 6> packet{ROM_LOAD_WORD, 0x00, 0, 0, 0, 0};
    for (std::size_t i = 0; i < 4; ++i) {
        const std::size_t at = static_cast<std::size_t>(k) * 4 + i;
        packet[2 + i] = at < image.size() ? image[at] : 0;
    }
    if (k + 1 >= wordCount()) {
        m_Context.setState(WAIT_LAST_WORD_ACK);
        m_WordCounter = 0;
    } else {
        m_Context.setState(WAIT_WORD_ACK);
        m_WordCounter = k + 1;
    }
    m_Context.send(packet);
}

void BootRomHandshake::step(std::uint8_t byte) {
    switch (m_Context.state()) {
        case WAIT_CONNECT_REQUEST:
            // Line noise and a phone that is already running are ignored until the ROM asks.
            if (byte != CONNECT_REQUEST) {
                m_WaitingLine.heard(byte);
                return;
            }
            m_Context.log(formatText("** Send '0x%02x' to KEPLA Chip\r\n", CONNECT_REPLY));
            m_Context.setState(WAIT_CONNECT_GRANT);
            m_Context.send({CONNECT_REPLY});
            return;
        case WAIT_CONNECT_GRANT:
            if (byte != CONNECT_GRANT) {
                m_Context.log(formatText("Bad Response from KEPLA Chip (0x%X)\r\n", byte));
                m_Context.setState(WAIT_CONNECT_REQUEST);
                return;
            }
            m_Context.log("** Connection granted from KEPLA Chip\r\n");
            m_ChallengeCount = 0;
            m_Context.setState(READ_CHALLENGE);
            m_Context.send({GRANT_ACK});
            return;
        case READ_CHALLENGE:
            m_Challenge[static_cast<std::size_t>(m_ChallengeCount++)] = byte;
            if (m_ChallengeCount < kChallengeSize)
                return;
            m_ChallengeCount = 0;
            m_Context.log("** Received 16 bytes from KEPLA chip\r\n");
            m_Context.log("** Sending the customer ID and the same 16 bytes to KEPLA chip... ");
            m_Context.setState(WAIT_ID_ACK);
            sendIdentificationReply();
            return;
        case WAIT_ID_ACK:
            if (byte != ROM_OK) {
                m_BringUp.failWith(byte, ROM_OK, "Fail!\r\n");
                return;
            }
            m_Context.log("OK!\r\n");
            m_Context.log("** Try to change Timeout !\r\n");
            m_Context.setState(WAIT_TIMEOUT_ACK);
            m_Context.send({ROM_SET_TIMEOUT, ROM_TIMEOUT_VALUE});
            return;
        case WAIT_TIMEOUT_ACK:
            if (byte != ROM_OK) {
                m_BringUp.failWith(byte, ROM_OK, formatText("Timeout change Fail(%x)!\r\n", byte));
                return;
            }
            m_Context.log(formatText("** Ok! Timout Changed(%d mSecond) \r\n", 1600));
            m_Context.log("** Setting downloading address (SCRAM: 0x0C000000)... ");
            m_Context.setState(WAIT_LOAD_ADDRESS_ACK);
            sendSetAddress();
            return;
        case WAIT_LOAD_ADDRESS_ACK:
            if (byte != ROM_OK) {
                badResponse(byte);
                return;
            }
            m_Context.log("OK!\r\n\r\n");
            m_Context.log(formatText("** Downloading the pre-Loader (%d bytes)... ",
                                     static_cast<int>(m_BringUp.targetData().preLoader.size())));
            m_WordCounter = 0;
            sendNextWord();
            return;
        case WAIT_WORD_ACK:
            if (byte != ROM_OK) {
                badResponse(byte);
                return;
            }
            sendNextWord();
            return;
        case WAIT_LAST_WORD_ACK:
            if (byte != ROM_OK) {
                badResponse(byte);
                return;
            }
            m_Context.log("OK!\r\n");
            m_Context.log("** Set the start address of pre-Loader (SCRAM:0x0C000000)... ");
            m_Context.setState(WAIT_START_ADDRESS_ACK);
            sendSetAddress();
            return;
        case WAIT_START_ADDRESS_ACK:
            if (byte != ROM_OK) {
                badResponse(byte);
                return;
            }
            m_Context.log("OK!\r\n");
            m_Context.log("\r\nStart Pre-Loader... ");
            m_Context.setState(WAIT_PRELOADER_READY);
            m_Context.send({ROM_JUMP});
            return;
        default:
            return;
    }
}

}  // namespace zrk
