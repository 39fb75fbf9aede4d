// The explorer's state machine byte by byte against a scripted link: the request forms on the
// wire, what entries add, the failure paths, and the NAND dump's acknowledgements and time.
#include <gtest/gtest.h>

#include "files/OutputFolder.h"
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

constexpr auto entry = test::listingEntry;

class ExplorerEngineTest : public ::testing::Test {
  protected:
    ExplorerEngineTest() { link.connected = true; }

    ExplorerEngine& make(std::uint32_t pages = explorer::kNandPages) {
        std::string error;
        explorer = std::make_unique<ExplorerEngine>(link, view, *CodePage::open("UTF-8", &error),
                                                    clock, pages);
        return *explorer;
    }
    // The phone's bytes, delivered as one notification; returns what the explorer wrote.
    Bytes phone(const Bytes& bytes) {
        link.receive(bytes);
        link.deliverData();
        return link.takeWritten();
    }
    // Opened, mounted, and the root listed with one file (an empty directory is an error).
    ExplorerEngine& mounted(std::uint32_t pages = explorer::kNandPages) {
        ExplorerEngine& e = make(pages);
        e.open();
        EXPECT_EQ(link.takeWritten(), Bytes{0xD9});
        EXPECT_EQ(phone({0x00}), Bytes{0xDA});  // any reply to the start
        EXPECT_EQ(phone({0xDA}), (Bytes{0xE5, 0x01, '/'}));
        EXPECT_EQ(phone(entry(0x01, "r")), Bytes{0x01});
        EXPECT_TRUE(phone({0xE7}).empty());
        EXPECT_TRUE(!view.outcomes.empty() && view.outcomes.back().completed());
        view.outcomes.clear();
        return e;
    }

    test::FakeLink link;
    test::FakeClock clock;
    test::RecordingExplorerView view;
    std::unique_ptr<ExplorerEngine> explorer;
};

TEST_F(ExplorerEngineTest, ListingsEchoEachEntryTypeAndSkipDotAndUnknownEntries) {
    ExplorerEngine& e = mounted();
    EXPECT_EQ(link.handler(), &e);
    view.log.clear();
    e.listDirectory("/");
    EXPECT_EQ(link.takeWritten(), (Bytes{0xE5, 0x02, '/', 0x00}));
    EXPECT_EQ(phone(entry(0x01, "a.txt")), Bytes{0x01});
    EXPECT_EQ(phone({0xCB}), Bytes{});
    EXPECT_EQ(phone(entry(0x02, "..")), Bytes{0x02});
    EXPECT_EQ(phone({0xCB}), Bytes{});
    EXPECT_EQ(phone(entry(0x07, "dev")), Bytes{0x07});
    EXPECT_EQ(phone({0xCB}), Bytes{});
    EXPECT_EQ(phone(entry(0x02, "user")), Bytes{0x02});
    EXPECT_TRUE(phone({0xE7}).empty());
    EXPECT_EQ(view.files, std::vector<std::string>{"a.txt\r\n"});
    EXPECT_EQ(view.nodes["/"], std::vector<std::string>{"user"});
    EXPECT_EQ(view.log, "\r\nSearching the files (in '/')... a.txt\r\n\r\n Read directory OK!\r\n");
    EXPECT_TRUE(view.working);
    ASSERT_EQ(view.outcomes.size(), 1u);
    EXPECT_TRUE(view.outcomes[0].completed());

    // A byte in the idle state changes nothing.
    EXPECT_TRUE(phone({0x55}).empty());
    EXPECT_EQ(e.state(), State::EXPLORER_IDLE);
}

TEST_F(ExplorerEngineTest, AFailureAfterAnEntryLogsTheCodeAndTheEndAndFreesTheTreeOnly) {
    ExplorerEngine& e = mounted();
    e.listDirectory("/x");
    link.takeWritten();
    view.log.clear();
    EXPECT_EQ(phone(entry(0x01, "f")), Bytes{0x01});
    phone({0xE6, 0x12, 0xE7});
    EXPECT_EQ(view.log, "f\r\nERROR in reading File name!\r\nFail!(0x12)\r\nFail!(0xE7)\r\n");
    EXPECT_EQ(e.state(), State::LIST_FAILED);
    EXPECT_TRUE(view.tree);
    EXPECT_FALSE(view.working);
    ASSERT_EQ(view.outcomes.size(), 1u);
    EXPECT_EQ(view.outcomes[0].cause, FailureCause::PhoneReply);
}

