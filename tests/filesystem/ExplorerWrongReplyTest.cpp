// A wrong byte in each of the explorer's exchanges: it ends that exchange, under its own name,
// with the byte it wanted and the byte that came, in the words the log has always shown.
#include <gtest/gtest.h>

#include <functional>

#include "filesystem/explorer/ExplorerEngine.h"
#include "support/FakeClock.h"
#include "support/FakeLink.h"
#include "support/ListingEntry.h"
#include "support/RecordingExplorerView.h"
#include "support/TempDir.h"

namespace zrk {
namespace {

using Bytes = std::vector<std::uint8_t>;
using State = explorer::ExplorerState;

constexpr std::uint8_t kWrong = 0x5A;

struct Harness {
    Harness() {
        link.connected = true;
        std::string error;
        explorer = std::make_unique<ExplorerEngine>(link, view, *CodePage::open("UTF-8", &error),
                                                    clock, 1);
        view.saveAs = dir.file("out.hex");
    }
    void phone(const Bytes& bytes) {
        link.receive(bytes);
        link.deliverData();
        link.takeWritten();
    }
    // Opened, mounted and the root listed, with nothing left of it in the log or outcomes.
    void mount() {
        explorer->open();
        phone({0x00});
        phone({0xDA});
        phone(test::listingEntry(0x01, "r"));
        phone({0xE7});
        view.outcomes.clear();
        view.log.clear();
    }

    test::FakeLink link;
    test::FakeClock clock;
    test::RecordingExplorerView view;
    test::TempDir dir;
    std::unique_ptr<ExplorerEngine> explorer;
};

struct WrongReplyCase {
    const char* exchange;
    State waitsIn;
    std::uint8_t wanted;
    std::function<void(Harness&)> reach;
    const char* logged;
    const char* detail;
};

TEST(ExplorerWrongReplyTest, EachExchangeFailsUnderItsOwnNameWithTheByteItWantedAndTheOneThatCame) {
    const std::vector<WrongReplyCase> cases = {
        {"mount", State::WAIT_MOUNT_ECHO, 0xDA,
         [](Harness& h) {
             h.explorer->open();
             h.phone({0x00});
         },
         "Fail! (0x5A)\r\n", "mount answered with 0x5A"},
        {"list the folder", State::WAIT_ENTRY_STATUS, 0xE7,
         [](Harness& h) {
             h.mount();
             h.explorer->listDirectory("/y");
             h.phone(test::listingEntry(0x01, "f"));
         },
         "Unknown FILE name receive error!(5a)\r\n", "unknown listing status 0x5A"},
        {"delete the file", State::WAIT_DELETE, 0xEE,
         [](Harness& h) {
             h.mount();
             h.explorer->deleteFile("/r");
         },
         "Delete Fail! (0x5A)\r\n", "delete answered with 0x5A"},
        {"read the file out", State::WAIT_READ_ACK, 0xE9,
         [](Harness& h) {
             h.mount();
             h.explorer->readOut("/r");
         },
         "File size read Fail! (0x5A)\r\n", "read-out answered with 0x5A"},
        {"read the file status", State::WAIT_STAT_ACK, 0xF1,
         [](Harness& h) {
             h.mount();
             h.explorer->fileStatus("/r");
         },
         "Fail! (0x5A)\r\n", "status answered with 0x5A"},
        {"dump the NAND", State::WAIT_DUMP_START, 0xC1,
         [](Harness& h) {
             h.mount();
             h.explorer->nandDump();
         },
         " DUMP ERROR Fail!(0x5A)\r\n", "NAND dump answered with 0x5A"},
        {"dump the NAND", State::WAIT_DUMP_END, 0xC3,
         [](Harness& h) {
             h.mount();
             h.explorer->nandDump();
             Bytes startAndPage{0xC1};
             startAndPage.resize(1 + 2048 + 1, 0x00);  // one page of zeros, its sum8 zero
             h.phone(startAndPage);
         },
         "** NAND FULL DUMP ERROR! **\r\n", "0x5A instead of the dump's end"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.exchange) + " in state " +
                     std::to_string(static_cast<int>(c.waitsIn)));
        Harness h;
        c.reach(h);
        ASSERT_EQ(h.explorer->state(), c.waitsIn);
        ASSERT_TRUE(h.view.outcomes.empty());
        h.phone({kWrong});
        EXPECT_EQ(h.explorer->state(), State::EXPLORER_IDLE);
        EXPECT_NE(h.view.log.find(c.logged), std::string::npos) << h.view.log;
        ASSERT_EQ(h.view.outcomes.size(), 1u);
        EXPECT_EQ(h.view.outcomes[0].kind, OutcomeKind::Failed);
        ASSERT_TRUE(h.explorer->lastFailure());
        const Failure& f = *h.explorer->lastFailure();
        EXPECT_EQ(f.exchange, c.exchange);
        EXPECT_EQ(f.state, static_cast<std::int32_t>(c.waitsIn));
        EXPECT_EQ(f.expected, std::optional<std::uint8_t>(c.wanted));
        EXPECT_EQ(f.got, std::optional<std::uint8_t>(kWrong));
        EXPECT_EQ(f.cause, FailureCause::PhoneReply);
        EXPECT_EQ(f.detail, c.detail);
        EXPECT_EQ(h.view.outcomes[0].failure.exchange, c.exchange);
        // Over: what the phone sends next answers nothing.
        const auto accepted = h.link.repliesAccepted();
        h.phone({kWrong});
        EXPECT_EQ(h.link.repliesAccepted(), accepted);
        EXPECT_EQ(h.view.outcomes.size(), 1u);
    }

    // The closing exchange's outcome was told when EXIT stopped the explorer: a wrong reply
    // fails only the closing, and the link is given back all the same.
    Harness h;
    h.mount();
    h.explorer->exit();
    h.view.outcomes.clear();
    h.phone({kWrong});
    EXPECT_NE(h.view.log.find("Fail!(0x5A)\r\n"), std::string::npos);
    ASSERT_TRUE(h.explorer->unmountOutcome());
    EXPECT_EQ(h.explorer->unmountOutcome()->kind, OutcomeKind::Failed);
    EXPECT_EQ(h.explorer->unmountOutcome()->detail, "the unmount answered with 0x5A");
    EXPECT_FALSE(h.explorer->lastFailure());
    EXPECT_TRUE(h.view.outcomes.empty());
    EXPECT_TRUE(h.view.closed);
}

}  // namespace
}  // namespace zrk
