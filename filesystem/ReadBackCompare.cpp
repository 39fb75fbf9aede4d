#include "filesystem/ReadBackCompare.h"

#include <algorithm>
#include <array>

#include "engine/OpenFile.h"
#include "filesystem/QixConfig.h"

namespace zrk {
namespace {

std::string withoutZero(std::string name) {
    if (!name.empty() && name.back() == '\0')
        name.pop_back();
    return name;
}

}  // namespace

std::optional<VerifyPlan> planVerify(QixConfig& config, const CodePage& codePage,
                                     std::string* why) {
    VerifyPlan plan;
    config.restartWalk();
    for (WalkStep s = config.nextDirEntry(codePage); s.result != WalkResult::NoneLeft;
         s = config.nextDirEntry(codePage)) {
        if (s.result == WalkResult::NameTooLong) {
            *why = "a directory name of the .cfg is too long";
            return std::nullopt;
        }
        plan.directories.push_back(withoutZero(s.entry.utf8Name));
    }
    config.restartWalk();
    for (WalkStep s = config.nextFileEntry(codePage); s.result != WalkResult::NoneLeft;
         s = config.nextFileEntry(codePage)) {
        if (s.result == WalkResult::NameTooLong) {
            *why = "a file name of the .cfg is too long";
            return std::nullopt;
        }
        plan.files.push_back({withoutZero(s.entry.utf8Name), s.entry.fileSize});
        plan.total += s.entry.fileSize;
    }
    return plan;
}

ReadBackComparison compareReadBack(OpenFile& image, const std::string& readBackPath,
                                   std::uint32_t expectedSize) {
    using Kind = ReadBackComparison::Kind;
    OpenFile readBack;
    const auto size = readBack.openForReading(readBackPath) ? readBack.size() : std::nullopt;
    if (!size)
        return {Kind::Unreadable};
    if (*size != expectedSize)
        return {Kind::SizeDiffers, *size};
    std::array<std::uint8_t, 8192> expected{};
    std::array<std::uint8_t, 8192> read{};
    std::uint32_t at = 0;
    while (at < expectedSize) {
        const std::size_t n = std::min<std::size_t>(expected.size(), expectedSize - at);
        if (image.read(expected.data(), n) != n || readBack.read(read.data(), n) != n)
            return {Kind::ImageShort};
        const auto differs = std::mismatch(expected.begin(), expected.begin() + n, read.begin());
        if (differs.first != expected.begin() + n) {
            const auto offset = at + static_cast<std::uint32_t>(differs.first - expected.begin());
            return {Kind::Differs, 0, offset, *differs.first, *differs.second};
        }
        at += static_cast<std::uint32_t>(n);
    }
    return {Kind::Same};
}

}  // namespace zrk
