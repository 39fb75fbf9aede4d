// A firmware choice whose content shows it is something else, told apart from firmware images.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "filesystem/NotFirmware.h"
#include "support/TempDir.h"

namespace zrk {
namespace {

std::vector<std::uint8_t> bytes(const std::string& text) {
    return {text.begin(), text.end()};
}

std::optional<std::string> kindOf(const std::vector<std::uint8_t>& head) {
    return notFirmwareKind(head, false);
}

TEST(NotFirmware, ProgramsRecordTextsAndArchivesAreNamed) {
    EXPECT_EQ(kindOf({0x7F, 'E', 'L', 'F', 2, 1, 1}), "an ELF program");
    EXPECT_EQ(kindOf({'P', 'K', 3, 4, 20, 0}), "a zip archive");
    EXPECT_EQ(kindOf({0x1F, 0x8B, 8, 0}), "a gzip archive");
    EXPECT_EQ(kindOf({'7', 'z', 0xBC, 0xAF, 0x27, 0x1C, 0}), "a 7z archive");
    EXPECT_EQ(kindOf({'R', 'a', 'r', '!', 0x1A, 0x07, 0}), "a rar archive");
    EXPECT_EQ(kindOf(bytes(":10000000214601360121470136007EFE09D2190140\r\n:00000001FF\r\n")),
              "Intel HEX text");
    EXPECT_EQ(kindOf(bytes("S00F000068656C6C6F202020202000003C\nS1130000")), "S-record text");
}

TEST(NotFirmware, AnImageThatMerelyStartsWithAMarkIsStillFirmware) {
    // Binary that happens to begin with a record mark, and images of zeros or erased flash.
    EXPECT_EQ(kindOf({':', 0x00, 0x12, 0xFF, 0x34}), std::nullopt);
    EXPECT_EQ(kindOf(bytes("S1\x01\x02\x03")), std::nullopt);
    EXPECT_EQ(kindOf(std::vector<std::uint8_t>(512, 0xFF)), std::nullopt);
    EXPECT_EQ(kindOf({}), std::nullopt);
    EXPECT_EQ(kindOf(bytes(":1000")), std::nullopt);  // cut short, no line's end
}

TEST(NotFirmware, AFileSystemImageIsKnownByItsConfigurationOrItsName) {
    EXPECT_EQ(notFirmwareImage(ZRK_EXAMPLES_DIR "/filesystem.qix"), "a file-system image (.qix)");
    EXPECT_EQ(notFirmwareImage(ZRK_EXAMPLES_DIR "/firmware-200k.bin"), std::nullopt);

    test::TempDir dir;
    const std::string renamed = dir.file("fs.bin");
    std::filesystem::copy_file(ZRK_EXAMPLES_DIR "/filesystem.qix", renamed);
    EXPECT_EQ(notFirmwareImage(renamed), std::nullopt);  // alone, it is just bytes
    std::ofstream(dir.file("fs.cfg")) << "[QIX]\n";
    EXPECT_EQ(notFirmwareImage(renamed), "a file-system image (.qix)");
    EXPECT_EQ(notFirmwareImage(dir.file("missing.bin")), std::nullopt);
}

}  // namespace
}  // namespace zrk
