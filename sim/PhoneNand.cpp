// The boot-loader's NAND file-system commands: the file-system download, format and status,
// and the explorer's commands as they arrive (its answers that take turns are in
// PhoneExplorer.cpp).
#include <algorithm>
#include <cstdio>

#include "sim/Phone.h"
#include "sim/SimChecksums.h"
#include "sim/SimWire.h"

namespace zrk::sim {

namespace {
enum NandPhase { FIXED, LENGTH, NAME, FILE_DATA };

std::string asText(const std::vector<std::uint8_t>& b, std::size_t from = 0,
                   std::size_t to = std::string::npos) {
    to = std::min(to, b.size());
    return from >= to ? std::string()
                      : std::string(b.begin() + static_cast<long>(from),
                                    b.begin() + static_cast<long>(to));
}

// A failed format or status: function code, then a 32-bit big-endian error code.
std::vector<std::uint8_t> errorReport(std::uint8_t code, std::uint8_t function,
                                      std::uint32_t error) {
    std::vector<std::uint8_t> out{code, function};
    putBigEndian32(out, error);
    return out;
}
}  // namespace

bool Phone::nandCommand(std::uint8_t byte) {
    switch (byte) {
        case wire::CMD_MOUNT:
            if (m_Options.faults.refuseMount) {
                sendByte(wire::FAIL_REFUSED);
            } else {
                m_Mounted = true;
                sendByte(wire::CMD_MOUNT);
            }
            return true;
        case wire::CMD_NAND_CRC:
            collect(byte, FIXED, 4);
            return true;
        case wire::CMD_SET_TIME:
            collect(byte, FIXED, wire::SET_TIME_PAYLOAD);
            return true;
        case wire::CMD_SET_VERSION:
            collect(byte, FIXED, wire::VERSION_SIZE);
            return true;
        case wire::CMD_SET_RELEASE_VERSION:
            collect(byte, FIXED, wire::RELEASE_VERSION_SIZE);
            return true;
        case wire::CMD_NO_RELEASE_VERSION:
            requireMounted("release version");
            m_Counters.releaseVersion.clear();
            sendByte(wire::VERSION_OK);
            return true;
        case wire::CMD_MAKE_DIR:
        case wire::CMD_FILE_HEADER:
        case wire::CMD_DELETE_FILE:
        case wire::CMD_READ_FILE:
        case wire::CMD_FILE_STAT:
            collect(byte, LENGTH, 2);
            return true;
        case wire::CMD_LIST_DIR:
            collect(byte, LENGTH, 1);
            return true;
        case wire::CMD_FILE_BLOCK:
            if (!m_File.open) {
                violation("file block without a file header");
                sendByte(0);
                return true;
            }
            collect(byte, FILE_DATA,
                    std::min<std::size_t>(wire::FILE_BLOCK, m_File.size - m_File.data.size()));
            return true;
        case wire::CMD_UNMOUNT:
            if (m_File.open)
                violation("unmount in the middle of file " + m_File.path);
            // The image is the files' contents back to back: its CRC must match them.
            if (m_ImageCheck && m_ImageCheck->crc != m_ImageCheck->announced)
                violation(
                    "the file-system image's announced CRC does not match the files "
                    "received");
            m_ImageCheck.reset();
            m_File = FileWrite{};
            m_Mounted = false;
            ++m_Counters.unmounts;
            switch (m_Options.faults.unmountFault) {
                case SimFaults::UnmountFault::None:
                    sendByte(wire::CMD_UNMOUNT);
                    break;
                case SimFaults::UnmountFault::Silent:
                    break;
                case SimFaults::UnmountFault::Wrong:
                    sendByte(wire::FAIL_REFUSED);
                    break;
                case SimFaults::UnmountFault::HangUp:
                    m_HangUpRequested = true;
                    break;
            }
            return true;
        case wire::CMD_FORMAT:
            if (m_Options.faults.formatError) {
                send(errorReport(wire::FORMAT_FAILED, 0x03, 0x00000102));
            } else {
                m_Nand.format();
                sendByte(wire::FORMAT_OK);
            }
            return true;
        case wire::CMD_FS_STATUS:
            if (m_Options.faults.fsStatusError) {
                send(errorReport(wire::FS_STATUS_FAILED, 0x01, 0x00000010));
            } else {
                std::vector<std::uint8_t> reply{wire::FS_STATUS_OK};
                const auto record = m_Nand.statusRecord();
                reply.insert(reply.end(), record.begin(), record.end());
                send(std::move(reply));
            }
            return true;
        case wire::CMD_NAND_DUMP:
            requireMounted("NAND dump");
            if (m_Options.faults.refuseNandDump || m_Nand.pageCount() == 0) {
                sendByte(wire::FAIL_REFUSED);
                return true;
            }
            m_DumpPage = 0;
            sendByte(wire::DUMP_OK);
            sendNandPage();
            return true;
        default:
            return false;
    }
}

void Phone::requireMounted(const char* what) {
    if (!m_Mounted)
        violation(std::string(what) + " while the file system is not mounted");
}

void Phone::nandCollected(std::uint8_t command, int phase, const std::vector<std::uint8_t>& b) {
    if (phase == LENGTH) {
        const std::size_t n =
            command == wire::CMD_LIST_DIR ? b[0] : (std::size_t{b[0]} << 8 | b[1]);
        const std::size_t extra = command == wire::CMD_FILE_HEADER ? 4 : 0;
        // The length bytes count towards the header's and the directory's checksum.
        m_PendingLength.assign(b.begin(), b.end());
        collect(command, NAME, n + extra);
        return;
    }
    if (phase == FILE_DATA) {
        fileBlock(b);
        return;
    }
    const std::uint8_t sum = phoneSum8(b.data(), b.size());
    switch (command) {
        case wire::CMD_NAND_CRC:
            requireMounted("image CRC");
            m_Counters.nandCrc = bigEndianAt(b.data());
            m_ImageCheck = ImageCheck{bigEndianAt(b.data()), 0};
            sendByte(sum);
            return;
        case wire::CMD_SET_TIME:
            setTime(b);
            sendByte(sum);
            return;
        case wire::CMD_SET_VERSION:
            requireMounted("version");
            m_Counters.version = asText(b);
            sendByte(wire::VERSION_OK);
            return;
        case wire::CMD_SET_RELEASE_VERSION:
            requireMounted("release version");
            m_Counters.releaseVersion = asText(b);
            sendByte(wire::VERSION_OK);
            return;
        default:
            break;
    }
    // The commands that carry a path (phase NAME).
    const std::uint8_t lengthSum = phoneSum8(m_PendingLength.data(), m_PendingLength.size());
    const std::size_t nameLength = command == wire::CMD_FILE_HEADER ? b.size() - 4 : b.size();
    const std::string raw = asText(b, 0, nameLength);
    const bool terminated = nameLength > 0 && b[nameLength - 1] == 0;
    switch (command) {
        case wire::CMD_MAKE_DIR: {
            requireMounted("directory creation");
            if (!terminated)
                violation("directory path without its terminating zero");
            sendByte(static_cast<std::uint8_t>(lengthSum + sum));
            const bool made = m_Nand.makeDirectory(raw, m_Clock);
            sendByte(made ? wire::DIR_DONE : wire::FAIL_REFUSED);
            return;
        }
        case wire::CMD_FILE_HEADER: {
            requireMounted("file header");
            if (!terminated)
                violation("file path without its terminating zero");
            if (m_File.open)
                violation("file header while file " + m_File.path + " is still open");
            m_File = FileWrite{true, raw, bigEndianAt(b.data() + nameLength), {}};
            sendByte(static_cast<std::uint8_t>(lengthSum + sum));
            return;
        }
        case wire::CMD_LIST_DIR:
            requireMounted("listing");
            startListing(raw);
            return;
        case wire::CMD_DELETE_FILE:
            requireMounted("delete");
            if (m_Options.faults.refuseDelete)
                sendByte(wire::FAIL_REFUSED);
            else if (m_Options.faults.keepDeleted)
                sendByte(m_Nand.find(raw) ? wire::DELETE_OK : wire::FAIL_NOT_FOUND);
            else
                sendByte(m_Nand.removeFile(raw) ? wire::DELETE_OK : wire::FAIL_NOT_FOUND);
            return;
        case wire::CMD_READ_FILE:
            requireMounted("read-out");
            startReadOut(raw);
            return;
        case wire::CMD_FILE_STAT: {
            requireMounted("file status");
            const auto* node = m_Nand.find(raw);
            if (m_Options.faults.refuseFileStatus) {
                sendByte(wire::FAIL_REFUSED);
            } else if (!node) {
                sendByte(wire::FAIL_NOT_FOUND);
            } else {
                std::vector<std::uint8_t> reply{wire::STAT_OK};
                const auto record = m_Nand.fileStatusRecord(*node);
                reply.insert(reply.end(), record.begin(), record.end());
                send(std::move(reply));
            }
            return;
        }
        default:
            return;
    }
}

void Phone::setTime(const std::vector<std::uint8_t>& b) {
    if (b[0] != 0 || b[1] != 0 || b[2] != 0)
        violation("time packet without its three zero bytes");
    auto at = [&](int i) {
        const auto* p = b.data() + 3 + 4 * i;
        return static_cast<int>(std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 |
                                std::uint32_t{p[2]} << 16 | std::uint32_t{p[3]} << 24);
    };
    const int second = at(0), minute = at(1), hour = at(2), day = at(3), month = at(4),
              year = at(5);
    if (second < 0 || second > 60 || minute < 0 || minute > 59 || hour < 0 || hour > 23 ||
        day < 1 || day > 31 || month < 1 || month > 12 || year < 1980 || year > 2107) {
        violation("time packet out of range (" + std::to_string(year) + "-" +
                  std::to_string(month) + "-" + std::to_string(day) + " " + std::to_string(hour) +
                  ":" + std::to_string(minute) + ":" + std::to_string(second) + ")");
        return;
    }
    m_Clock = packTime(year, month, day, hour, minute, second);
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", year, month, day, hour,
                  minute, second);
    m_Counters.clock = text;
}

