#include "report/RunReport.h"

#include "engine/Checksums.h"
#include "engine/StartAddress.h"

namespace zrk::report {

const char* programVersion() {
    return ZRK_VERSION;
}

ImageRecord describeImage(const std::string& role, const std::string& path) {
    ImageRecord image{role, path, std::nullopt, std::nullopt};
    if (const auto crc = fileCrc32(path)) {
        image.size = crc->length;
        image.crc32 = crc->crc;
    }
    return image;
}

std::vector<ImageRecord> imagesFor(const UserChoices& choices) {
    std::vector<ImageRecord> images;
    const bool firmware = choices.downloadMode != DownloadMode::ModeQix;
    const bool fileSystem = choices.downloadMode != DownloadMode::ModeBin;
    if (firmware && !choices.binPath.empty())
        images.push_back(describeImage("firmware", choices.binPath));
    if (fileSystem && !choices.qixPath.empty())
        images.push_back(describeImage("file-system", choices.qixPath));
    if (fileSystem && !choices.cfgPath.empty())
        images.push_back(describeImage("file-system-config", choices.cfgPath));
    return images;
}

OperationRecord makeOperationRecord(const OperationOutcome& outcome, const UserChoices& choices,
                                    const std::vector<ImageRecord>& images,
                                    const std::vector<std::int32_t>& sectorFlags, TimePoint started,
                                    TimePoint ended) {
    OperationRecord record;
    record.operation = outcome.operation;
    record.outcome = outcome.kind;
    record.cause = outcome.cause;
    record.detail = outcome.detail;
    record.started = started;
    record.ended = ended;
    record.bytes = outcome.bytes;
    record.verify = verifyResultFor(outcome, choices.verifyAfterDownload);

    bool firmware = false, fileSystem = false;
    switch (outcome.operation) {
        case Operation::Firmware:
        case Operation::FirmwareVerify:
            firmware = true;
            break;
        case Operation::FileSystem:
        case Operation::FileSystemVerify:
            fileSystem = true;
            break;
        case Operation::FirmwareAndFileSystem:
            firmware = fileSystem = true;
            break;
        case Operation::Erase:
        case Operation::Dump:
            for (std::size_t i = 0; i < sectorFlags.size(); ++i)
                if (sectorFlags[i])
                    record.sectors.push_back(static_cast<int>(i));
            break;
        default:
            break;
    }
    for (const auto& image : images) {
        const bool isFirmware = image.role == "firmware";
        if ((isFirmware && firmware) || (!isFirmware && fileSystem))
            record.images.push_back(image);
    }
    if (firmware) {
        const std::uint64_t address =
            choices.useStartNorAddress ? parseStartAddress(choices.startAddressText) : NOR_BASE;
        record.startAddress = static_cast<std::uint32_t>(address);
    }
    return record;
}

VerifyResult verifyResultFor(const OperationOutcome& outcome, bool asked) {
    const bool verifyOperation = outcome.operation == Operation::FirmwareVerify ||
                                 outcome.operation == Operation::FileSystemVerify;
    const bool download = outcome.operation == Operation::Firmware ||
                          outcome.operation == Operation::FileSystem ||
                          outcome.operation == Operation::FirmwareAndFileSystem;
    if (!verifyOperation && !(download && asked))
        return VerifyResult::NotRequested;
    if (outcome.completed())
        return VerifyResult::Passed;
    if (outcome.cause == FailureCause::Verify)
        return VerifyResult::Failed;
    return VerifyResult::NotFinished;
}

}  // namespace zrk::report
