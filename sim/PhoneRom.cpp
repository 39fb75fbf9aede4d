// The boot ROM of the baseband chip and the pre-loader it starts.
#include <algorithm>
#include <cstdio>

#include "engine/TargetImages.h"
#include "sim/Phone.h"
#include "sim/SimChecksums.h"
#include "sim/SimWire.h"

namespace zrk::sim {

namespace {
enum RomPhase { ID_REPLY, TIMEOUT, ADDRESS, WORD };
enum PrePhase { LENGTH, CHUNK };

std::string hex32(std::uint32_t v) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", v);
    return text;
}
}  // namespace

std::vector<std::uint8_t> Phone::makeChallenge() {
    // Seeded by the run's seed and the power-up count: runs repeat, power-ups differ.
    std::mt19937 rng(m_Options.seed * 7919u + static_cast<unsigned>(m_Counters.powerCycles));
    std::vector<std::uint8_t> challenge(wire::CHALLENGE_SIZE);
    for (auto& b : challenge)
        b = static_cast<std::uint8_t>(rng());
    return challenge;
}

void Phone::romByte(std::uint8_t byte, TimePoint now) {
    switch (m_State) {
        case State::RomOffering:
            if (byte == wire::ROM_CONNECT_REPLY) {
                sendByte(wire::ROM_GRANT);
                m_State = State::RomWaitGrantAck;
                m_GrantDeadline = now + kGrantTimeout;
            } else {
                unexpected(byte);
            }
            break;
        case State::RomWaitGrantAck:
            if (byte == wire::ROM_GRANT_ACK) {
                send(m_Challenge);
                m_State = State::RomCommand;
                m_PreLoader.clear();
                m_RomAddress.reset();
                // The identification reply brings its own leading 44h.
                collect(wire::ROM_ID_REPLY, ID_REPLY,
                        1 + wire::CUSTOMER_ID_SIZE + wire::CHALLENGE_SIZE);
            } else if (byte != wire::ROM_CONNECT_REPLY) {
                // A second 44h is a late answer to a connect request we repeated: skipped.
                unexpected(byte);
            }
            break;
        case State::RomCommand:
            switch (byte) {
                case wire::ROM_SET_TIMEOUT:
                    collect(byte, TIMEOUT, 1);
                    break;
                case wire::ROM_SET_ADDRESS:
                    collect(byte, ADDRESS, 4);
                    break;
                case wire::ROM_LOAD_WORD:
                    collect(byte, WORD, 5);
                    break;
                case wire::ROM_JUMP: {
                    const std::size_t expected = wire::PRELOADER_WORDS * 4u;
                    if (m_PreLoader.size() != expected)
                        violation("jump to a pre-loader of " + std::to_string(m_PreLoader.size()) +
                                  " bytes; it has " + std::to_string(expected));
                    // Each word moves the address on: the jump needs it set back first.
                    if (m_RomAddress != wire::ROM_LOAD_ADDRESS)
                        violation("jump to " +
                                  (m_RomAddress ? hex32(*m_RomAddress) : "no address") +
                                  " instead of the pre-loader's start");
                    m_Counters.preLoaderCrc = phoneCrc32(0, m_PreLoader.data(), m_PreLoader.size());
                    m_State = State::PreWaitSpeed;
                    sendByte(wire::PROGRAM_READY);
                    break;
                }
                default:
                    unexpected(byte);
                    break;
            }
            break;
        default:
            break;
    }
}