void Phone::fileBlock(const std::vector<std::uint8_t>& b) {
    m_File.data.insert(m_File.data.end(), b.begin(), b.end());
    if (m_ImageCheck)
        m_ImageCheck->crc = phoneCrc32(m_ImageCheck->crc, b.data(), b.size());
    std::uint8_t sum = phoneSum8(b.data(), b.size());
    if (m_Options.faults.badFileBlock == m_FileBlocks)
        sum = static_cast<std::uint8_t>(sum + 1);
    ++m_FileBlocks;
    sendByte(sum);
    // A block shorter than 8192 bytes, the empty one included, ends the file.
    if (b.size() < wire::FILE_BLOCK) {
        const SimFaults& f = m_Options.faults;
        if (!f.corruptNandPath.empty() && f.corruptNandOffset < m_File.data.size() &&
            NandFileSystem::normalise(m_File.path) == NandFileSystem::normalise(f.corruptNandPath))
            m_File.data[f.corruptNandOffset] =
                static_cast<std::uint8_t>(~m_File.data[f.corruptNandOffset]);
        const bool written = m_Nand.writeFile(m_File.path, std::move(m_File.data), m_Clock);
        m_File = FileWrite{};
        if (written)
            ++m_Counters.filesWritten;
        sendByte(written ? wire::FILE_DONE : wire::FAIL_REFUSED);
    }
}

}  // namespace zrk::sim
