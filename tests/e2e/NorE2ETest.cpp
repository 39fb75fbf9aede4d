// Firmware download, erase and dump against the phone simulator; the simulator's NOR, written
// out when it ends, is the judge.
#include <gtest/gtest.h>

#include <filesystem>

#include "e2e/SimulatedPhone.h"
#include "support/TestImages.h"

namespace zrk {
namespace {

using test::Bytes;
using test::randomImage;

class NorE2E : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(phone.startSimulator(simulatorOptions()));
        ASSERT_TRUE(phone.bringUp()) << phone.view.log;
    }
    virtual sim::SimOptions simulatorOptions() { return {}; }

    // One operation from its button to its closing message box (or its failure).
    bool operate(void (ProtocolEngine::*button)(const UserChoices&)) {
        phone.view.messages.clear();
        phone.view.events.clear();
        (phone.engine.*button)(phone.view.userChoices);
        return phone.runUntil([&] {
            return phone.idle() && !phone.view.events.empty() &&
                   (phone.view.events.back() == "finish" || !phone.view.messages.empty());
        });
    }
    bool download(const Bytes& image, const std::string& startAddress = {}) {
        phone.view.userChoices.binPath = phone.dir.write("image.bin", image);
        phone.view.userChoices.useStartNorAddress = !startAddress.empty();
        phone.view.userChoices.startAddressText = startAddress;
        return operate(&ProtocolEngine::download) &&
               phone.view.messages == std::vector<std::string>{"Download completed!"};
    }

    test::SimulatedPhone phone;
};

TEST_F(NorE2E, DownloadsLandInNorAtTheirOffsets) {
    struct Case {
        std::size_t size;
        const char* address;  // empty: from offset 0
        std::uint32_t offset;
    };
    // An empty image is refused before the phone hears of it (the loader tests cover that).
    const Case cases[] = {
        {65537, "", 0},
        {1, "10020000", 0x20000},
        {2049, "10030000", 0x30000},
        {4096, "0x10040000", 0x40000},
        {65536, "10050000", 0x50000},
        {3 * 1024 * 1024 + 777, "10100000", 0x100000},
        {3 * 8192 + 5, "11FF8000", 0x1FF8000},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.size);
        const Bytes image = randomImage(c.size, static_cast<unsigned>(c.size));
        ASSERT_TRUE(download(image, c.address)) << phone.view.log;
        EXPECT_EQ(phone.view.progressPos, c.size);
        EXPECT_TRUE(phone.nor(c.offset, static_cast<std::uint32_t>(c.size)) == image);
    }
    EXPECT_EQ(phone.violations(), 0u) << phone.summary();
}

// The loop stands still while the test rewrites the image, so where the rewrite falls is
// decided by the bytes exchanged, not by the scheduler.
TEST_F(NorE2E, AnImageRewrittenDuringTheTransferEndsFailedNotCompleted) {
    constexpr std::size_t kSize = 512 * 1024;
    const Bytes original = randomImage(kSize, 21);
    const Bytes rewritten = randomImage(kSize, 22);
    phone.view.userChoices.binPath = phone.dir.write("image.bin", original);
    phone.view.outcomes.clear();
    phone.view.messages.clear();
    phone.engine.download(phone.view.userChoices);
    ASSERT_TRUE(phone.runUntil([&] { return phone.view.progressPos >= 65536; }));
    phone.dir.write("image.bin", rewritten);
    ASSERT_TRUE(phone.runUntil([&] { return !phone.view.outcomes.empty(); })) << phone.view.log;

    const OperationOutcome o = phone.view.outcomes.back();
    EXPECT_EQ(o.kind, OutcomeKind::Failed);
    EXPECT_EQ(o.cause, FailureCause::File);
    EXPECT_NE(o.detail.find("the image changed while it was being sent"), std::string::npos);
    EXPECT_NE(phone.view.log.find(phone.view.userChoices.binPath +
                                  ": the image changed while it was being sent"),
              std::string::npos)
        << phone.view.log;
    EXPECT_TRUE(phone.view.messages.empty());
    // What the phone holds: the first sector of one image, the last of the other.
    EXPECT_EQ(phone.nor(0, 65536), Bytes(original.begin(), original.begin() + 65536));
    EXPECT_EQ(phone.nor(kSize - 65536, 65536), Bytes(rewritten.end() - 65536, rewritten.end()));
    // The phone, too, finds that the CRC it was given covers neither image.
    EXPECT_EQ(phone.violations(), 1u) << phone.summary();
    EXPECT_NE(phone.summary().find("announced CRC"), std::string::npos) << phone.summary();
}

