// A walk over the phone's tree: typed results for the program that walks, the front end left as
// it was, and exchanges that end at once handed over after their request without nesting.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "engine/Checksums.h"
#include "files/OutputFolder.h"
#include "filesystem/explorer/ExplorerEngine.h"
#include "filesystem/explorer/TreeWalk.h"
#include "support/FakeClock.h"
#include "support/FakeLink.h"
#include "support/ListingEntry.h"
#include "support/RecordingExplorerView.h"
#include "support/TempDir.h"

namespace zrk {
namespace {

using Bytes = std::vector<std::uint8_t>;
using State = explorer::ExplorerState;

constexpr auto entry = test::listingEntry;

class TreeWalkTest : public ::testing::Test {
  protected:
    TreeWalkTest() {
        link.connected = true;
        std::string error;
        engine =
            std::make_unique<ExplorerEngine>(link, view, *CodePage::open("UTF-8", &error), clock);
        engine->open();
        phone({0x00});
        phone({0xDA});
        phone(entry(0x01, "r"));
        phone({0xE7});
        link.takeWritten();
        view = {};
        walk = std::make_unique<TreeWalk>(*engine);
        walk->onResult = [this](const TreeWalkResult& r) { results.push_back(r); };
        walk->onReadProgress = [this](std::uint32_t bytes) { readBytes = bytes; };
        walk->attach();
    }
    Bytes phone(const Bytes& bytes) {
        link.receive(bytes);
        link.deliverData();
        return link.takeWritten();
    }

