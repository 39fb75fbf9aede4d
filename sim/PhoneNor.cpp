// The boot-loader's command loop and its NOR commands: firmware download, erase, dump.
#include <algorithm>
#include <cstdio>

#include "sim/Phone.h"
#include "sim/SimChecksums.h"
#include "sim/SimWire.h"

namespace zrk::sim {

namespace {
enum NorPhase { PAYLOAD, PROGRAM_DATA };

std::string hex32(std::uint32_t v) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", v);
    return text;
}

std::uint8_t programCommandFor(std::uint32_t sectorSize) {
    if (sectorSize == 64 * 1024)
        return wire::CMD_PROGRAM_64K;
    if (sectorSize == 16 * 1024)
        return wire::CMD_PROGRAM_16K;
    return wire::CMD_PROGRAM_SMALL;
}
}  // namespace

void Phone::loaderByte(std::uint8_t byte) {
    switch (m_State) {
        case State::LoaderCommand:
            break;
        case State::ListWaitAck:
        case State::ReadOutWaitSend:
        case State::ReadOutWaitAck:
        case State::NandDumpWaitAck:
            nandByte(byte);
            return;
        default:
            return;
    }
    switch (byte) {
        case wire::CMD_START:
            sendByte(wire::START_REPLY);
            break;
        case wire::CMD_READ_FLASH_ID:
            send(std::vector<std::uint8_t>(m_Options.flashId.begin(), m_Options.flashId.end()));
            break;
        case wire::CMD_SET_CS0_BASE:
        case wire::CMD_IMAGE_CRC:
        case wire::CMD_WRITE_OFFSET:
        case wire::CMD_IMAGE_LENGTH:
        case wire::CMD_PROGRAM_64K:
        case wire::CMD_PROGRAM_16K:
        case wire::CMD_PROGRAM_SMALL:
        case wire::CMD_ERASE_SECTOR:
        case wire::CMD_DUMP_BLOCK:
            collect(byte, PAYLOAD, 4);
            break;
        case wire::CMD_POWER_ON:
            m_State = State::FirmwareRunning;
            break;
        default:
            if (!nandCommand(byte))
                unexpected(byte);
            break;
    }
}

void Phone::norCollected(std::uint8_t command, int phase, const std::vector<std::uint8_t>& b) {
    if (phase == PROGRAM_DATA &&
        (command == wire::CMD_PROGRAM_64K || command == wire::CMD_PROGRAM_16K ||
         command == wire::CMD_PROGRAM_SMALL)) {
        programBlock(b);
        return;
    }
    const std::uint32_t value = b.size() >= 4 ? bigEndianAt(b.data()) : 0;
    const std::uint8_t sum = phoneSum8(b.data(), b.size());
    switch (command) {
        case wire::CMD_SET_CS0_BASE:
            if (value != wire::NOR_BASE)
                violation("chip-select 0 base " + hex32(value) + "; the NOR flash sits at " +
                          hex32(wire::NOR_BASE));
            sendByte(sum);
            break;
        case wire::CMD_IMAGE_CRC:
            m_ImageCrc = value;
            m_Counters.imageCrc = value;
            sendByte(sum);
            break;
        case wire::CMD_WRITE_OFFSET:
            if (value >= NorFlash::kSize)
                violation("write offset " + hex32(value) + " lies outside the flash");
            m_WriteOffset = value;
            sendByte(sum);
            break;
        case wire::CMD_IMAGE_LENGTH: {
            const std::uint64_t end = std::uint64_t{m_WriteOffset} + value;
            if (end > NorFlash::kSize)
                violation("an image of " + std::to_string(value) + " bytes from " +
                          hex32(m_WriteOffset) + " runs past the end of the flash");
            m_Download = Download{
                true, static_cast<std::uint32_t>(std::min<std::uint64_t>(end, NorFlash::kSize)),
                m_WriteOffset, 0, m_ImageCrc};
            sendByte(sum);
            break;
        }
        case wire::CMD_PROGRAM_64K:
        case wire::CMD_PROGRAM_16K:
        case wire::CMD_PROGRAM_SMALL:
            startSector(command, value);
            break;
        case wire::CMD_ERASE_SECTOR:
            eraseSector(value);
            break;
        case wire::CMD_DUMP_BLOCK:
            dumpBlock(value);
            break;
        default:
            nandCollected(command, phase, b);
            break;
    }
}