TEST_F(ExplorerEngineTest, TooLongNamesAreRefusedWithoutSending) {
    ExplorerEngine& e = mounted();
    e.listDirectory("/" + std::string(254, 'd'));  // 256 bytes with the NUL
    EXPECT_TRUE(link.takeWritten().empty());
    EXPECT_NE(view.log.find("**UTF8 length error(256) **\r\n"), std::string::npos);
    const std::string path = "/" + std::string(499, 'f');
    e.readOut(path);
    EXPECT_TRUE(link.takeWritten().empty());
    EXPECT_NE(view.log.find("**File name is too long(" + path + ") **\r\n"), std::string::npos);
    ASSERT_FALSE(view.outcomes.empty());
    EXPECT_EQ(view.outcomes.back().cause, FailureCause::Refused);
}

TEST_F(ExplorerEngineTest, TheRefreshAfterADeleteCarriesThePathWithoutItsNul) {
    ExplorerEngine& e = mounted();
    e.listDirectory("/a");
    link.takeWritten();
    phone(entry(0x01, "k"));
    phone({0xE7});
    e.deleteFile(e.fullFilePath("k\r\n"));
    EXPECT_EQ(link.takeWritten(), (Bytes{0xEE, 0x00, 0x07, '/', 'a', '/', 'k', '\r', '\n', 0x00}));
    EXPECT_EQ(phone({0xEE}), (Bytes{0xE5, 0x02, '/', 'a'}));
    EXPECT_FALSE(view.working);
    EXPECT_EQ(phone(entry(0x01, "m")), Bytes{0x01});
    phone({0xE7});
    ASSERT_FALSE(view.outcomes.empty());
    EXPECT_TRUE(view.outcomes.back().completed());
    EXPECT_EQ(view.files, std::vector<std::string>{"m\r\n"});

    // A refused delete leaves the working controls off.
    e.deleteFile("/a/k");
    link.takeWritten();
    phone({0x21});
    EXPECT_NE(view.log.find("Delete Fail! (0x21)\r\n"), std::string::npos);
    EXPECT_FALSE(view.working);
}

TEST_F(ExplorerEngineTest, TheNandDumpAcknowledgesEveryPageButTheLastAndTimesItself) {
    ExplorerEngine& e = mounted(3);
    test::TempDir dir;
    view.saveAs = dir.file("nand.hex");
    clock.now = 100;
    e.nandDump();
    EXPECT_EQ(link.takeWritten(), Bytes{0xC0});
    Bytes page(2048, 0x01);
    page.push_back(0x00);  // 2048 modulo 256
    Bytes first{0xC1};
    first.insert(first.end(), page.begin(), page.end());
    EXPECT_EQ(phone(first), Bytes{0xC1});  // the first page follows the acceptance at once
    EXPECT_EQ(link.frameSize, 2049u);
    EXPECT_EQ(phone(page), Bytes{0xC1});
    clock.now = 100 + 3600 + 125;
    Bytes last = page;
    last.push_back(0xC3);
    EXPECT_TRUE(phone(last).empty());
    EXPECT_EQ(link.frameSize, 0u);
    EXPECT_NE(view.log.find("** NAND FULL DUMP Completed! **\r\n\r\n** Dump Time 02:05 **\r\n"
                            "** (Total 6144 bytes) **\r\n"),
              std::string::npos)
        << view.log;
    EXPECT_EQ(test::TempDir::read(dir.file("nand.hex")).size(), 6144u);
    ASSERT_FALSE(view.outcomes.empty());
    EXPECT_TRUE(view.outcomes.back().completed());
}

