#include "bringup/BootRomHandshake.h"

#include <array>
#include <vector>

#include "bringup/BringUp.h"
#include "bringup/BringUpExchange.h"
#include "engine/PhaseContext.h"
#include "engine/TextFormat.h"

namespace zrk {

using namespace bringup;

namespace {

// 0x0C000000, least significant byte first: the one little-endian command of the ROM.
constexpr std::array<std::uint8_t, 5> kSetAddress{BootRomHandshake::ROM_SET_ADDRESS, 0x00, 0x00,
                                                  0x00, 0x0C};

std::string badResponse(std::uint8_t byte) {
    return formatText("Bad response(0x%X) from KEPLA Chip\r\n", byte);
}

// A load address, a word or a start address, which the ROM acknowledges with 4Fh. Their
// failures have never named the byte wanted, only the one that came.
Exchange romLoadCommand(BringUpState state, const char* name, std::span<const std::uint8_t> bytes) {
    Exchange exchange = bringUpExchange(state, name);
    exchange.send(bytes)
        .expect(BootRomHandshake::ROM_OK)
        .failing(badResponse)
        .failureOmitsExpected();
    return exchange;
}

}  // namespace

void BootRomHandshake::reset() {
    m_WordCounter = 0;
    m_WaitingLine.reset();
}

int BootRomHandshake::wordCount() const {
    // The ROM loads whole words; a pre-loader of odd length goes with its last word padded.
    return static_cast<int>((m_BringUp.targetData().preLoader.size() + 3) / 4);
}

void BootRomHandshake::waitForConnectRequest() {
    m_Context.begin(
        bringUpExchange(BringUpState::WAIT_CONNECT_REQUEST, "wait for the phone's connect request")
            .expect(CONNECT_REQUEST)
            .then([this] { askToConnect(); })
            // Line noise and a phone that is already running are ignored until the
            // ROM asks.
            .otherwise([this](std::uint8_t byte) { m_WaitingLine.heard(byte); }));
}

void BootRomHandshake::askToConnect() {
    m_Context.log(formatLine("** Send '0x%02x' to KEPLA Chip\r\n", CONNECT_REPLY));
    m_Context.begin(bringUpExchange(BringUpState::WAIT_CONNECT_GRANT, "ask the boot ROM to connect")
                        .send({CONNECT_REPLY})
                        .expect(CONNECT_GRANT)
                        .then([this] { readChallenge(); })
                        .otherwise([this](std::uint8_t byte) {
                            m_Context.log(
                                formatText("Bad Response from KEPLA Chip (0x%X)\r\n", byte));
                            waitForConnectRequest();
                        }));
}

void BootRomHandshake::readChallenge() {
    m_Context.log("** Connection granted from KEPLA Chip\r\n");
    m_Context.begin(
        bringUpExchange(BringUpState::READ_CHALLENGE, "read the boot ROM's challenge")
            .send({GRANT_ACK})
            .expectBytes(kChallengeSize)
            .then([this](Exchange::Reply challenge) { sendIdentification(challenge); }));
}

void BootRomHandshake::sendIdentification(std::span<const std::uint8_t> challenge) {
    m_Context.log("** Received 16 bytes from KEPLA chip\r\n");
    m_Context.log("** Sending the customer ID and the same 16 bytes to KEPLA chip... ");
    std::vector<std::uint8_t> reply;
    reply.push_back(ID_REPLY);
    const auto id = m_BringUp.targetData().customerId;
    reply.insert(reply.end(), id.begin(), id.end());
    reply.insert(reply.end(), challenge.begin(), challenge.end());
    m_Context.begin(bringUpExchange(BringUpState::WAIT_ID_ACK, "send the customer identification")
                        .send(reply)
                        .expect(ROM_OK)
                        .failing("Fail!\r\n")
                        .then([this] { setTimeout(); }));
}

void BootRomHandshake::setTimeout() {
    m_Context.log("OK!\r\n");
    m_Context.log("** Try to change Timeout !\r\n");
    m_Context.begin(bringUpExchange(BringUpState::WAIT_TIMEOUT_ACK, "set the boot ROM's time-out")
                        .send({ROM_SET_TIMEOUT, ROM_TIMEOUT_VALUE})
                        .expect(ROM_OK)
                        .failing([](std::uint8_t byte) {
                            return formatText("Timeout change Fail(%x)!\r\n", byte);
                        })
                        .then([this] { setLoadAddress(); }));
}

void BootRomHandshake::setLoadAddress() {
    m_Context.log(formatLine("** Ok! Timout Changed(%d mSecond) \r\n", 1600));
    m_Context.log("** Setting downloading address (SCRAM: 0x0C000000)... ");
    m_Context.begin(romLoadCommand(BringUpState::WAIT_LOAD_ADDRESS_ACK,
                                   "send the pre-loader's load address", kSetAddress)
                        .then([this] {
                            m_Context.log("OK!\r\n\r\n");
                            m_Context.log(formatLine(
                                "** Downloading the pre-Loader (%d bytes)... ",
                                static_cast<int>(m_BringUp.targetData().preLoader.size())));
                            m_WordCounter = 0;
                            sendNextWord();
                        }));
}

void BootRomHandshake::sendNextWord() {
    const int k = m_WordCounter;
    const auto image = m_BringUp.targetData().preLoader;
    std::array<std::uint8_t, 6> packet{ROM_LOAD_WORD, 0x00, 0, 0, 0, 0};
    for (std::size_t i = 0; i < 4; ++i) {
        const std::size_t at = static_cast<std::size_t>(k) * 4 + i;
        packet[2 + i] = at < image.size() ? image[at] : 0;
    }
    const bool last = k + 1 >= wordCount();
    m_WordCounter = last ? 0 : k + 1;
    Exchange word =
        last ? romLoadCommand(BringUpState::WAIT_LAST_WORD_ACK, "send the pre-loader's last word",
                              packet)
             : romLoadCommand(BringUpState::WAIT_WORD_ACK, "send the pre-loader's words", packet);
    word.then([this, last] { last ? setStartAddress() : sendNextWord(); });
    m_Context.begin(std::move(word));
}

void BootRomHandshake::setStartAddress() {
    m_Context.log("OK!\r\n");
    m_Context.log("** Set the start address of pre-Loader (SCRAM:0x0C000000)... ");
    m_Context.begin(
        romLoadCommand(BringUpState::WAIT_START_ADDRESS_ACK, "start the pre-loader", kSetAddress)
            .then([this] { startPreLoader(); }));
}

void BootRomHandshake::startPreLoader() {
    m_Context.log("OK!\r\n");
    m_Context.log("\r\nStart Pre-Loader... ");
    m_Context.begin(bringUpExchange(BringUpState::WAIT_PRELOADER_READY, "wait for the pre-loader")
                        .send({ROM_JUMP})
                        .expect(PRELOADER_READY)
                        .failing([](std::uint8_t byte) {
                            return formatText("Bad response(0x%X) from Pre-Loader\r\n", byte);
                        })
                        .then([this] { m_BringUp.baudSwitch().onPreLoaderReady(); }));
}

}  // namespace zrk
