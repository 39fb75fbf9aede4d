#include "fuzz/CompletionChecks.h"

#include <algorithm>
#include <set>
#include <span>

#include "engine/Checksums.h"
#include "fuzz/FileContents.h"
#include "fuzz/FuzzCheck.h"
#include "fuzz/FuzzFiles.h"
#include "fuzz/WireCommands.h"

namespace zrk::fuzz {

using namespace wire;

namespace {

const std::vector<std::uint8_t> kSupportedFlash = {0x00, 0xEC, 0x22, 0xFC};

bool isOne(std::span<const std::uint8_t> write, std::uint8_t command) {
    return write.size() == 1 && write[0] == command;
}

bool isProgramCommand(std::span<const std::uint8_t> write) {
    return write.size() == 5 &&
           (write[0] == kProgram64K || write[0] == kProgram16K || write[0] == kProgramSmall);
}

}  // namespace

std::string hex(std::span<const std::uint8_t> bytes, std::size_t max) {
    std::string out;
    char buffer[4];
    for (std::size_t i = 0; i < bytes.size() && i < max; ++i) {
        std::snprintf(buffer, sizeof buffer, " %02X", bytes[i]);
        out += buffer;
    }
    if (bytes.size() > max)
        out += " ... (" + std::to_string(bytes.size()) + " bytes)";
    return out;
}

void CompletionChecks::confirm(const OperationOutcome& outcome, std::size_t from) {
    const std::string what = std::string(operationName(outcome.operation)) + " completed";
    switch (outcome.operation) {
        case Operation::BringUp:
            confirmBringUp(from, what);
            return;
        case Operation::Firmware:
            confirmFirmware(from, what);
            return;
        case Operation::FirmwareAndFileSystem:
            confirmFirmware(from, what);
            confirmFileSystem(from, what);
            return;
        case Operation::FileSystem:
            confirmFileSystem(from, what);
            return;
        case Operation::Erase:
            confirmErase(from, what);
            return;
        case Operation::Dump:
            confirmDump(from, outcome, what);
            return;
        case Operation::Format:
            confirmFormat(from, what);
            return;
        case Operation::Status:
            confirmStatus(from, what);
            return;
        case Operation::Explorer:
        case Operation::FirmwareVerify:
        case Operation::FileSystemVerify:
            violated(std::string("an outcome no button here starts: ") +
                     operationName(outcome.operation));
    }
}

std::optional<std::size_t> CompletionChecks::lastOne(std::size_t from, std::uint8_t command) const {
    for (std::size_t i = writes().size(); i > from; --i)
        if (isOne(writes()[i - 1].bytes, command))
            return i - 1;
    return std::nullopt;
}

std::optional<std::size_t> CompletionChecks::firstOne(std::size_t from,
                                                      std::uint8_t command) const {
    for (std::size_t i = from; i < writes().size(); ++i)
        if (isOne(writes()[i].bytes, command))
            return i;
    return std::nullopt;
}

void CompletionChecks::confirmBringUp(std::size_t from, const std::string& what) {
    const auto id = lastOne(from, kReadFlashId);
    check(id.has_value(), [&] { return what + " without a flash identification request"; });
    const Bytes reply = m_Rig.link.reply(*id);
    check(reply.size() >= 8 &&
              std::equal(kSupportedFlash.begin(), kSupportedFlash.end(), reply.begin()),
          [&] { return what + " without the supported flash's identification:" + hex(reply); });
}

// A command byte, its 4-byte argument in the next write, and the argument's sum as the first
// byte of the reply.
std::size_t CompletionChecks::confirmArgument(std::size_t from, std::uint8_t command,
                                              const Bytes& expected, const std::string& what) {
    const auto at = firstOne(from, command);
    check(at && *at + 1 < writes().size(), [&] { return what + ": command missing"; });
    const auto argument = writes()[*at + 1].bytes;
    if (!expected.empty())
        check(std::ranges::equal(argument, expected),
              [&] { return what + ": wrong argument" + hex(argument); });
    const Bytes reply = m_Rig.link.reply(*at + 1);
    check(!reply.empty() && reply[0] == sum8(argument),
          [&] { return what + " without the argument's sum:" + hex(reply); });
    return *at + 2;
}

void CompletionChecks::confirmFirmware(std::size_t from, const std::string& what) {
    const FuzzFiles& f = files();
    const std::string& path = m_Rig.view.userChoices.binPath;
    const auto known = std::find(f.images.begin(), f.images.end(), path);
    check(known != f.images.end(),
          [&] { return what + " of an image the harness did not make: " + path; });
    const Bytes& image = f.imageBytes[static_cast<std::size_t>(known - f.images.begin())];
    const auto crc = bigEndian32(crc32(image.data(), image.size()));
    std::size_t at =
        confirmArgument(from, kImageCrc, Bytes(crc.begin(), crc.end()), what + " (image CRC)");
    at = confirmArgument(at, kWriteOffset, {}, what + " (offset)");
    const auto length = bigEndian32(static_cast<std::uint32_t>(image.size()));
    at = confirmArgument(at, kImageLength, Bytes(length.begin(), length.end()), what + " (length)");
    // Each block is summed and compared with the image where it lies, without copying it.
    std::size_t sent = 0;  // image bytes in the sectors so far
    bool same = true;
    while (at < writes().size() && isProgramCommand(writes()[at].bytes)) {
        std::size_t sector = 0;  // bytes
        std::uint8_t sum = 0;
        std::size_t last = at;
        for (++at; at < writes().size() && !isProgramCommand(writes()[at].bytes) &&
                   !isOne(writes()[at].bytes, kStart) && !isOne(writes()[at].bytes, kPowerOn);
             ++at) {
            const auto block = writes()[at].bytes;
            sum = static_cast<std::uint8_t>(sum + sum8(block));
            const std::size_t offset = sent + sector;
            same = same && offset + block.size() <= image.size() &&
                   std::equal(block.begin(), block.end(),
                              image.begin() + static_cast<std::ptrdiff_t>(offset));
            sector += block.size();
            last = at;
        }
        check(sector != 0, [&] { return what + ": a sector without data"; });
        // After the sector's last block: its acknowledgement, then the sector's sum.
        const std::uint8_t* reply = m_Rig.link.fed.data() + writes()[last].consumedAt;
        check(m_Rig.link.replySize(last) >= 2 && reply[1] == sum,
              [&] { return what + " without the sector's sum:" + hex(m_Rig.link.reply(last)); });
        sent += sector;
    }
    check(same && sent == image.size(), [&] {
        return what + ": " + std::to_string(sent) + " bytes sent of " +
               std::to_string(image.size()) + (same ? "" : ", not the image's");
    });
}

void CompletionChecks::confirmFileSystem(std::size_t from, const std::string& what) {
    const auto unmount = lastOne(from, kUnmount);
    check(unmount.has_value(), [&] { return what + " without an unmount"; });
    const Bytes reply = m_Rig.link.reply(*unmount);
    check(!reply.empty() && reply[0] == kUnmount,
          [&] { return what + " without the unmount's echo:" + hex(reply); });
    // Every block, a letter run, confirmed by its sum; together the whole image.
    std::string sent;
    for (std::size_t i = from; i + 1 < writes().size(); ++i) {
        if (!isOne(writes()[i].bytes, kFileBlock))
            continue;
        const auto block = writes()[i + 1].bytes;
        if (block.empty() || block[0] < 'a' || block[0] > 'z')
            continue;  // an empty block: the next write is the next command
        const Bytes blockReply = m_Rig.link.reply(i + 1);
        check(!blockReply.empty() && blockReply[0] == sum8(block),
              [&] { return what + " without a block's sum:" + hex(blockReply); });
        sent.append(block.begin(), block.end());
    }
    check(sent == files().qixContent, [&] {
        return what + ": " + std::to_string(sent.size()) + " image bytes sent of " +
               std::to_string(files().qixContent.size());
    });
}

void CompletionChecks::confirmErase(std::size_t from, const std::string& what) {
    std::set<std::uint32_t> erased;
    for (std::size_t i = from; i < writes().size(); ++i) {
        const auto w = writes()[i].bytes;
        if (w.size() != 5 || w[0] != kEraseSector)
            continue;
        const Bytes reply = m_Rig.link.reply(i);
        check(!reply.empty() && reply[0] == sum8(w.data() + 1, 4),
              [&] { return what + " without an erase's sum:" + hex(reply); });
        erased.insert(static_cast<std::uint32_t>(w[1]) << 24 | w[2] << 16 | w[3] << 8 | w[4]);
    }
    const auto& selected = m_Rig.view.sectorsToSelect;
    const std::set<int> chosen(selected.begin(), selected.end());
    check(erased.size() == chosen.size(), [&] {
        return what + ": " + std::to_string(erased.size()) + " sectors erased of " +
               std::to_string(chosen.size());
    });
}

void CompletionChecks::confirmDump(std::size_t from, const OperationOutcome& outcome,
                                   const std::string& what) {
    // Each block is judged where it lies among the bytes received, and compared with the file
    // in place: copying every reply and the whole file was most of a dump's checking.
    const std::span<const std::uint8_t> saved = fileContents(m_Rig.view.saveFileAnswer);
    std::size_t blocks = 0;  // bytes of the blocks so far
    bool inFile = true;
    const auto& view = m_Rig.view;
    const std::size_t endedAt =
        view.consumedAtOutcome[static_cast<std::size_t>(&outcome - view.outcomes.data())];
    for (std::size_t i = from; i < writes().size(); ++i) {
        const auto& w = writes()[i].bytes;
        if (w.size() != 5 || w[0] != kDumpBlock)
            continue;
        // The block is what the engine took last before its next request, or, the last one,
        // before the dump ended: what came after it is the phone talking out of turn.
        const std::size_t size =
            std::min(writes()[i].consumedAt + m_Rig.link.replySize(i), endedAt) -
            writes()[i].consumedAt;
        check(size >= kDumpFrameSize, [&] { return what + ": a block short of its frame"; });
        const std::uint8_t* frame =
            m_Rig.link.fed.data() + writes()[i].consumedAt + size - kDumpFrameSize;
        check(sum8(frame, kDumpBlockSize) == frame[kDumpBlockSize],
              [&] { return what + " with a block whose sum is wrong"; });
        inFile = inFile && saved.size() >= blocks + kDumpBlockSize &&
                 std::equal(frame, frame + kDumpBlockSize,
                            saved.begin() + static_cast<std::ptrdiff_t>(blocks));
        blocks += kDumpBlockSize;
    }
    check(outcome.bytes == blocks, [&] { return what + ": the outcome counts other bytes"; });
    check(inFile && saved.size() == blocks,
          [&] { return what + ": the file does not hold the blocks received"; });
}

void CompletionChecks::confirmFormat(std::size_t from, const std::string& what) {
    const auto at = lastOne(from, kFormat);
    check(at.has_value(), [&] { return what + " without a format command"; });
    const Bytes reply = m_Rig.link.reply(*at);
    const auto ok = std::find(reply.begin(), reply.end(), kFormatOk);
    check(ok != reply.end() && std::find(reply.begin(), ok, kFormatFailed) == ok,
          [&] { return what + " without the phone's success:" + hex(reply); });
}

void CompletionChecks::confirmStatus(std::size_t from, const std::string& what) {
    const auto at = lastOne(from, kFsStatus);
    check(at.has_value(), [&] { return what + " without a status command"; });
    const Bytes reply = m_Rig.link.reply(*at);
    const auto ok = std::find_if(reply.begin(), reply.end(), [](std::uint8_t b) {
        return b == kStatusOk || b == kStatusOkToo || b == kInitFailed;
    });
    check(ok != reply.end() && *ok != kInitFailed &&
              reply.end() - ok > static_cast<std::ptrdiff_t>(kStatusRecordSize),
          [&] { return what + " without the status record:" + hex(reply); });
}

}  // namespace zrk::fuzz
