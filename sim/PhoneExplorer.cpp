// The explorer's exchanges that take turns with the host: a listing entry by entry, a file's
// read-out block by block and the NAND full dump page by page, each waiting for its
// acknowledgement.
#include <algorithm>
#include <cstdio>

#include "sim/Phone.h"
#include "sim/SimChecksums.h"
#include "sim/SimWire.h"

namespace zrk::sim {

void Phone::startListing(const std::string& path) {
    if (m_Options.faults.listErrorBeforeFirst) {
        sendListError();
        return;
    }
    auto entries = m_Nand.list(path);
    if (!entries) {
        send({wire::LIST_ERROR, wire::LIST_CANNOT_OPEN, wire::LIST_END});
        return;
    }
    m_Entries = std::move(*entries);
    m_EntryIndex = 0;
    sendEntry();
}

void Phone::sendEntry() {
    const NandEntry& entry = m_Entries[m_EntryIndex];
    if (entry.name.size() >= 255) {
        send({wire::LIST_ERROR, wire::LIST_CANNOT_READ, wire::LIST_END});
        m_State = State::LoaderCommand;
        return;
    }
    std::vector<std::uint8_t> record;
    if (m_EntryIndex > 0)
        record.push_back(wire::LIST_MORE);
    record.push_back(static_cast<std::uint8_t>(entry.name.size() + 1));
    record.push_back(entry.directory ? wire::ENTRY_DIR : wire::ENTRY_FILE);
    record.insert(record.end(), entry.name.begin(), entry.name.end());
    record.push_back(0);
    send(std::move(record));
    m_State = State::ListWaitAck;
}

void Phone::sendListError() {
    send({wire::LIST_ERROR, m_Options.faults.listErrorCode, wire::LIST_END});
    m_State = State::LoaderCommand;
}

void Phone::startReadOut(const std::string& path) {
    const auto* node = m_Nand.find(path);
    if (m_Options.faults.refuseReadOut) {
        sendByte(wire::FAIL_REFUSED);
        return;
    }
    if (!node || node->directory) {
        sendByte(wire::FAIL_NOT_FOUND);
        return;
    }
    m_ReadOut = node->data;
    m_ReadOutPos = 0;
    std::vector<std::uint8_t> reply{wire::READ_OK};
    putBigEndian32(reply, static_cast<std::uint32_t>(m_ReadOut.size()));
    send(std::move(reply));
    m_State = State::ReadOutWaitSend;
}

void Phone::sendReadOutBlock() {
    if (m_Options.faults.silentReadOutBlock == m_ReadOutBlocks) {
        ++m_ReadOutBlocks;
        m_ReadOut.clear();
        m_State = State::LoaderCommand;
        return;
    }
    const std::size_t n = std::min<std::size_t>(wire::FILE_BLOCK, m_ReadOut.size() - m_ReadOutPos);
    std::vector<std::uint8_t> block(m_ReadOut.begin() + static_cast<long>(m_ReadOutPos),
                                    m_ReadOut.begin() + static_cast<long>(m_ReadOutPos + n));
    std::uint8_t sum = phoneSum8(block.data(), block.size());
    if (m_Options.faults.badReadOutBlock == m_ReadOutBlocks)
        sum = static_cast<std::uint8_t>(sum + 1);
    ++m_ReadOutBlocks;
    block.push_back(sum);
    m_ReadOutPos += n;
    // An empty file goes as one empty block (its sum alone), so the host is not left waiting.
    send(std::move(block));
    m_State = State::ReadOutWaitAck;
}

void Phone::sendNandPage() {
    if (m_Options.faults.silentNandPage == m_DumpPage) {
        m_State = State::LoaderCommand;
        return;
    }
    std::vector<std::uint8_t> page = m_Nand.page(m_DumpPage);
    std::uint8_t sum = phoneSum8(page.data(), page.size());
    if (m_Options.faults.badNandPage == m_DumpPage)
        sum = static_cast<std::uint8_t>(sum + 1);
    page.push_back(sum);
    ++m_DumpPage;
    if (m_DumpPage >= m_Nand.pageCount()) {
        page.push_back(wire::DUMP_END);
        m_State = State::LoaderCommand;
    } else {
        m_State = State::NandDumpWaitAck;
    }
    send(std::move(page));
}

void Phone::nandByte(std::uint8_t byte) {
    switch (m_State) {
        case State::ListWaitAck:
            if (byte != m_Entries[m_EntryIndex].directory + 1)
                violation("entry acknowledged with " + std::to_string(byte) +
                          " instead of its type byte");
            if (m_Options.faults.listErrorAfterFirst && m_EntryIndex == 0) {
                sendListError();
                return;
            }
            if (++m_EntryIndex >= m_Entries.size() && m_Options.faults.endlessListing) {
                char name[32];
                std::snprintf(name, sizeof name, "endless-%07zu.txt", m_EntryIndex);
                m_Entries.push_back({name, false});
            }
            if (m_EntryIndex < m_Entries.size()) {
                sendEntry();
            } else {
                if (!m_Options.faults.silentListEnd)
                    sendByte(wire::LIST_END);
                m_State = State::LoaderCommand;
            }
            return;
        case State::ReadOutWaitSend:
            m_State = State::LoaderCommand;
            if (byte == wire::CMD_SEND_BLOCKS) {
                // The real boot-loader stays silent on an empty file; on request, so do we.
                if (m_ReadOut.empty() && m_Options.faults.silentEmptyReadOut)
                    return;
                sendReadOutBlock();
                return;
            }
            // The host gave the read-out up (no file to write to): this is its next command.
            m_ReadOut.clear();
            loaderByte(byte);
            return;
        case State::ReadOutWaitAck:
            m_State = State::LoaderCommand;
            if (byte == wire::BLOCK_ACCEPTED) {
                if (m_ReadOutPos < m_ReadOut.size())
                    sendReadOutBlock();
                else
                    m_ReadOut.clear();
            } else {
                if (byte != wire::BLOCK_REJECTED)
                    unexpected(byte);
                m_ReadOut.clear();
            }
            return;
        case State::NandDumpWaitAck:
            if (byte == wire::PAGE_ACCEPTED) {
                sendNandPage();
                return;
            }
            if (byte != wire::PAGE_REJECTED)
                unexpected(byte);
            // A rejected page ends the dump, and the boot-loader unmounts without a word.
            m_Mounted = false;
            m_State = State::LoaderCommand;
            return;
        default:
            return;
    }
}

}  // namespace zrk::sim
