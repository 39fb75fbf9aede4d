#include <gtest/gtest.h>

#include "PhoneDriver.h"

namespace zrk::sim::test {
namespace {

// Starts a download the way the host does: start, image CRC, offset, length.
void armDownload(PhoneDriver& d, const Bytes& image, std::uint32_t offset) {
    ASSERT_EQ(d.send({0xD9}).size(), 1u);
    const Bytes crc = be32(phoneCrc32(0, image.data(), image.size()));
    ASSERT_EQ(d.send(cat({0xC8}, crc)), Bytes{sum(crc)});
    ASSERT_EQ(d.send(cat({0xD3}, be32(offset))), Bytes{sum(be32(offset))});
    const Bytes length = be32(static_cast<std::uint32_t>(image.size()));
    ASSERT_EQ(d.send(cat({0xD4}, length)), Bytes{sum(length)});
}

// Sends one sector as the host does and returns every byte of the phone's replies, in order,
// with the number of replies seen after each block.
std::vector<Bytes> sendSector(PhoneDriver& d, std::uint8_t command, std::uint32_t offset,
                              const Bytes& data) {
    std::vector<Bytes> replies;
    replies.push_back(d.send(cat({command}, be32(offset))));
    for (std::size_t at = 0; at < data.size(); at += 2048)
        replies.push_back(
            d.send(Bytes(data.begin() + static_cast<long>(at),
                         data.begin() + static_cast<long>(std::min(at + 2048, data.size())))));
    return replies;
}

TEST(PhoneNor, FullSectorIsAcknowledgedPerBlockAndConfirmedBySum) {
    PhoneDriver d;
    d.bringUp();
    const Bytes image = pattern(65536);
    armDownload(d, image, 0);
    const auto replies = sendSector(d, 0xFA, 0, image);
    ASSERT_EQ(replies.size(), 33u);
    EXPECT_EQ(replies[0], Bytes{});
    for (int i = 1; i < 32; ++i)
        ASSERT_EQ(replies[i].size(), 1u) << "block " << i;
    EXPECT_EQ(replies[32], (Bytes{replies[1][0], sum(image)})) << "last ack, then the sector sum";
    EXPECT_EQ(d.nor.read(0, 65536), image);
    EXPECT_EQ(d.phone.counters().firmwareDownloads, 1);
    EXPECT_TRUE(d.phone.violations().empty()) << d.phone.violations().front().context;
}

TEST(PhoneNor, ASectorInOneRunIsTakenAsByteByByte) {
    // Two sectors' commands and blocks back to back: each payload ends where it should and the
    // next command is read as one, whichever way the bytes arrive.
    const Bytes image = pattern(2 * 65536 - 100);
    Bytes stream = cat({0xFA}, be32(0));
    stream.insert(stream.end(), image.begin(), image.begin() + 65536);
    stream = cat(stream, cat({0xFA}, be32(0x10000)));
    stream.insert(stream.end(), image.begin() + 65536, image.end());
    PhoneDriver runs, bytes;
    for (PhoneDriver* d : {&runs, &bytes}) {
        d->bringUp();
        armDownload(*d, image, 0);
    }
    const Bytes replies = runs.send(stream);
    EXPECT_EQ(replies, bytes.sendByteByByte(stream));
    EXPECT_EQ(replies.size(), 32u + 1 + 32 + 1);
    EXPECT_EQ(runs.nor.read(0, static_cast<std::uint32_t>(image.size())), image);
    EXPECT_EQ(runs.phone.counters().bytesReceived, bytes.phone.counters().bytesReceived);
    EXPECT_EQ(runs.phone.counters().firmwareDownloads, 1);
    EXPECT_TRUE(runs.phone.violations().empty()) << runs.phone.violations().front().context;
}

TEST(PhoneNor, TheImageEndDecidesWhereTheLastSectorStops) {
    struct Case {
        std::size_t length;
        std::size_t blocks;
    };
    // 2049: a 1-byte block; 4096: ends on a block boundary; 0: no data at all.
    for (const Case c : {Case{2049, 2}, Case{4096, 2}, Case{0, 0}}) {
        PhoneDriver d;
        d.bringUp();
        d.nor.write(0x10000 + 5000, Bytes{0x00}.data(), 1);  // stale data beyond the image
        const Bytes image = pattern(c.length);
        armDownload(d, image, 0x10000);
        const auto replies = sendSector(d, 0xFA, 0x10000, image);
        ASSERT_EQ(replies.size(), c.blocks + 1);
        if (c.blocks == 0) {
            EXPECT_EQ(replies[0], Bytes{0x00}) << "a 0-byte image: the sum of nothing at once";
        } else {
            EXPECT_EQ(replies.back().size(), 2u) << "ack and sum after " << c.length;
            EXPECT_EQ(replies.back().back(), sum(image));
        }
        EXPECT_EQ(d.nor.read(0x10000, static_cast<std::uint32_t>(c.length)), image);
        EXPECT_EQ(d.nor.read(0x10000 + 5000, 1), Bytes{0xFF}) << "the sector is erased first";
        EXPECT_TRUE(d.phone.violations().empty()) << c.length;
    }
}

TEST(PhoneNor, ImageAcrossTheTopSectorsEndsOnASectorBoundary) {
    PhoneDriver d;
    d.bringUp();
    const Bytes image = pattern(65536 + 8192);
    armDownload(d, image, 0x1FE0000);
    const auto big = sendSector(d, 0xFA, 0x1FE0000, Bytes(image.begin(), image.begin() + 65536));
    EXPECT_EQ(big.back().back(), sum(Bytes(image.begin(), image.begin() + 65536)));
    const auto small = sendSector(d, 0xFC, 0x1FF0000, Bytes(image.begin() + 65536, image.end()));
    ASSERT_EQ(small.size(), 5u);
    EXPECT_EQ(small.back().size(), 2u);
    EXPECT_EQ(d.nor.read(0x1FE0000, 65536 + 8192), image);
    EXPECT_EQ(d.phone.counters().firmwareDownloads, 1);
    EXPECT_TRUE(d.phone.violations().empty());
}

TEST(PhoneNor, HostMistakesBecomeViolations) {
    PhoneDriver d;
    d.bringUp();
    const Bytes image = pattern(3000);
    armDownload(d, image, 0x1FF0000);
    // FAh for an 8 KB sector, and data whose CRC differs from the announced one.
    Bytes wrong = image;
    wrong[10] ^= 0xFF;
    sendSector(d, 0xFA, 0x1FF0000, wrong);
    ASSERT_EQ(d.phone.violations().size(), 2u);
    EXPECT_NE(d.phone.violations()[0].context.find("does not match the 8 KB sector"),
              std::string::npos);
    EXPECT_NE(d.phone.violations()[1].context.find("CRC"), std::string::npos);
    // A sector that starts nowhere, then a sector without a download announced.
    EXPECT_EQ(d.send(cat({0xFA}, be32(0x10001))), Bytes{});
    EXPECT_EQ(d.phone.violations().size(), 3u);
    d.send(cat({0xFA}, be32(0x20000)));
    EXPECT_EQ(d.phone.violations().size(), 4u);
}

TEST(PhoneNor, EraseAndDumpAnswerWithTheirSums) {
    PhoneDriver d;
    d.bringUp();
    const Bytes data = pattern(8192);
    d.nor.write(0x30000, data.data(), data.size());
    EXPECT_EQ(d.send(cat({0xD8}, be32(0x30000))), cat(data, {sum(data)}));
    EXPECT_EQ(d.send(cat({0xD5}, be32(0x30000))), Bytes{sum(be32(0x30000))});
    EXPECT_EQ(d.nor.read(0x30000, 65536), Bytes(65536, 0xFF));
    EXPECT_TRUE(d.nor.isErased());
    EXPECT_EQ(d.send(cat({0xD5}, be32(0x30004))),
              Bytes{static_cast<std::uint8_t>(~sum(be32(0x30004)))});
    EXPECT_EQ(d.phone.violations().size(), 1u);
}

TEST(PhoneNor, NumberedFaultsHitOnlyTheirSectorOrBlock) {
    SimOptions options;
    options.faults.badSectorSum = 1;
    options.faults.badEraseReply = 2;
    options.faults.badDumpBlock = 3;
    PhoneDriver d(options);
    d.bringUp();
    const Bytes image = pattern(65536 * 2);
    armDownload(d, image, 0);
    const Bytes first(image.begin(), image.begin() + 65536);
    const Bytes second(image.begin() + 65536, image.end());
    EXPECT_EQ(sendSector(d, 0xFA, 0, first).back().back(), sum(first));
    EXPECT_EQ(sendSector(d, 0xFA, 0x10000, second).back().back(),
              static_cast<std::uint8_t>(sum(second) + 1));
    EXPECT_EQ(d.send(cat({0xD5}, be32(0x10000))), Bytes{sum(be32(0x10000))});
    EXPECT_EQ(d.send(cat({0xD5}, be32(0x20000))),
              Bytes{static_cast<std::uint8_t>(sum(be32(0x20000)) + 1)});
    const Bytes block2 = d.send(cat({0xD8}, be32(2 * 8192)));
    const Bytes block3 = d.send(cat({0xD8}, be32(3 * 8192)));
    EXPECT_EQ(block2.back(), sum(Bytes(block2.begin(), block2.end() - 1)));
    EXPECT_EQ(block3.back(),
              static_cast<std::uint8_t>(sum(Bytes(block3.begin(), block3.end() - 1)) + 1));
    EXPECT_TRUE(d.phone.violations().empty());
}

}  // namespace
}  // namespace zrk::sim::test
