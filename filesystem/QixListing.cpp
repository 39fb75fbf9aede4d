#include "filesystem/QixListing.h"

#include "filesystem/CodePage.h"
#include "filesystem/QixNameCheck.h"
#include "filesystem/QixTreeCheck.h"

namespace zrk {

QixListing readQixListing(const std::string& imagePath, const std::string& configPath,
                          const CodePage& codePage, const std::string& howToChoose) {
    QixListing listing;
    QixCheckResult check = checkQixFiles(imagePath, configPath);
    if (!check.ok()) {
        listing.logText = check.logText;
        listing.messageText = check.messageText;
        listing.unreadable = check.messageText.rfind("Fail to open ", 0) == 0;
        return listing;
    }
    QixConfig& config = *check.config;
    // Nothing is listed from a text the download would take for something else than it says.
    if (const auto lines = checkQixLines(config.text())) {
        listing.logText = qixTreeRefusal(*lines, configPath) + "\r\n";
        return listing;
    }
    listing.checked = true;
    listing.version = config.version();
    listing.releaseVersion = config.releaseVersion();
    listing.imageSize = config.qixSize();
    // A name that does not convert is no name that is too long, whatever the walk calls it.
    const QixNameCheck names = checkQixNames(config, codePage);
    const std::string refusal =
        names.ok() ? std::string()
                   : (names.problem->unconvertible ? "" : names.problem->complaint + "\r\n") +
                         qixNameExplanation(names, configPath, codePage.name(), howToChoose, "");
    if (names.ok()) {
        if (const auto tree = checkQixTree(config, codePage)) {
            listing.checked = false;
            listing.logText = qixTreeRefusal(*tree, configPath) + "\r\n";
            return listing;
        }
    }
    // The download walks the directories, then the files, and stops at the first name that
    // is too long.
    for (;;) {
        WalkStep step = config.nextDirEntry(codePage);
        if (step.result == WalkResult::NoneLeft)
            break;
        if (step.result == WalkResult::NameTooLong) {
            listing.logText = refusal;
            return listing;
        }
        listing.directories.push_back(std::move(step.entry));
    }
    config.restartWalk();
    std::uint64_t offset = 0;
    for (;;) {
        WalkStep step = config.nextFileEntry(codePage);
        if (step.result == WalkResult::NoneLeft)
            break;
        if (step.result == WalkResult::NameTooLong) {
            listing.logText = refusal;
            return listing;
        }
        const std::uint32_t size = step.entry.fileSize;
        listing.files.push_back({std::move(step.entry), offset});
        offset += size;
    }
    return listing;
}

}  // namespace zrk
