#pragma once
// What a download would make of an image and its configuration, without a phone: the check it
// runs first, then its walk over the directories and the files, with each file's place in the
// image.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "filesystem/QixConfig.h"

namespace zrk {

class CodePage;

struct QixListedFile {
    QixEntry entry;
    std::uint64_t offset = 0;  // where its bytes start in the image
};

struct QixListing {
    // A refusal in the download's own words: its log line and its message box, either may be
    // empty. Both are empty when a download would accept the pair.
    std::string logText;
    std::string messageText;
    bool unreadable = false;  // a file could not be opened (otherwise the pair is damaged)
    bool checked = false;     // sizes and version passed; what follows is known

    QixVersion version{};
    std::optional<QixReleaseVersion> releaseVersion;
    std::vector<QixEntry> directories;  // as far as the walk got
    std::vector<QixListedFile> files;
    std::uint32_t imageSize = 0;

    bool ok() const { return logText.empty() && messageText.empty(); }
};

// A name the download would stop at is explained in logText: which name, and, when it does
// not convert, a code page in which all do, to be chosen as howToChoose says ("NAME" standing
// for the code page's name).
QixListing readQixListing(const std::string& imagePath, const std::string& configPath,
                          const CodePage& codePage,
                          const std::string& howToChoose = "another code page (NAME)");

}  // namespace zrk