// A click the window allows while an exchange runs would overwrite its state and lose its
// outcome: the controls are off from the request to the end of the reply.
TEST_F(ExplorerEngineTest, TheControlsStayOffUntilEachExchangeHasItsReplyAndOutcome) {
    ExplorerEngine& e = make();
    e.open();
    EXPECT_FALSE(view.working);  // mounting and the root listing
    phone({0x00});
    phone({0xDA});
    phone(entry(0x01, "r"));
    phone({0xE7});
    EXPECT_TRUE(view.working);

    test::TempDir dir;
    view.saveAs = dir.file("nand.hex");
    e.nandDump();
    EXPECT_FALSE(view.working);  // a second click would start the dump again
    phone({0x55});               // refused: the controls come back
    EXPECT_TRUE(view.working);

    e.fileStatus("/r");
    link.takeWritten();
    Bytes record{0xF1};
    record.resize(1 + 27, 0x22);
    phone(record);
    EXPECT_FALSE(view.working);  // one byte of the record still to come
    phone({0x22});
    EXPECT_TRUE(view.working);
    EXPECT_EQ(e.state(), State::EXPLORER_IDLE);
}

TEST_F(ExplorerEngineTest, AListingChosenAfterAListingErrorEndsTheFailedOneFirst) {
    ExplorerEngine& e = mounted();
    e.listDirectory("/x");
    phone({0xE6});  // the error; the phone's closing E7h has not come yet
    ASSERT_TRUE(view.tree);
    EXPECT_TRUE(view.outcomes.empty());
    e.listDirectory("/");
    ASSERT_EQ(view.outcomes.size(), 1u);
    EXPECT_EQ(view.outcomes[0].kind, OutcomeKind::Failed);
    phone(entry(0x01, "f"));
    phone({0xE7});
    ASSERT_EQ(view.outcomes.size(), 2u);
    EXPECT_TRUE(view.outcomes[1].completed());
}

TEST_F(ExplorerEngineTest, ExitAnswersWhateverComesAndGivesTheLinkBack) {
    ExplorerEngine& e = mounted();
    e.exit();
    EXPECT_EQ(link.takeWritten(), Bytes{0xE4});
    EXPECT_FALSE(e.unmountOutcome());  // nothing has answered yet
    phone({0x42});
    EXPECT_NE(view.log.find("Fail!(0x42)\r\n"), std::string::npos);
    EXPECT_TRUE(view.closed);
    EXPECT_FALSE(e.isOpen());
    EXPECT_EQ(link.handler(), nullptr);
    // The closing exchange has an outcome of its own, typed, for a front end's exit status.
    ASSERT_TRUE(e.unmountOutcome());
    EXPECT_EQ(e.unmountOutcome()->kind, OutcomeKind::Failed);
    EXPECT_EQ(e.unmountOutcome()->cause, FailureCause::PhoneReply);

    ExplorerEngine& confirmed = mounted();
    confirmed.exit();
    link.takeWritten();
    phone({0xE4});
    ASSERT_TRUE(confirmed.unmountOutcome());
    EXPECT_TRUE(confirmed.unmountOutcome()->completed());

    ExplorerEngine& cut = mounted();
    cut.exit();
    cut.onLinkLost("unplugged");
    ASSERT_TRUE(cut.unmountOutcome());
    EXPECT_EQ(cut.unmountOutcome()->kind, OutcomeKind::LinkLost);
    EXPECT_FALSE(cut.isOpen());
}

TEST_F(ExplorerEngineTest, ADeleteListsTheFilesOwnDirectoryAndFailsWhileItStillHoldsTheName) {
    ExplorerEngine& e = mounted();  // the root is the current directory
    const std::string path = "/user/docs/a.txt";
    e.deleteFile(path);
    Bytes request{0xEE, 0x00, static_cast<std::uint8_t>(path.size() + 1)};
    request.insert(request.end(), path.begin(), path.end());
    request.push_back(0x00);
    EXPECT_EQ(link.takeWritten(), request);
    const std::string dir = "/user/docs";
    Bytes refresh{0xE5, static_cast<std::uint8_t>(dir.size())};
    refresh.insert(refresh.end(), dir.begin(), dir.end());
    EXPECT_EQ(phone({0xEE}), refresh);
    EXPECT_EQ(e.currentDirectory(), dir);
    EXPECT_EQ(phone(entry(0x01, "a.txt")), Bytes{0x01});
    phone({0xE7});
    ASSERT_EQ(view.outcomes.size(), 1u);
    EXPECT_EQ(view.outcomes[0].kind, OutcomeKind::Failed);
    EXPECT_EQ(view.outcomes[0].cause, FailureCause::PhoneReply);
    EXPECT_NE(view.log.find("** The file is still in '/user/docs': it was not deleted **\r\n"),
              std::string::npos)
        << view.log;

    // Gone from the listing (a directory of that name is another thing): the delete is done.
    view.outcomes.clear();
    e.deleteFile(path);
    link.takeWritten();
    EXPECT_EQ(phone({0xEE}), refresh);
    EXPECT_EQ(phone(entry(0x02, "a.txt")), Bytes{0x02});
    phone({0xE7});
    ASSERT_EQ(view.outcomes.size(), 1u);
    EXPECT_TRUE(view.outcomes[0].completed());

    // A file at the root is looked for at the root.
    e.deleteFile("top.txt");
    link.takeWritten();
    EXPECT_EQ(phone({0xEE}), (Bytes{0xE5, 0x01, '/'}));
}

