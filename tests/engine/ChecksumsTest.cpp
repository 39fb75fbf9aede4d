#include "engine/Checksums.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "engine/ElapsedTime.h"

namespace zrk {
namespace {

TEST(Sum8, DropsCarriesAndHasNoComplement) {
    const std::uint8_t carries[] = {0x80, 0x80, 0x01, 0x02};
    EXPECT_EQ(sum8(carries, 4), 0x03);
    const std::uint8_t zeros[4] = {};
    EXPECT_EQ(sum8(zeros, 4), 0x00);
    const std::uint8_t size[] = {0x00, 0x04, 0xD9, 0x60};  // 317792
    EXPECT_EQ(sum8(size, 4), 0x3D);
}

TEST(Crc32, MatchesTheStandardCheckValues) {
    const std::string check = "123456789";
    EXPECT_EQ(crc32(reinterpret_cast<const std::uint8_t*>(check.data()), check.size()),
              0xCBF43926u);
    EXPECT_EQ(crc32(nullptr, 0), 0u);
    // Piecewise and whole agree.
    const auto* p = reinterpret_cast<const std::uint8_t*>(check.data());
    EXPECT_EQ(crc32Update(crc32Update(0, p, 4), p + 4, 5), 0xCBF43926u);
}

TEST(Crc32, OfFilesEmptyLargeAndMissing) {
    const auto dir = std::filesystem::temp_directory_path() / "zrk-crc-test";
    std::filesystem::create_directories(dir);
    const auto empty = dir / "empty.bin";
    std::ofstream(empty).close();
    auto r = fileCrc32(empty.string());
    ASSERT_TRUE(r);
    EXPECT_EQ(r->crc, 0u);
    EXPECT_EQ(r->length, 0u);

    // Larger than one read chunk, so the chunked reading is exercised.
    std::vector<std::uint8_t> data(3u << 20);
    for (std::size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<std::uint8_t>(i * 13 + 1);
    const auto big = dir / "big.bin";
    std::ofstream(big, std::ios::binary)
        .write(reinterpret_cast<const char*>(data.data()),
               static_cast<std::streamsize>(data.size()));
    r = fileCrc32(big.string());
    ASSERT_TRUE(r);
    EXPECT_EQ(r->crc, crc32(data.data(), data.size()));
    EXPECT_EQ(r->length, data.size());

    EXPECT_FALSE(fileCrc32((dir / "missing.bin").string()));
    std::filesystem::remove_all(dir);
}

TEST(Wire, BigEndianBytes) {
    const auto bytes = bigEndian32(0x89ABCDEFu);
    EXPECT_EQ(bytes, (std::array<std::uint8_t, 4>{0x89, 0xAB, 0xCD, 0xEF}));
}

TEST(ElapsedTime, ShowsMinutesWithinTheHourAndSeconds) {
    EXPECT_EQ(formatElapsed("\r\n** Downloading Time %M:%S **\r\n", 0),
              "\r\n** Downloading Time 00:00 **\r\n");
    EXPECT_EQ(formatElapsed("%M:%S", 59), "00:59");
    EXPECT_EQ(formatElapsed("%M:%S", 61), "01:01");
    EXPECT_EQ(formatElapsed("%M:%S", 3599), "59:59");
    EXPECT_EQ(formatElapsed("%M:%S", 3600 + 125), "02:05");
    EXPECT_EQ(formatElapsed("%M:%S", -5), "00:00");
}

}  // namespace
}  // namespace zrk
