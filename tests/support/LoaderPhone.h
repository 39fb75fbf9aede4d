#pragma once
// A running boot-loader for engine tests: it reads what the engine wrote to a FakeLink, keeps a
// NOR array, answers in the loader command set and lets a test inject one fault at a time.
// pump() passes bytes back and forth until neither side has anything left to say.
#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "engine/Checksums.h"
#include "engine/SectorMap.h"
#include "protocol/ProtocolEngine.h"
#include "support/FakeLink.h"

namespace zrk::test {

class LoaderPhone {
  public:
    static constexpr std::size_t kFlashSize = 0x2000000;

    explicit LoaderPhone(FakeLink& link) : nor(kFlashSize, 0xFF), m_Link(link) {
        m_Map.activate();
        m_Seen = link.taken + link.written.size();
    }

    // Faults, counted from 1; 0 = none.
    int badSectorSumAt = 0;
    int badEraseReplyAt = 0;
    int badDumpChecksumAt = 0;
    int silentFromDump = 0;  // this dump request and every later one go unanswered
    std::uint8_t startReply = 0x00;

    std::vector<std::uint8_t> nor;
    struct Command {
        std::uint8_t code;
        std::uint32_t offset;  // or the value for C8h / D4h
    };
    std::vector<Command> commands;
    std::vector<std::string> violations;
    std::uint32_t announcedLength = 0;
    std::uint32_t announcedCrc = 0;
    bool poweredOn = false;

    std::vector<std::uint32_t> offsetsOf(std::uint8_t code) const {
        std::vector<std::uint32_t> out;
        for (const auto& c : commands)
            if (c.code == code)
                out.push_back(c.offset);
        return out;
    }

    void pump(ProtocolEngine& engine, int maxRounds = 100000) {
        for (int round = 0; round < maxRounds; ++round) {
            const bool wrote = consumeWritten();
            if (m_Link.queue.count() == 0 && !wrote)
                return;
            const int before = m_Link.queue.count();
            const std::size_t writtenBefore = m_Link.written.size();
            engine.onDataReceived();
            if (m_Link.queue.count() == before && m_Link.written.size() == writtenBefore)
                return;  // nothing moved: the engine waits for more than we have
        }
    }

  private:
    enum class Parse { Command, Argument, Data };

    bool consumeWritten() {
        bool any = false;
        // Bytes a test took away unread are skipped.
        m_Seen = std::max(m_Seen, m_Link.taken);
        while (m_Seen < m_Link.taken + m_Link.written.size()) {
            onHostByte(m_Link.written[m_Seen++ - m_Link.taken]);
            any = true;
        }
        return any;
    }

    void reply(std::initializer_list<std::uint8_t> bytes) {
        for (auto b : bytes)
            m_Link.queue.push(b);
    }

    void onHostByte(std::uint8_t b) {
        switch (m_Parse) {
            case Parse::Command:
                m_Command = b;
                m_ArgCount = 0;
                switch (b) {
                    case 0xD9:
                        reply({startReply});
                        break;
                    case 0xFD:
                        poweredOn = true;
                        break;
                    case 0xC8:
                    case 0xD3:
                    case 0xD4:
                    case 0xD5:
                    case 0xD8:
                    case 0xFA:
                    case 0xFB:
                    case 0xFC:
                        m_Parse = Parse::Argument;
                        break;
                    default:
                        violations.push_back("unexpected command byte " + std::to_string(b));
                }
                return;
            case Parse::Argument:
                m_Arg[m_ArgCount++] = b;
                if (m_ArgCount == 4)
                    onArgument();
                return;
            case Parse::Data:
                onDataByte(b);
                return;
        }
    }

    void onArgument() {
        const std::uint32_t value =
            (std::uint32_t{m_Arg[0]} << 24) | (m_Arg[1] << 16) | (m_Arg[2] << 8) | m_Arg[3];
        const std::uint8_t sum = sum8(m_Arg, 4);
        commands.push_back({m_Command, value});
        m_Parse = Parse::Command;
        switch (m_Command) {
            case 0xC8:
                announcedCrc = value;
                reply({sum});
                return;
            case 0xD3:
                reply({sum});
                return;
            case 0xD4:
                announcedLength = value;
                m_LengthRemaining = value;
                reply({sum});
                return;
            case 0xD5: {
                const int index = m_Map.indexAtOffset(value);
                if (index < 0) {
                    violations.push_back("erase of a non-sector offset");
                    return;
                }
                ++m_Erases;
                std::fill_n(nor.begin() + value, m_Map[index].byteSize(), 0xFF);
                reply({static_cast<std::uint8_t>(m_Erases == badEraseReplyAt ? sum + 1 : sum)});
                return;
            }
            case 0xD8: {
                if (value + 8192 > kFlashSize) {
                    violations.push_back("dump past the end");
                    return;
                }
                ++m_Dumps;
                if (silentFromDump != 0 && m_Dumps >= silentFromDump)
                    return;
                std::uint8_t s = sum8(nor.data() + value, 8192);
                for (std::size_t i = 0; i < 8192; ++i)
                    m_Link.queue.push(nor[value + i]);
                reply({static_cast<std::uint8_t>(m_Dumps == badDumpChecksumAt ? s ^ 0x55 : s)});
                return;
            }
            default: {  // program commands
                const int index = m_Map.indexAtOffset(value);
                const std::uint32_t expectedSize = m_Command == 0xFA   ? 65536
                                                   : m_Command == 0xFB ? 16384
                                                                       : 8192;
                if (index < 0 || m_Map[index].byteSize() != expectedSize) {
                    violations.push_back("program command does not match the sector");
                    return;
                }
                m_SectorOffset = value;
                m_SectorSize = expectedSize;
                m_Programmed = 0;
                m_SectorSum = 0;
                if (m_LengthRemaining == 0) {
                    endSector();
                    return;
                }
                m_BlockRemaining = nextBlock();
                m_Parse = Parse::Data;
                return;
            }
        }
    }

    std::uint32_t nextBlock() const {
        return std::min<std::uint32_t>({2048, m_LengthRemaining, m_SectorSize - m_Programmed});
    }

    void onDataByte(std::uint8_t b) {
        nor[m_SectorOffset + m_Programmed] = b;
        m_SectorSum = static_cast<std::uint8_t>(m_SectorSum + b);
        ++m_Programmed;
        --m_LengthRemaining;
        if (--m_BlockRemaining > 0)
            return;
        reply({0xA5});  // block acknowledgement, value not inspected
        if (m_Programmed == m_SectorSize || m_LengthRemaining == 0) {
            endSector();
            return;
        }
        m_BlockRemaining = nextBlock();
    }

    void endSector() {
        ++m_Sectors;
        m_Parse = Parse::Command;
        reply({static_cast<std::uint8_t>(m_Sectors == badSectorSumAt ? m_SectorSum + 1
                                                                     : m_SectorSum)});
    }

    FakeLink& m_Link;
    SectorMap m_Map;
    std::size_t m_Seen = 0;  // position in everything the engine ever wrote
    Parse m_Parse = Parse::Command;
    std::uint8_t m_Command = 0;
    std::uint8_t m_Arg[4]{};
    int m_ArgCount = 0;
    std::uint32_t m_LengthRemaining = 0;
    std::uint32_t m_SectorOffset = 0;
    std::uint32_t m_SectorSize = 0;
    std::uint32_t m_Programmed = 0;
    std::uint32_t m_BlockRemaining = 0;
    std::uint8_t m_SectorSum = 0;
    int m_Sectors = 0;
    int m_Erases = 0;
    int m_Dumps = 0;
};

}  // namespace zrk::test