void Phone::startSector(std::uint8_t command, std::uint32_t offset) {
    const auto sector = NorFlash::sectorAt(offset);
    if (!sector) {
        violation("program command for " + hex32(offset) + ", where no sector starts");
        return;
    }
    if (programCommandFor(sector->size) != command)
        violation("program command does not match the " + std::to_string(sector->size / 1024) +
                  " KB sector at " + hex32(offset));
    if (!m_Download.active) {
        violation("program command without an image length");
        m_Download = Download{true, offset + sector->size, offset, 0, 0};
    } else if (offset != m_Download.next) {
        violation("sector at " + hex32(offset) + " out of order; expected " +
                  hex32(m_Download.next));
    }
    m_Sector = SectorWrite{*sector, 0, 0, 0};
    m_Sector.expected =
        m_Download.end > offset ? std::min(sector->size, m_Download.end - offset) : 0;
    // The boot-loader erases a sector before it programs it.
    m_Nor.erase(offset, sector->size);
    if (m_Sector.expected == 0)
        finishSector();
    else
        collect(command, PROGRAM_DATA, std::min(wire::PROGRAM_BLOCK, m_Sector.expected));
}

void Phone::programBlock(const std::vector<std::uint8_t>& b) {
    const std::uint32_t at = m_Sector.sector.offset + m_Sector.received;
    const auto corrupt = m_Options.faults.corruptNor;
    if (corrupt && *corrupt >= at && *corrupt - at < b.size()) {
        // Stored wrong, summed right: the sums below still see the bytes as sent.
        std::vector<std::uint8_t> stored = b;
        stored[*corrupt - at] = static_cast<std::uint8_t>(~stored[*corrupt - at]);
        m_Nor.write(at, stored.data(), stored.size());
    } else {
        m_Nor.write(at, b.data(), b.size());
    }
    // Only the low 8 bits count, and phoneSum8's loop vectorises where one through the
    // member would not.
    m_Sector.sum += phoneSum8(b.data(), b.size());
    m_Download.crc = phoneCrc32(m_Download.crc, b.data(), b.size());
    m_Sector.received += static_cast<std::uint32_t>(b.size());
    sendByte(wire::BLOCK_ACK);
    if (m_Sector.received >= m_Sector.expected)
        finishSector();
    else
        collect(m_Collect.command, PROGRAM_DATA,
                std::min(wire::PROGRAM_BLOCK, m_Sector.expected - m_Sector.received));
}

void Phone::finishSector() {
    auto sum = static_cast<std::uint8_t>(m_Sector.sum);
    if (m_Options.faults.badSectorSum == m_Sector.sector.index)
        sum = static_cast<std::uint8_t>(sum + 1);
    sendByte(sum);
    m_Download.next = m_Sector.sector.offset + m_Sector.sector.size;
    if (m_Sector.sector.offset + m_Sector.expected >= m_Download.end) {
        if (m_Download.crc != m_Download.announcedCrc)
            violation("the image's announced CRC " + hex32(m_Download.announcedCrc) +
                      " does not match the data received (" + hex32(m_Download.crc) + ")");
        m_Download.active = false;
        ++m_Counters.firmwareDownloads;
    }
}

void Phone::eraseSector(std::uint32_t offset) {
    const auto bytes = std::array<std::uint8_t, 4>{
        static_cast<std::uint8_t>(offset >> 24), static_cast<std::uint8_t>(offset >> 16),
        static_cast<std::uint8_t>(offset >> 8), static_cast<std::uint8_t>(offset)};
    const std::uint8_t sum = phoneSum8(bytes.data(), bytes.size());
    const auto sector = NorFlash::sectorAt(offset);
    if (!sector) {
        violation("erase of " + hex32(offset) + ", where no sector starts");
        sendByte(static_cast<std::uint8_t>(~sum));
        return;
    }
    m_Nor.erase(sector->offset, sector->size);
    sendByte(m_Options.faults.badEraseReply == sector->index ? static_cast<std::uint8_t>(sum + 1)
                                                             : sum);
}

void Phone::dumpBlock(std::uint32_t offset) {
    if (offset % wire::DUMP_BLOCK != 0 || offset >= NorFlash::kSize)
        violation("dump of " + hex32(offset) + ", which is no 8 KB block of the flash");
    std::vector<std::uint8_t> block = m_Nor.read(offset, wire::DUMP_BLOCK);
    std::uint8_t sum = phoneSum8(block.data(), block.size());
    if (m_Options.faults.badDumpBlock == offset / wire::DUMP_BLOCK)
        sum = static_cast<std::uint8_t>(sum + 1);
    block.push_back(sum);
    send(std::move(block));
}

}  // namespace zrk::sim
