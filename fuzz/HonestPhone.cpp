#include "fuzz/HonestPhone.h"

#include <algorithm>

#include "engine/Checksums.h"
#include "fuzz/WireCommands.h"

namespace zrk::fuzz {

using namespace wire;

namespace {

const std::vector<std::uint8_t> kFlashId = {0x00, 0xEC, 0x22, 0xFC, 0x12, 0x34, 0x56, 0x78};
const std::vector<std::uint8_t> kChallenge = {0x10, 0xF1, 0x22, 0xE3, 0x34, 0xD5, 0x46, 0xC7,
                                              0x58, 0xB9, 0x6A, 0xAB, 0x7C, 0x9D, 0x8E, 0x0F};

// A program command (the sector's size class and its offset) opens a sector's data blocks.
bool isProgram(std::span<const std::uint8_t> write) {
    return write.size() == 5 &&
           (write[0] == kProgram64K || write[0] == kProgram16K || write[0] == kProgramSmall);
}

std::uint8_t sumAfterCommand(std::span<const std::uint8_t> write) {
    return sum8(write.data() + 1, write.size() - 1);
}

}  // namespace

std::size_t HonestPhone::answered(std::size_t i) const {
    return m_Rig.link.replySize(i);
}

std::size_t HonestPhone::gapBefore(std::size_t i) const {
    const auto& writes = m_Rig.link.transcript;
    return writes[i].consumedAt - writes[i - 1].consumedAt;
}

std::optional<std::size_t> HonestPhone::sectorOf(std::size_t i) {
    // A sector's first block goes out with its program command; each further block goes out
    // once the one before it was acknowledged (one byte). No sector has more than 32 blocks.
    const auto& writes = m_Rig.link.transcript;
    for (; m_Scanned < writes.size(); ++m_Scanned)
        if (isProgram(writes[m_Scanned].bytes))
            m_LastProgram = m_Scanned;
    if (!m_LastProgram || *m_LastProgram >= i || i - *m_LastProgram > 32)
        return std::nullopt;
    const std::size_t program = *m_LastProgram;
    if (gapBefore(program + 1) != 0)
        return std::nullopt;
    for (std::size_t j = program + 2; j <= i; ++j)
        if (gapBefore(j) != 1)
            return std::nullopt;
    return program;
}

std::vector<std::uint8_t> HonestPhone::dumpBlock() {
    // The first few blocks are made once: filling eight kilobytes byte by byte, checked, for
    // every block of every input was a tenth of the time. Later blocks are rare.
    static std::vector<Bytes> made;
    const unsigned k = m_Blocks++;
    if (k < kKeptBlocks && k < made.size())
        return made[k];
    Bytes block(kDumpFrameSize);  // the sum's place too: a push_back would copy the block
    for (std::size_t i = 0; i < kDumpBlockSize; ++i)
        block[i] = static_cast<std::uint8_t>(i * 7 + k);
    block[kDumpBlockSize] = sum8(block.data(), kDumpBlockSize);
    if (k < kKeptBlocks && k == made.size())
        made.push_back(block);
    return block;
}

std::vector<std::uint8_t> HonestPhone::reply() {
    const ProtocolEngine& engine = m_Rig.engine;
    if (!m_Rig.link.connected)
        return {};
    if (engine.stage() == Stage::WaitingForPhone)
        return {kConnectRequest};
    if (exchangeNow(engine)[0] == '\0' || m_Rig.link.transcript.empty())
        return {};
    return answer(m_Rig.link.transcript.size() - 1);
}

std::vector<std::uint8_t> HonestPhone::answer(std::size_t last) {
    const auto w = m_Rig.link.transcript[last].bytes;
    if (w.empty())
        return {};
    return m_Rig.engine.stage() == Stage::BringingUp ? bringUpAnswer(last) : operationAnswer(last);
}

std::vector<std::uint8_t> HonestPhone::bringUpAnswer(std::size_t last) {
    const auto& writes = m_Rig.link.transcript;
    const auto w = writes[last].bytes;
    const std::span<const std::uint8_t>* before = last > 0 ? &writes[last - 1].bytes : nullptr;
    if (before && before->size() == 1 && gapBefore(last) == 0 &&
        ((*before)[0] == kImageLength || (*before)[0] == kSetBase) && w.size() == 4)
        return {sum8(w)};
    // A boot-loader chunk goes out once its DMA set-up was echoed.
    if (before && before->size() == 1 && (*before)[0] == kConfigureDma && gapBefore(last) == 1)
        return {sum8(w)};
    if (w.size() == 1) {
        switch (w[0]) {
            case kConnectReply:
                return {kConnectGrant};
            case kGrantAck:
                return kChallenge;
            case kJump:
                return {kPreLoaderReady};
            case kStart:
                // After the speed switch's reopen the pre-loader echoes the speed byte sent
                // before it.
                return before && before->size() == 1 ? Bytes(before->begin(), before->end())
                                                     : Bytes{};
            case kConfigureDma:
                return {kConfigureDma};
            case kJumpLoader:
                return {kLoaderReady};
            case kReadFlashId:
                return kFlashId;
            default:
                return {};
        }
    }
    switch (w[0]) {
        case kSetTimeout:
            return w.size() == 2 ? Bytes{kRomOk} : Bytes{};
        case kSetAddress:
            return w.size() == 5 ? Bytes{kRomOk} : Bytes{};
        case kLoadWord:
            return w.size() == 6 ? Bytes{kRomOk} : Bytes{};
        case kIdReply:
            return w.size() == kIdReplySize ? Bytes{kRomOk} : Bytes{};
        default:
            return {};
    }
}

std::vector<std::uint8_t> HonestPhone::operationAnswer(std::size_t last) {
    const auto& writes = m_Rig.link.transcript;
    const auto w = writes[last].bytes;
    const std::size_t since = answered(last);
    const std::span<const std::uint8_t>* before = last > 0 ? &writes[last - 1].bytes : nullptr;

    // An argument or a data block that went out with its one-byte command.
    if (before && before->size() == 1 && gapBefore(last) == 0) {
        switch ((*before)[0]) {
            case kImageLength:
            case kImageCrc:
            case kWriteOffset:
            case kNandCrc:
                if (w.size() == 4)
                    return {sum8(w)};
                break;
            case kFileBlock:
                return {since == 0 ? sum8(w) : kFileDone};
            case kSetVersion:
            case kSetReleaseVersion:
                return {kVersionOk};
            default:
                break;
        }
    }
    // A NOR block: acknowledged, and once the sector's last block is in, the sector's sum.
    if (const auto program = sectorOf(last)) {
        if (since == 0)
            return {kBlockAck};
        std::uint8_t sum = 0;
        for (std::size_t i = *program + 1; i <= last; ++i)
            sum = static_cast<std::uint8_t>(sum + sum8(writes[i].bytes));
        return {sum};
    }

    const std::uint8_t command = w[0];
    if (w.size() == 1) {
        switch (command) {
            case kStart:
                return {0x00};  // in front of an operation the boot-loader says anything
            case kMount:
                return {kMount};
            case kUnmount:
                return {kUnmount};
            case kSetVersion:
            case kSetReleaseVersion:
            case kNoReleaseVersion:
                return {kVersionOk};
            case kFileBlock:
                // A file's empty last block: the sum of nothing, then the file is written.
                return {since == 0 ? std::uint8_t{0} : kFileDone};
            case kFormat: {
                // Once it said the format failed, the phone sends its error report.
                const Bytes got = m_Rig.link.reply(last);
                const auto said = std::find_if(got.begin(), got.end(), [](std::uint8_t b) {
                    return b == kFormatOk || b == kFormatFailed;
                });
                return {said != got.end() ? std::uint8_t{0} : kFormatOk};
            }
            case kFsStatus: {
                const Bytes got = m_Rig.link.reply(last);
                const auto said = std::find_if(got.begin(), got.end(), [](std::uint8_t b) {
                    return b == kStatusOk || b == kStatusOkToo || b == kInitFailed;
                });
                if (said != got.end())
                    return {0x00};  // the rest of its record or error report
                Bytes record{kStatusOk};
                for (std::size_t i = 0; i < kStatusRecordSize; ++i)
                    record.push_back(static_cast<std::uint8_t>(i));
                return record;
            }
            default:
                return {};
        }
    }
    switch (command) {
        case kEraseSector:
            return w.size() == 5 ? Bytes{sumAfterCommand(w)} : Bytes{};
        case kDumpBlock:
            return w.size() == 5 ? dumpBlock() : Bytes{};
        case kProgram64K:
        case kProgram16K:
        case kProgramSmall:
            return {0x00};  // a sector without data: the sum of nothing
        case kSetTime:
            return w.size() == kTimePacketSize ? Bytes{sumAfterCommand(w)} : Bytes{};
        case kMakeDir:
            return {since == 0 ? sumAfterCommand(w) : kDirDone};
        case kFileHeader:
            return {sumAfterCommand(w)};
        default:
            return {};
    }
}

}  // namespace zrk::fuzz