void Phone::romCollected(std::uint8_t, int phase, const std::vector<std::uint8_t>& b) {
    switch (phase) {
        case ID_REPLY: {
            std::vector<std::uint8_t> id = m_Options.customerId;
            if (id.empty()) {
                const auto builtIn = customerId();
                id.assign(builtIn.begin(), builtIn.end());
            }
            const bool headOk = b[0] == wire::ROM_ID_REPLY;
            const bool idOk = id.size() == wire::CUSTOMER_ID_SIZE &&
                              std::equal(id.begin(), id.end(), b.begin() + 1);
            const bool challengeOk = std::equal(m_Challenge.begin(), m_Challenge.end(),
                                                b.begin() + 1 + wire::CUSTOMER_ID_SIZE);
            if (headOk && idOk && challengeOk) {
                sendByte(wire::ROM_OK);
                return;
            }
            violation(!headOk ? "identification reply does not start with 0x44"
                      : !idOk ? "wrong customer identifier in the identification reply"
                              : "the challenge was not echoed in the order sent");
            sendByte(wire::ROM_REFUSED);
            m_State = State::RomOffering;
            break;
        }
        case TIMEOUT:
            sendByte(wire::ROM_OK);
            break;
        case ADDRESS: {
            const std::uint32_t address = std::uint32_t{b[0]} | std::uint32_t{b[1]} << 8 |
                                          std::uint32_t{b[2]} << 16 | std::uint32_t{b[3]} << 24;
            if (address != wire::ROM_LOAD_ADDRESS)
                violation("load address " + hex32(address) + " is not the internal RAM at " +
                          hex32(wire::ROM_LOAD_ADDRESS));
            m_RomAddress = address;
            sendByte(wire::ROM_OK);
            break;
        }
        case WORD:
            if (b[0] != 0)
                violation("word packet without its 0x00 after 'L'");
            if (m_PreLoader.size() == wire::PRELOADER_WORDS * 4u)
                violation("more than " + std::to_string(wire::PRELOADER_WORDS) +
                          " pre-loader words");
            if (!m_RomAddress)
                violation("word loaded before a load address was set");
            else if (*m_RomAddress != wire::ROM_LOAD_ADDRESS + m_PreLoader.size())
                violation("word loaded at " + hex32(*m_RomAddress) +
                          ", not after the words before");
            m_PreLoader.insert(m_PreLoader.end(), b.begin() + 1, b.end());
            if (m_RomAddress)
                *m_RomAddress += 4;
            sendByte(wire::ROM_OK);
            break;
        default:
            break;
    }
}

void Phone::preLoaderByte(std::uint8_t byte) {
    switch (m_State) {
        case State::PreWaitSpeed:
            if (byte < 4) {
                m_SpeedIndex = byte;
                m_Uart = wire::SPEEDS[byte];
                m_State = State::PreWaitStart;
            } else {
                violation("speed index " + std::to_string(byte) + " is not 0 to 3");
            }
            break;
        case State::PreWaitStart:
            if (byte == wire::CMD_START) {
                std::uint8_t echo = m_SpeedIndex;
                if (m_Options.faults.wrongSpeedEcho)
                    echo = static_cast<std::uint8_t>((echo + 1) & 3);
                sendByte(echo);
                m_State = State::PreWaitLengthCommand;
            } else {
                unexpected(byte);
            }
            break;
        case State::PreWaitLengthCommand:
            if (byte == wire::CMD_IMAGE_LENGTH)
                collect(byte, LENGTH, 4);
            else
                unexpected(byte);
            break;
        case State::PreWaitDma:
            if (byte == wire::CMD_CONFIGURE_DMA) {
                sendByte(wire::CMD_CONFIGURE_DMA);
                if (m_BootRemaining == 0)
                    sendByte(0);  // an empty chunk: its sum follows at once
                else
                    collect(byte, CHUNK, std::min(m_BootRemaining, wire::BOOT_CHUNK));
            } else if (byte == wire::CMD_JUMP_LOADER) {
                if (m_BootRemaining != 0)
                    violation("jump with " + std::to_string(m_BootRemaining) +
                              " boot-loader bytes still to come");
                m_Counters.bootLoaderCrc = m_BootCrc;
                ++m_Counters.loaderStarts;
                m_State = State::LoaderCommand;
                sendByte(wire::PROGRAM_READY);
            } else {
                unexpected(byte);
            }
            break;
        default:
            break;
    }
}

void Phone::preLoaderCollected(std::uint8_t, const std::vector<std::uint8_t>& b) {
    if (m_State == State::PreWaitLengthCommand) {
        m_BootRemaining = bigEndianAt(b.data());
        m_BootCrc = 0;
        if (m_BootRemaining != wire::BOOTLOADER_SIZE)
            violation("boot-loader of " + std::to_string(m_BootRemaining) + " bytes; it has " +
                      std::to_string(wire::BOOTLOADER_SIZE));
        sendByte(phoneSum8(b.data(), b.size()));
        m_State = State::PreWaitDma;
        return;
    }
    m_BootCrc = phoneCrc32(m_BootCrc, b.data(), b.size());
    m_BootRemaining -= static_cast<std::uint32_t>(b.size());
    sendByte(phoneSum8(b.data(), b.size()));
}

}  // namespace zrk::sim
