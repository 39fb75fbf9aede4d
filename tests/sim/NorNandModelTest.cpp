#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>

#include "sim/NandFileSystem.h"
#include "sim/NorFlash.h"

namespace zrk::sim {
namespace {

namespace fs = std::filesystem;

TEST(NorFlashModel, SectorMapOfTheTopBootPart) {
    EXPECT_EQ(NorFlash::sectorAt(0)->index, 0);
    EXPECT_EQ(NorFlash::sectorAt(0x1FF0000)->index, 511);
    EXPECT_EQ(NorFlash::sectorAt(0x1FF2000)->index, 512);
    EXPECT_EQ(NorFlash::sectorAt(0x1FFE000)->size, 8192u);
    EXPECT_FALSE(NorFlash::sectorAt(0x1FF1000));
    EXPECT_FALSE(NorFlash::sectorAt(0x8000));
    EXPECT_FALSE(NorFlash::sectorAt(0x2000000));
    EXPECT_EQ(NorFlash::sector(518).offset + NorFlash::sector(518).size, NorFlash::kSize);
}

TEST(NorFlashModel, SparseWritesAcrossChunksEraseAndFileRoundTrip) {
    NorFlash nor;
    std::vector<std::uint8_t> data(70000);
    for (std::size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<std::uint8_t>(i % 251);
    nor.write(0xFFF0, data.data(), data.size());
    EXPECT_EQ(nor.read(0xFFF0, 70000), data);
    EXPECT_EQ(nor.read(0xFFEF, 1)[0], 0xFF);
    // Reads and writes past the end of the flash neither crash nor wrap.
    nor.write(NorFlash::kSize - 2, data.data(), 4);
    EXPECT_EQ(nor.read(NorFlash::kSize - 2, 4),
              (std::vector<std::uint8_t>{data[0], data[1], 0xFF, 0xFF}));
    nor.erase(0x10000, 0x10000);
    EXPECT_EQ(nor.read(0x10000, 4), std::vector<std::uint8_t>(4, 0xFF));
    EXPECT_EQ(nor.read(0xFFF0, 4), std::vector<std::uint8_t>(data.begin(), data.begin() + 4));

    const fs::path file = fs::temp_directory_path() / ("zrk-nor-" + std::to_string(::getpid()));
    ASSERT_TRUE(nor.saveTo(file.string()));
    EXPECT_EQ(fs::file_size(file), NorFlash::kSize);
    NorFlash copy;
    ASSERT_TRUE(copy.loadFrom(file.string(), nullptr));
    EXPECT_EQ(copy.read(0, 0x30000), nor.read(0, 0x30000));
    EXPECT_EQ(copy.read(NorFlash::kSize - 2, 2), nor.read(NorFlash::kSize - 2, 2));
    fs::remove(file);
}

TEST(NandModel, PathRuleOfTheBootLoader) {
    EXPECT_EQ(NandFileSystem::normalise("/"), "/");
    EXPECT_EQ(NandFileSystem::normalise(std::string("/a\0/b", 5)), "/a");
    EXPECT_EQ(NandFileSystem::normalise("//dir /x.txt\r\n"), "/dir/x.txt");
    EXPECT_EQ(NandFileSystem::normalise("a\t/ b"), "/a/ b") << "only trailing blanks go";
    EXPECT_EQ(NandFileSystem::normalise("/../../etc/./passwd"), "/etc/passwd");
    EXPECT_EQ(NandFileSystem::normalise(""), "/");
}

TEST(NandModel, TreeListingAndSaveLoad) {
    NandFileSystem nand(16, 1);
    EXPECT_TRUE(nand.writeFile("/d/e/f.bin", {1, 2, 3}, {}));
    EXPECT_TRUE(nand.find("/d/e")->directory) << "parents are created";
    EXPECT_FALSE(nand.makeDirectory("/d/e/f.bin", {})) << "a file is no directory";
    EXPECT_FALSE(nand.writeFile("/d", {}, {})) << "a directory is no file";
    EXPECT_FALSE(nand.removeFile("/d/e"));
    const auto listing = nand.list("/d");
    ASSERT_TRUE(listing);
    ASSERT_EQ(listing->size(), 3u);
    EXPECT_EQ((*listing)[2].name, "e");
    EXPECT_FALSE(nand.list("/d/e/f.bin"));

    const fs::path dir = fs::temp_directory_path() / ("zrk-nand-" + std::to_string(::getpid()));
    ASSERT_TRUE(nand.saveTo(dir.string(), nullptr));
    NandFileSystem copy;
    ASSERT_TRUE(copy.loadFrom(dir.string(), nullptr));
    ASSERT_NE(copy.find("/d/e/f.bin"), nullptr);
    EXPECT_EQ(copy.find("/d/e/f.bin")->data, (std::vector<std::uint8_t>{1, 2, 3}));
    fs::remove_all(dir);
}

}  // namespace
}  // namespace zrk::sim
