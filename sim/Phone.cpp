#include "sim/Phone.h"

#include <algorithm>
#include <cstdio>

#include "sim/SimWire.h"

namespace zrk::sim {

namespace {
// The violation list keeps its first entries; a runaway host must not eat the memory.
constexpr std::size_t kMaxViolations = 1000;

std::string hexByte(std::uint8_t b) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X", b);
    return text;
}
}  // namespace

Phone::Phone(const SimOptions& options, NorFlash& nor, NandFileSystem& nand)
    : m_Options(options), m_Nor(nor), m_Nand(nand), m_Random(options.seed) {
    m_Challenge = makeChallenge();
}

void Phone::send(std::vector<std::uint8_t> bytes) {
    m_Output.push_back(std::move(bytes));
}

std::vector<std::vector<std::uint8_t>> Phone::takeOutput() {
    std::vector<std::vector<std::uint8_t>> out;
    out.swap(m_Output);
    return out;
}

void Phone::violation(const std::string& what) {
    if (!m_Options.strict)
        return;
    ++m_ViolationCount;
    if (m_Violations.size() < kMaxViolations) {
        const std::uint64_t offset = m_Counters.bytesReceived ? m_Counters.bytesReceived - 1 : 0;
        m_Violations.push_back({offset, stateName() + ": " + what});
    }
}

void Phone::unexpected(std::uint8_t byte) {
    violation("unexpected byte " + hexByte(byte));
}

void Phone::speedMismatch(unsigned hostBaud, std::size_t count) {
    violation(std::to_string(count) + " byte(s) sent at " + std::to_string(hostBaud) +
              " baud while the phone listens at " + std::to_string(m_Uart));
}

void Phone::collect(std::uint8_t command, int phase, std::size_t need) {
    m_Collect.active = true;
    m_Collect.command = command;
    m_Collect.phase = phase;
    m_Collect.need = need;
    m_Collect.buffer.clear();
    m_Collect.buffer.reserve(need);
    if (need == 0) {
        m_Collect.active = false;
        std::vector<std::uint8_t> empty;
        collected(command, phase, empty);
    }
}

void Phone::collected(std::uint8_t command, int phase, std::vector<std::uint8_t>& buffer) {
    switch (m_State) {
        case State::RomCommand:
        case State::RomWaitGrantAck:
        case State::RomOffering:
            romCollected(command, phase, buffer);
            break;
        case State::PreWaitLengthCommand:
        case State::PreWaitDma:
            preLoaderCollected(command, buffer);
            break;
        default:
            norCollected(command, phase, buffer);
            break;
    }
}

void Phone::receive(std::uint8_t byte, TimePoint now) {
    ++m_Counters.bytesReceived;
    m_HostSpoke = true;
    if (m_Collect.active) {
        m_Collect.buffer.push_back(byte);
        if (m_Collect.buffer.size() >= m_Collect.need) {
            m_Collect.active = false;
            std::vector<std::uint8_t> buffer;
            buffer.swap(m_Collect.buffer);
            collected(m_Collect.command, m_Collect.phase, buffer);
        }
        return;
    }
    switch (m_State) {
        case State::RomOffering:
        case State::RomWaitGrantAck:
        case State::RomCommand:
            romByte(byte, now);
            break;
        case State::PreWaitSpeed:
        case State::PreWaitStart:
        case State::PreWaitLengthCommand:
        case State::PreWaitDma:
            preLoaderByte(byte);
            break;
        case State::FirmwareRunning:
            violation("byte " + hexByte(byte) + " after power-on");
            break;
        default:
            loaderByte(byte);
            break;
    }
}

std::size_t Phone::receiveRun(std::span<const std::uint8_t> bytes, TimePoint now) {
    if (bytes.empty())
        return 0;
    std::size_t take = 1;
    if (m_Collect.active && m_Collect.need > m_Collect.buffer.size())
        take = std::min(bytes.size(), m_Collect.need - m_Collect.buffer.size());
    // All but the last byte only fill the payload; the last goes the usual way, as it may be
    // the one that completes it.
    m_Collect.buffer.insert(m_Collect.buffer.end(), bytes.begin(), bytes.begin() + (take - 1));
    m_Counters.bytesReceived += take - 1;
    receive(bytes[take - 1], now);
    return take;
}

std::string Phone::stateName() const {
    switch (m_State) {
        case State::RomOffering:
            return "boot ROM, offering a connection";
        case State::RomWaitGrantAck:
            return "boot ROM, waiting for the grant's acknowledgement";
        case State::RomCommand:
            return m_Collect.active ? "boot ROM, reading a command's payload"
                                    : "boot ROM, waiting for a command";
        case State::PreWaitSpeed:
            return "pre-loader, waiting for the speed index";
        case State::PreWaitStart:
            return "pre-loader, waiting for the start byte at the new speed";
        case State::PreWaitLengthCommand:
            return "pre-loader, waiting for the boot-loader's size";
        case State::PreWaitDma:
            return m_Collect.active ? "pre-loader, reading a boot-loader chunk"
                                    : "pre-loader, waiting for the DMA set-up or the jump";
        case State::LoaderCommand:
            return m_Collect.active
                       ? "boot-loader, reading the payload of command " + hexByte(m_Collect.command)
                       : "boot-loader, waiting for a command";
        case State::ListWaitAck:
            return "boot-loader, waiting for a directory entry's acknowledgement";
        case State::ReadOutWaitSend:
            return "boot-loader, waiting for the request of a file's blocks";
        case State::ReadOutWaitAck:
            return "boot-loader, waiting for a file block's acknowledgement";
        case State::NandDumpWaitAck:
            return "boot-loader, waiting for a NAND page's acknowledgement";
        case State::FirmwareRunning:
            return "firmware running after power-on";
    }
    return "?";
}

}  // namespace zrk::sim