TEST_F(NorE2E, ErasesThreeSectorsAndDumpsTwo) {
    ASSERT_TRUE(download(randomImage(4 * 65536, 9)));
    phone.view.sectorsToSelect = {0, 2, 3};
    ASSERT_TRUE(operate(&ProtocolEngine::erase));
    EXPECT_EQ(phone.view.messages, std::vector<std::string>{"Erasing Completed!"});
    EXPECT_EQ(phone.view.progressHistory.back(), 3u);

    phone.view.sectorsToSelect = {0, 1, 2};
    phone.view.saveFileAnswer = phone.dir.file("dump.hex");
    ASSERT_TRUE(operate(&ProtocolEngine::dump));
    EXPECT_EQ(phone.view.messages, std::vector<std::string>{"Dump Completed!"});

    phone.view.sectorsToSelect = {518};
    phone.view.saveFileAnswer = phone.dir.file("top.hex");
    ASSERT_TRUE(operate(&ProtocolEngine::dump));

    EXPECT_EQ(phone.violations(), 0u) << phone.summary();
    const Bytes dump = test::TempDir::read(phone.dir.file("dump.hex"));
    EXPECT_TRUE(dump == phone.nor(0, 3 * 65536));
    EXPECT_EQ(std::count(dump.begin(), dump.begin() + 65536, 0xFF), 65536);
    EXPECT_EQ(std::count(dump.begin() + 2 * 65536, dump.end(), 0xFF), 65536);
    EXPECT_TRUE(test::TempDir::read(phone.dir.file("top.hex")) == phone.nor(0x1FFE000, 0x2000));
}

class NorFaultsE2E : public NorE2E {
  protected:
    sim::SimOptions simulatorOptions() override {
        sim::SimOptions options;
        options.faults.badSectorSum = 1;
        options.faults.badEraseReply = 5;
        options.faults.badDumpBlock = 50;
        return options;
    }
};

TEST_F(NorFaultsE2E, EachFaultEndsAsItShouldAndStopStillWorks) {
    EXPECT_FALSE(download(randomImage(3 * 65536, 1)));
    EXPECT_TRUE(phone.view.log.ends_with("Fail to download sector!\r\n"));
    EXPECT_EQ(phone.view.events.back(), "finish");

    phone.view.sectorsToSelect = {4, 5, 6};
    ASSERT_TRUE(operate(&ProtocolEngine::erase));
    EXPECT_EQ(phone.view.messages, std::vector<std::string>{"Fail to erase sector!"});

    // Block 50 is the third block of sector 6.
    phone.view.sectorsToSelect = {6};
    phone.view.saveFileAnswer = phone.dir.file("dump.hex");
    ASSERT_TRUE(operate(&ProtocolEngine::dump));
    EXPECT_EQ(phone.view.messages, std::vector<std::string>{"Checksum mismatched!"});
    phone.engine.stop();
    EXPECT_EQ(phone.view.events.back(), "stopped");
    EXPECT_TRUE(test::TempDir::read(phone.dir.file("dump.hex.part")) ==
                phone.nor(0x60000, 2 * 8192));
    EXPECT_FALSE(std::filesystem::exists(phone.dir.file("dump.hex")));
}

}  // namespace
}  // namespace zrk