TEST_F(ExplorerEngineTest, AListingThatDoesNotEndFailsAtItsBoundWithoutAcknowledging) {
    ExplorerEngine& e = mounted();
    e.setListingBounds(3, 1000);
    e.listDirectory("/x");
    link.takeWritten();
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(phone(entry(0x01, "f" + std::to_string(i))), Bytes{0x01});
        EXPECT_TRUE(phone({0xCB}).empty());
    }
    EXPECT_TRUE(phone(entry(0x01, "f3")).empty());
    EXPECT_EQ(e.state(), State::EXPLORER_IDLE);
    EXPECT_TRUE(view.working);  // EXIT and another choice stay possible
    ASSERT_EQ(view.outcomes.size(), 1u);
    EXPECT_EQ(view.outcomes[0].kind, OutcomeKind::Failed);
    EXPECT_EQ(view.outcomes[0].cause, FailureCause::PhoneReply);
    EXPECT_NE(view.log.find("did not end after 4 entries"), std::string::npos) << view.log;
    EXPECT_EQ(e.listedEntries().size(), 3u);
    // What the phone goes on sending is nobody's.
    EXPECT_TRUE(phone({0xCB}).empty());
    EXPECT_EQ(view.outcomes.size(), 1u);

    // Long names reach the bound on bytes sooner.
    e.setListingBounds(1000, 600);
    view.outcomes.clear();
    e.listDirectory("/y");
    link.takeWritten();
    const std::string name(200, 'n');  // records of 202 bytes
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(phone(entry(0x01, name)), Bytes{0x01});
        phone({0xCB});
    }
    EXPECT_TRUE(phone(entry(0x01, name)).empty());
    ASSERT_EQ(view.outcomes.size(), 1u);
    EXPECT_EQ(view.outcomes[0].kind, OutcomeKind::Failed);
}

TEST_F(ExplorerEngineTest, OnlyBytesAnExchangeTakesCountAsReplies) {
    ExplorerEngine& e = mounted();
    const auto before = link.repliesAccepted();
    phone({0x55, 0x00, 0x24});  // in the idle state
    EXPECT_EQ(link.repliesAccepted(), before);
    e.listDirectory("/x");
    link.takeWritten();
    phone(entry(0x01, "f"));
    EXPECT_GT(link.repliesAccepted(), before);
}

// A folder copy's read-out that was refused before its request must not lend its folder to the
// next read-out a person asks for.
TEST_F(ExplorerEngineTest, AReadOutAsksWhereEvenAfterACopysReadOutWasRefused) {
    ExplorerEngine& e = mounted();
    test::TempDir dir;
    auto folder = OutputFolder::openOrCreate(dir.file("copy"), nullptr);
    ASSERT_TRUE(folder);
    e.readOutInto("/" + std::string(600, 'n'), folder, "n.bin");
    EXPECT_TRUE(link.takeWritten().empty());
    ASSERT_EQ(view.outcomes.size(), 1u);
    EXPECT_EQ(view.outcomes[0].cause, FailureCause::Refused);

    view.saveAs = dir.file("chosen.hex");
    e.readOut("/r");
    link.takeWritten();
    phone({0xE9, 0x00, 0x00, 0x00, 0x01});
    EXPECT_EQ(phone({0x2A, 0x2A}), Bytes{0x01});
    EXPECT_EQ(view.saveRequests.size(), 1u);
    EXPECT_EQ(test::TempDir::read(dir.file("chosen.hex")), Bytes{0x2A});
    EXPECT_FALSE(std::filesystem::exists(dir.file("copy/n.bin")));
}

}  // namespace
}  // namespace zrk
