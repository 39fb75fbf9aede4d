#pragma once
// What a file-system verify compares: the directories and files a .cfg lists (names in UTF-8,
// as the phone names them), and one file read back from the phone against its bytes in the
// .qix image.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace zrk {

class CodePage;
class OpenFile;
class QixConfig;

struct VerifyPlan {
    struct File {
        std::string path;
        std::uint32_t size = 0;
    };
    std::vector<std::string> directories;
    std::vector<File> files;  // in the image's order
    std::uint64_t total = 0;  // bytes of all files
};

// nullopt with why when a name of the configuration does not fit the phone's field.
std::optional<VerifyPlan> planVerify(QixConfig& config, const CodePage& codePage, std::string* why);

struct ReadBackComparison {
    enum class Kind { Same, Unreadable, SizeDiffers, ImageShort, Differs };
    Kind kind = Kind::Same;
    std::uint64_t readSize = 0;  // SizeDiffers
    std::uint32_t offset = 0;    // Differs: the first byte that differs
    std::uint8_t expected = 0;
    std::uint8_t read = 0;
};

// The file at readBackPath against the next expectedSize bytes of image (read on from where
// it stands).
ReadBackComparison compareReadBack(OpenFile& image, const std::string& readBackPath,
                                   std::uint32_t expectedSize);

}  // namespace zrk
