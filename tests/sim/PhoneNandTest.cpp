#include <gtest/gtest.h>

#include "PhoneDriver.h"

namespace zrk::sim::test {
namespace {

Bytes pathPacket(std::uint8_t command, const std::string& path) {
    Bytes name(path.begin(), path.end());
    name.push_back(0);
    return cat({command, static_cast<std::uint8_t>(name.size() >> 8),
                static_cast<std::uint8_t>(name.size())},
               name);
}

// Sends a file as the host does; returns the replies after the header and after each block.
std::vector<Bytes> sendFile(PhoneDriver& d, const std::string& path, const Bytes& data) {
    std::vector<Bytes> replies;
    replies.push_back(
        d.send(cat(pathPacket(0xDD, path), be32(static_cast<std::uint32_t>(data.size())))));
    std::size_t at = 0;
    while (true) {
        const std::size_t n = std::min<std::size_t>(8192, data.size() - at);
        replies.push_back(d.send(cat({0xFE}, Bytes(data.begin() + static_cast<long>(at),
                                                   data.begin() + static_cast<long>(at + n)))));
        at += n;
        if (n < 8192)
            return replies;
    }
}

class PhoneNand : public ::testing::Test {
  protected:
    explicit PhoneNand(SimOptions options = {}) : d(options) {}
    void SetUp() override {
        d.bringUp();
        ASSERT_EQ(d.send({0xD9}).size(), 1u);
        ASSERT_EQ(d.send({0xDA}), Bytes{0xDA});
    }
    PhoneDriver d;
};

TEST_F(PhoneNand, FileSystemDownloadBuildsTheTree) {
    const Bytes big = pattern(10000), exact = pattern(8192, 3);
    const Bytes image = cat(big, exact);  // the files' contents back to back
    const Bytes crc = be32(phoneCrc32(0, image.data(), image.size()));
    EXPECT_EQ(d.send(cat({0xC9}, crc)), Bytes{sum(crc)});
    // 25 October 2004 13:45:30.
    const Bytes time{0x00, 0x00, 0x00, 0x1E, 0, 0,    0, 0x2D, 0, 0,    0,    0x0D, 0, 0,
                     0,    0x19, 0,    0,    0, 0x0A, 0, 0,    0, 0xD4, 0x07, 0,    0};
    EXPECT_EQ(d.send(cat({0xC4}, time)), Bytes{0x56});
    const Bytes dir = pathPacket(0xDB, "/sys/fonts");
    EXPECT_EQ(d.send(dir), (Bytes{sum(Bytes(dir.begin() + 1, dir.end())), 0xDC}));
    EXPECT_EQ(d.send(cat({0xE3}, Bytes(16, 'v'))), Bytes{0xE3});
    EXPECT_EQ(d.send({0xF6}), Bytes{0xE3});

    const Bytes header = cat(pathPacket(0xDD, "a"), be32(256));
    EXPECT_EQ(Bytes(header.begin() + 1, header.end()),
              (Bytes{0x00, 0x02, 0x61, 0x00, 0x00, 0x00, 0x01, 0x00}));
    auto r = sendFile(d, "/sys/fonts/big.bin", big);
    ASSERT_EQ(r.size(), 3u);
    EXPECT_EQ(r[1], Bytes{sum(Bytes(big.begin(), big.begin() + 8192))});
    EXPECT_EQ(r[2], (Bytes{sum(Bytes(big.begin() + 8192, big.end())), 0xDF}));
    r = sendFile(d, "/exact.bin", exact);
    ASSERT_EQ(r.size(), 3u) << "a multiple of 8192 ends with an empty block";
    EXPECT_EQ(r[2], (Bytes{0x00, 0xDF}));
    r = sendFile(d, "/empty.txt", {});
    EXPECT_EQ(r.back(), (Bytes{0x00, 0xDF}));
    EXPECT_EQ(d.send({0xE4}), Bytes{0xE4});

    EXPECT_EQ(d.nand.find("/sys/fonts/big.bin")->data, big);
    EXPECT_EQ(d.nand.find("/exact.bin")->data, exact);
    EXPECT_TRUE(d.nand.find("/empty.txt")->data.empty());
    EXPECT_EQ(d.nand.find("/exact.bin")->modified.date, (24 << 9) | (10 << 5) | 25);
    EXPECT_EQ(d.phone.counters().filesWritten, 3);
    EXPECT_EQ(d.phone.counters().nandCrc, phoneCrc32(0, image.data(), image.size()));
    EXPECT_EQ(d.phone.counters().version, std::string(16, 'v'));
    EXPECT_TRUE(d.phone.violations().empty()) << d.phone.violations().front().context;
}

TEST_F(PhoneNand, MalformedFileCommandsAreViolations) {
    d.send(cat({0xDD, 0x00, 0x01, 'y'}, be32(4)));  // no terminating zero
    d.send(cat(pathPacket(0xDD, "z"), be32(1)));    // while "y" is still open
    EXPECT_EQ(d.send({0xFE, 7}), (Bytes{7, 0xDF}));
    EXPECT_EQ(d.send({0xFE}), Bytes{0x00});  // a block without a header
    ASSERT_EQ(d.phone.violations().size(), 3u);
    EXPECT_NE(d.phone.violations()[0].context.find("terminating zero"), std::string::npos);
    EXPECT_NE(d.phone.violations()[1].context.find("still open"), std::string::npos);
    EXPECT_NE(d.phone.violations()[2].context.find("without a file header"), std::string::npos);
}

TEST_F(PhoneNand, ImageCrcIsCheckedAgainstTheFilesAtUnmount) {
    d.send(cat({0xC9}, be32(0x12345678)));
    sendFile(d, "/only", pattern(300));
    EXPECT_TRUE(d.phone.violations().empty());
    EXPECT_EQ(d.send({0xE4}), Bytes{0xE4});
    ASSERT_EQ(d.phone.violations().size(), 1u);
    EXPECT_NE(d.phone.violations()[0].context.find("image's announced CRC"), std::string::npos);
    // A mount without an image (the explorer's) has nothing to check.
    d.send({0xDA});
    d.send({0xE4});
    EXPECT_EQ(d.phone.violations().size(), 1u);
}

TEST_F(PhoneNand, ExplorerListsDeletesReadsAndStats) {
    d.nand.writeFile("/dir/a.txt", pattern(8193), packTime(2025, 3, 11, 15, 33, 58));
    d.nand.makeDirectory("/dir/sub", {});
    // The selected item's trailing CR LF travels with the name; the path parser drops it.
    Bytes listing = d.send(cat({0xE5, 0x05}, Bytes{'/', 'd', 'i', 'r', 0}));
    EXPECT_EQ(listing, (Bytes{0x02, 0x02, '.', 0x00}));
    EXPECT_EQ(d.send({0x02}), (Bytes{0xCB, 0x03, 0x02, '.', '.', 0x00}));
    EXPECT_EQ(d.send({0x02}), (Bytes{0xCB, 0x06, 0x01, 'a', '.', 't', 'x', 't', 0x00}));
    EXPECT_EQ(d.send({0x01}), (Bytes{0xCB, 0x04, 0x02, 's', 'u', 'b', 0x00}));
    EXPECT_EQ(d.send({0x02}), Bytes{0xE7});
    EXPECT_EQ(d.send(cat({0xE5, 0x04}, Bytes{'/', 'n', 'o', 'p'})), (Bytes{0xE6, 0x11, 0xE7}));

    const Bytes stat = d.send(pathPacket(0xF0, "/dir/a.txt\r\n"));
    ASSERT_EQ(stat.size(), 29u);
    EXPECT_EQ(stat[0], 0xF1);
    EXPECT_EQ(Bytes(stat.begin() + 13, stat.begin() + 17), be32(8193));
    EXPECT_EQ(Bytes(stat.begin() + 21, stat.begin() + 25), be32(0x5A6B7C3D));

    const Bytes head = d.send(pathPacket(0xE8, "/dir//a.txt"));
    EXPECT_EQ(head, cat({0xE9}, be32(8193)));
    const Bytes first = d.send({0xEA});
    ASSERT_EQ(first.size(), 8193u);
    EXPECT_EQ(first.back(), sum(Bytes(first.begin(), first.end() - 1)));
    EXPECT_EQ(d.send({0x01}).size(), 2u) << "the 1-byte last block and its sum";
    EXPECT_EQ(d.send({0x01}), Bytes{});

    // An empty file is one empty block: its sum alone.
    d.nand.writeFile("/dir/zero", {}, {});
    EXPECT_EQ(d.send(pathPacket(0xE8, "/dir/zero")), cat({0xE9}, be32(0)));
    EXPECT_EQ(d.send({0xEA}), Bytes{0x00});
    EXPECT_EQ(d.send({0x01}), Bytes{});
    // A read-out the host gives up (no file chosen) leaves the next command working.
    d.send(pathPacket(0xE8, "/dir/zero"));
    EXPECT_EQ(d.send({0xD9}), Bytes{0xD9});

    EXPECT_EQ(d.send(pathPacket(0xEE, "/dir/a.txt")), Bytes{0xEE});
    EXPECT_EQ(d.nand.find("/dir/a.txt"), nullptr);
    EXPECT_NE(d.send(pathPacket(0xEE, "/dir/a.txt")), Bytes{0xEE});
    EXPECT_TRUE(d.phone.violations().empty()) << d.phone.violations().front().context;
}

TEST_F(PhoneNand, FormatStatusAndNandDump) {
    d.nand.writeFile("/f", pattern(5000), {});
    const Bytes status = d.send({0xEC});
    ASSERT_EQ(status.size(), 45u);
    EXPECT_EQ(status[0], 0xED);
    EXPECT_EQ(Bytes(status.begin() + 33, status.begin() + 37), (Bytes{'F', 'X', 'I', 'Q'}));
    EXPECT_EQ(status[41], 255);  // name length, little-endian
    EXPECT_EQ(d.send({0xE0}), Bytes{0xE1});
    EXPECT_EQ(d.nand.find("/f"), nullptr);

    PhoneDriver small([] {
        SimOptions o;
        o.nandPages = 3;
        return o;
    }());
    small.bringUp();
    small.send({0xDA});
    Bytes page = small.send({0xC0});
    ASSERT_EQ(page.size(), 1u + 2049u);
    EXPECT_EQ(page[0], 0xC1);
    EXPECT_EQ(Bytes(page.begin() + 1, page.end() - 1), small.nand.page(0));
    EXPECT_EQ(small.send({0xC1}).size(), 2049u);
    page = small.send({0xC1});
    ASSERT_EQ(page.size(), 2050u);
    EXPECT_EQ(page.back(), 0xC3) << "the end follows the last page at once";
    EXPECT_NE(small.nand.page(1), small.nand.page(2));
    // A rejected page ends the dump and unmounts.
    small.send({0xC0});
    small.send({0xC2});
    EXPECT_FALSE(small.phone.mounted());
    EXPECT_TRUE(small.phone.violations().empty());
}

class PhoneNandFaults : public PhoneNand {
  protected:
    static SimOptions faults() {
        SimOptions o;
        o.faults.listErrorAfterFirst = true;
        o.faults.badFileBlock = 1;
        o.faults.badReadOutBlock = 0;
        o.faults.refuseDelete = true;
        o.faults.silentEmptyReadOut = true;
        o.faults.refuseFileStatus = true;
        o.faults.refuseNandDump = true;
        o.faults.formatError = true;
        o.faults.fsStatusError = true;
        return o;
    }
    PhoneNandFaults() : PhoneNand(faults()) {}
};

TEST_F(PhoneNandFaults, EachFaultAnswersAsConfigured) {
    d.nand.writeFile("/a", pattern(10), {});
    EXPECT_EQ(d.send(cat({0xE5, 0x01}, Bytes{'/'})), (Bytes{0x02, 0x02, '.', 0x00}));
    EXPECT_EQ(d.send({0x02}), (Bytes{0xE6, 0x12, 0xE7}));
    const Bytes file = pattern(9000);
    const auto r = sendFile(d, "/b", file);
    EXPECT_EQ(r[1], Bytes{sum(Bytes(file.begin(), file.begin() + 8192))});
    EXPECT_EQ(r[2][0], static_cast<std::uint8_t>(sum(Bytes(file.begin() + 8192, file.end())) + 1));
    EXPECT_EQ(d.send(pathPacket(0xE8, "/a")), cat({0xE9}, be32(10)));
    const Bytes block = d.send({0xEA});
    EXPECT_NE(block.back(), sum(pattern(10)));
    EXPECT_EQ(d.send({0x00}), Bytes{}) << "a rejected block ends the read-out";
    d.nand.writeFile("/empty", {}, {});
    EXPECT_EQ(d.send(pathPacket(0xE8, "/empty")), cat({0xE9}, be32(0)));
    EXPECT_EQ(d.send({0xEA}), Bytes{}) << "silent, as the real phone on an empty file";
    EXPECT_EQ(d.send({0xD9}), Bytes{0xD9});
    EXPECT_NE(d.send(pathPacket(0xEE, "/a")), Bytes{0xEE});
    EXPECT_NE(d.send(pathPacket(0xF0, "/a"))[0], 0xF1);
    EXPECT_NE(d.send({0xC0}), Bytes{0xC1});
    EXPECT_EQ(d.send({0xE0}), (Bytes{0xF2, 0x03, 0x00, 0x00, 0x01, 0x02}));
    EXPECT_EQ(d.send({0xEC}), (Bytes{0xF3, 0x01, 0x00, 0x00, 0x00, 0x10}));
    EXPECT_NE(d.nand.find("/a"), nullptr) << "a failed format keeps the files";
    EXPECT_TRUE(d.phone.violations().empty()) << d.phone.violations().front().context;
}

TEST(PhoneNandRefusals, MountAndListingBeforeTheFirstEntry) {
    SimOptions o;
    o.faults.refuseMount = true;
    o.faults.listErrorBeforeFirst = true;
    o.faults.refuseReadOut = true;
    PhoneDriver d(o);
    d.bringUp();
    EXPECT_NE(d.send({0xDA}), Bytes{0xDA});
    EXPECT_FALSE(d.phone.mounted());
    EXPECT_EQ(d.send(cat({0xE5, 0x01}, Bytes{'/'})), (Bytes{0xE6, 0x12, 0xE7}));
    EXPECT_NE(d.send(pathPacket(0xE8, "/a"))[0], 0xE9);
}

}  // namespace
}  // namespace zrk::sim::test