    test::FakeLink link;
    test::FakeClock clock;
    test::RecordingExplorerView view;
    std::unique_ptr<ExplorerEngine> engine;
    std::unique_ptr<TreeWalk> walk;
    std::vector<TreeWalkResult> results;
    std::uint32_t readBytes = 0;
};

TEST_F(TreeWalkTest, ARefusedStatIsATypedResultAndTheFrontEndHearsNothingOfIt) {
    walk->stat("/r");
    EXPECT_EQ(link.takeWritten(), (Bytes{0xF0, 0x00, 0x03, '/', 'r', 0x00}));
    phone({0x5A});
    ASSERT_EQ(results.size(), 1u);
    const TreeWalkResult& r = results[0];
    EXPECT_EQ(r.exchange, TreeWalkResult::Exchange::Stat);
    EXPECT_EQ(r.phonePath, "/r");
    EXPECT_FALSE(r.completed());
    EXPECT_FALSE(r.status);
    ASSERT_TRUE(r.failure);
    EXPECT_EQ(r.failure->exchange, "read the file status");
    EXPECT_EQ(r.failure->state, static_cast<std::int32_t>(State::WAIT_STAT_ACK));
    EXPECT_EQ(r.failure->expected, std::optional<std::uint8_t>(0xF1));
    EXPECT_EQ(r.failure->got, std::optional<std::uint8_t>(0x5A));
    EXPECT_EQ(r.failure->cause, FailureCause::PhoneReply);
    EXPECT_EQ(r.failure->detail, "status answered with 0x5A");
    EXPECT_EQ(engine->state(), State::EXPLORER_IDLE);
    // The window's log, controls and outcomes are the walk's owner's to tell.
    EXPECT_TRUE(view.log.empty());
    EXPECT_TRUE(view.outcomes.empty());
    EXPECT_TRUE(view.working);

    // A status that comes whole carries its record; a stale one never rides on a failure.
    walk->stat("/r");
    link.takeWritten();
    Bytes record(explorer::kStatRecordSize, 0);
    record[15] = 42;  // the size's low byte
    record.insert(record.begin(), 0xF1);
    phone(record);
    ASSERT_EQ(results.size(), 2u);
    ASSERT_TRUE(results[1].status);
    EXPECT_EQ(results[1].status->size, 42);
    EXPECT_FALSE(results[1].failure);
    walk->stat("/r");
    link.takeWritten();
    phone({0x00});
    ASSERT_EQ(results.size(), 3u);
    EXPECT_FALSE(results[2].status);
}

TEST_F(TreeWalkTest, AListingCarriesItsEntriesAndFillsOnlyTheFrontEndsTreeUnlessShown) {
    walk->list("/");
    link.takeWritten();
    phone(entry(0x01, "a.txt"));
    phone({0xCB});
    phone(entry(0x02, "user"));
    phone({0xE7});
    ASSERT_EQ(results.size(), 1u);
    ASSERT_TRUE(results[0].completed());
    ASSERT_EQ(results[0].entries.size(), 2u);
    EXPECT_EQ(results[0].entries[0].utf8Name, "a.txt");
    EXPECT_TRUE(results[0].entries[1].directory);
    EXPECT_EQ(view.nodes["/"], std::vector<std::string>{"user"});
    EXPECT_TRUE(view.files.empty());
    EXPECT_TRUE(view.log.empty());

    walk->list("/", true);
    link.takeWritten();
    phone(entry(0x01, "b.txt"));
    phone({0xE7});
    EXPECT_EQ(view.files, std::vector<std::string>{"b.txt\r\n"});
    EXPECT_TRUE(view.log.empty());

    // Detached, the front end sees the exchanges again and the walk hears nothing.
    walk->detach();
    engine->listDirectory("/");
    link.takeWritten();
    phone(entry(0x01, "c.txt"));
    phone({0xE7});
    EXPECT_EQ(results.size(), 2u);
    ASSERT_EQ(view.outcomes.size(), 1u);
    EXPECT_NE(view.log.find("c.txt"), std::string::npos);
}

TEST_F(TreeWalkTest, ExchangesThatEndInsideTheirRequestFollowItInOrderWithoutNesting) {
    const std::string tooLong = "/" + std::string(600, 'n');
    int depth = 0;
    int deepest = 0;
    walk->onResult = [&](const TreeWalkResult& r) {
        ++depth;
        deepest = std::max(deepest, depth);
        results.push_back(r);
        if (results.size() < 50)
            walk->stat(tooLong);  // refused before anything is sent
        --depth;
    };
    walk->stat(tooLong);
    EXPECT_EQ(results.size(), 50u);
    EXPECT_EQ(deepest, 1);
    EXPECT_TRUE(link.takeWritten().empty());
    for (const auto& r : results) {
        ASSERT_TRUE(r.failure);
        EXPECT_EQ(r.failure->cause, FailureCause::Refused);
        EXPECT_FALSE(r.failure->got);
    }
}

TEST_F(TreeWalkTest, AReadLandsInItsFolderAndABadBlockNamesWhatWasExpectedAndWhatCame) {
    test::TempDir dir;
    auto folder = OutputFolder::openOrCreate(dir.file("copy"), nullptr);
    ASSERT_TRUE(folder);
    walk->read("/r", folder, "r.bin");
    link.takeWritten();
    phone({0xE9, 0x00, 0x00, 0x00, 0x03});
    Bytes block{1, 2, 3};
    block.push_back(sum8(block));
    EXPECT_EQ(phone(block), Bytes{explorer::BLOCK_ACCEPTED});
    ASSERT_EQ(results.size(), 1u);
    EXPECT_TRUE(results[0].completed());
    EXPECT_EQ(results[0].outcome.bytes, 3u);
    EXPECT_EQ(readBytes, 3u);
    EXPECT_EQ(view.progressPos, 0u);  // the walk's owner maps it onto its own bar
    std::ifstream in(dir.file("copy/r.bin"), std::ios::binary);
    EXPECT_EQ(Bytes(std::istreambuf_iterator<char>(in), {}), (Bytes{1, 2, 3}));

    walk->read("/r", folder, "r2.bin");
    link.takeWritten();
    phone({0xE9, 0x00, 0x00, 0x00, 0x02});
    EXPECT_EQ(phone({7, 8, 0x00}), Bytes{explorer::BLOCK_REJECTED});
    ASSERT_EQ(results.size(), 2u);
    ASSERT_TRUE(results[1].failure);
    EXPECT_EQ(results[1].failure->exchange, "read the file out");
    EXPECT_EQ(results[1].failure->state, static_cast<std::int32_t>(State::WAIT_FILE_BLOCK));
    EXPECT_EQ(results[1].failure->expected, std::optional<std::uint8_t>(15));
    EXPECT_EQ(results[1].failure->got, std::optional<std::uint8_t>(0));
    // A torn file has no place in a folder copy.
    EXPECT_FALSE(std::filesystem::exists(dir.file("copy/r2.bin")));
    EXPECT_TRUE(view.messages.empty());
}

}  // namespace
}  // namespace zrk
