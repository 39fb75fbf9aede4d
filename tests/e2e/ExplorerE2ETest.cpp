// The explorer against the phone simulator: a prepared NAND tree, and the simulator's files,
// pages and strict checking as the judges. The explorer takes the main engine's link over and
// gives it back, so each test also looks at the engine afterwards.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "e2e/SimulatedPhone.h"
#include "filesystem/explorer/ExplorerEngine.h"
#include "filesystem/explorer/FolderPull.h"
#include "sim/NandFileSystem.h"
#include "support/RecordingExplorerView.h"
#include "support/TestImages.h"

namespace zrk {
namespace {

using test::Bytes;
using State = explorer::ExplorerState;

class ExplorerE2E : public ::testing::Test {
  protected:
    static constexpr std::uint32_t kPages = 40;

    void SetUp() override {
        ASSERT_TRUE(phone.startSimulator(simulatorOptions()));
        ASSERT_TRUE(phone.bringUp()) << phone.view.log;
        auto& s = *phone.sim;
        ASSERT_TRUE(s.addNandDirectory("/docs"));
        ASSERT_TRUE(s.addNandDirectory("/docs/old"));
        ASSERT_TRUE(s.addNandDirectory("/.cache"));
        ASSERT_TRUE(s.addNandDirectory("/media"));
        ASSERT_TRUE(s.addNandFile("/top.txt", Bytes{'t', 'o', 'p'}));
        ASSERT_TRUE(s.addNandFile("/docs/empty.txt", {}));
        ASSERT_TRUE(s.addNandFile("/docs/one.bin", test::randomImage(8192, 1)));
        ASSERT_TRUE(s.addNandFile("/docs/more.bin", test::randomImage(8193, 2)));
        ASSERT_TRUE(s.addNandFile("/docs/old/a.txt", Bytes{'a'}));
        ASSERT_TRUE(s.addNandFile("/media/big.bin", test::randomImage(3 * 1024 * 1024 + 77, 3)));
    }

    virtual sim::SimOptions simulatorOptions() {
        sim::SimOptions o;
        o.nandPages = kPages;
        return o;
    }

    // Opens the explorer and waits for the mount and its root listing.
    OperationOutcome openExplorer(const std::string& codePage = "UTF-8") {
        std::string error;
        auto cp = CodePage::open(codePage, &error);
        EXPECT_TRUE(cp) << error;
        explorer =
            std::make_unique<ExplorerEngine>(phone.port, view, std::move(*cp), phone.clock, kPages);
        explorer->open();
        return waitOutcome();
    }

    OperationOutcome waitOutcome() {
        EXPECT_TRUE(phone.runUntil([&] { return !view.outcomes.empty(); })) << view.log;
        if (view.outcomes.empty())
            return {};
        OperationOutcome o = view.outcomes.back();
        view.outcomes.clear();
        return o;
    }

    template <typename F>
    OperationOutcome run(F action) {
        view.outcomes.clear();
        view.messages.clear();
        action();
        return waitOutcome();
    }

    void closeExplorer() {
        explorer->exit();
        EXPECT_TRUE(phone.runUntil([&] { return view.closed; })) << view.log;
        EXPECT_EQ(phone.port.handler(), &phone.engine);
    }

    std::vector<std::string> fileNames() const { return view.files; }

    test::SimulatedPhone phone;
    test::RecordingExplorerView view;
    std::unique_ptr<ExplorerEngine> explorer;
};

TEST_F(ExplorerE2E, MountingListsTheRootWithoutDotNamesAndLaterListingsAddNoNodes) {
    const OperationOutcome o = openExplorer();
    ASSERT_TRUE(o.completed()) << view.log;
    EXPECT_EQ(o.operation, Operation::Explorer);
    EXPECT_EQ(phone.port.handler(), explorer.get());
    EXPECT_EQ(fileNames(), std::vector<std::string>{"top.txt\r\n"});
    EXPECT_EQ(view.nodes["/"], (std::vector<std::string>{"docs", "media"}));
    EXPECT_NE(view.log.find("** Mounting QIX system... OK!\r\nSearching the files... "),
              std::string::npos);
    EXPECT_NE(view.log.find("\r\n Read directory OK!\r\n"), std::string::npos);
    EXPECT_TRUE(view.working);
    EXPECT_EQ(explorer->state(), State::EXPLORER_IDLE);

    // A nested listing adds its own subdirectory under its node and refills the list.
    ASSERT_TRUE(run([&] { explorer->listDirectory("/docs"); }).completed()) << view.log;
    EXPECT_EQ(view.nodes["/docs"], std::vector<std::string>{"old"});
    EXPECT_EQ(fileNames().size(), 3u);
    ASSERT_TRUE(run([&] { explorer->listDirectory("/docs/old"); }).completed());
    EXPECT_EQ(fileNames(), std::vector<std::string>{"a.txt\r\n"});

    // The tree is filled once: a second listing of the root and of /docs adds nothing.
    ASSERT_TRUE(run([&] { explorer->listDirectory("/"); }).completed());
    ASSERT_TRUE(run([&] { explorer->listDirectory("/docs"); }).completed());
    EXPECT_EQ(view.nodes["/"].size(), 2u);
    EXPECT_EQ(view.nodes["/docs"].size(), 1u);
    EXPECT_EQ(fileNames().size(), 3u);
    closeExplorer();
    EXPECT_EQ(phone.violations(), 0u) << phone.summary();
}

TEST_F(ExplorerE2E, DeleteRefreshesTheCurrentDirectory) {
    ASSERT_TRUE(openExplorer().completed());
    ASSERT_TRUE(run([&] { explorer->listDirectory("/docs"); }).completed());
    const std::string path = explorer->fullFilePath("one.bin\r\n");
    EXPECT_EQ(path, "/docs/one.bin\r\n");
    const OperationOutcome o = run([&] { explorer->deleteFile(path); });
    ASSERT_TRUE(o.completed()) << view.log;
    EXPECT_EQ(view.questions, std::vector<std::string>{"Sure to Delete?"});
    EXPECT_FALSE(phone.sim->nandFile("/docs/one.bin"));
    EXPECT_EQ(fileNames(), (std::vector<std::string>{"empty.txt\r\n", "more.bin\r\n"}));
    EXPECT_NE(view.log.find("OK!\r\n\r\nSearching the files (in '/docs')... "), std::string::npos);

    // "No" sends nothing; a missing file is a name the phone does not hold.
    view.yes = false;
    EXPECT_EQ(run([&] { explorer->deleteFile("/docs/more.bin"); }).cause, FailureCause::Refused);
    EXPECT_TRUE(phone.sim->nandFile("/docs/more.bin"));
    view.yes = true;
    const OperationOutcome missing = run([&] { explorer->deleteFile("/docs/none"); });
    EXPECT_EQ(missing.cause, FailureCause::NotOnPhone);
    EXPECT_EQ(missing.detail, "no such file on the phone: /docs/none");
    EXPECT_NE(view.log.find("Delete Fail! (0x"), std::string::npos);
    EXPECT_FALSE(view.working);
    closeExplorer();
    EXPECT_EQ(phone.violations(), 0u) << phone.summary();
}

TEST_F(ExplorerE2E, DeleteInANonAsciiDirectoryListsThatDirectoryAgain) {
    ASSERT_TRUE(phone.sim->addNandDirectory("/Grüße"));
    ASSERT_TRUE(phone.sim->addNandFile("/Grüße/Äpfel.txt", Bytes{'j'}));
    ASSERT_TRUE(phone.sim->addNandFile("/Grüße/Birne.txt", Bytes{'n'}));
    ASSERT_TRUE(openExplorer("CP1252").completed());
    const std::string dir =
        "/Gr\xFC\xDF"
        "e";  // in CP1252
    ASSERT_TRUE(run([&] { explorer->listDirectory(dir); }).completed()) << view.log;
    EXPECT_EQ(fileNames().size(), 2u);
    ASSERT_TRUE(
        run([&] { explorer->deleteFile(explorer->fullFilePath("\xC4pfel.txt\r\n")); }).completed())
        << view.log;
    EXPECT_FALSE(phone.sim->nandFile("/Grüße/Äpfel.txt"));
    EXPECT_EQ(fileNames(), std::vector<std::string>{"Birne.txt\r\n"});
    closeExplorer();
    EXPECT_EQ(phone.violations(), 0u) << phone.summary();
}

TEST_F(ExplorerE2E, ReadOutsEqualTheirSources) {
    ASSERT_TRUE(openExplorer().completed());
    const std::vector<std::string> paths = {"/docs/empty.txt", "/docs/one.bin", "/docs/more.bin",
                                            "/media/big.bin"};
    for (const auto& path : paths) {
        const std::string out = phone.dir.file(std::filesystem::path(path).filename().string());
        view.saveAs = out;
        const OperationOutcome o = run([&] { explorer->readOut(path); });
        ASSERT_TRUE(o.completed()) << path << "\n" << view.log;
        EXPECT_EQ(test::TempDir::read(out), *phone.sim->nandFile(path)) << path;
        EXPECT_FALSE(std::filesystem::exists(out + ".part")) << path;
        EXPECT_EQ(view.messages, std::vector<std::string>{"Dump Completed!"});
        EXPECT_EQ(view.progressRange, phone.sim->nandFile(path)->size());
        EXPECT_TRUE(view.working);
    }
    EXPECT_EQ(view.saveRequests.back().defaultExtension, ".hex");
    EXPECT_NE(view.log.find("\r\nSize: 8193 bytes\r\n** Dumping QIX File **\r\n"),
              std::string::npos);

    // Cancelling the save dialog sends no CMD_SEND_BLOCKS and leaves the phone ready.
    view.saveAs.clear();
    EXPECT_EQ(run([&] { explorer->readOut("/top.txt"); }).cause, FailureCause::Refused);
    EXPECT_EQ(view.messages, std::vector<std::string>{"No file selected!"});
    ASSERT_TRUE(run([&] { explorer->listDirectory("/"); }).completed());
    closeExplorer();
    EXPECT_EQ(phone.violations(), 0u) << phone.summary();
}

TEST_F(ExplorerE2E, ARefusedReadOutEndsAtOnce) {
    ASSERT_TRUE(openExplorer().completed());
    view.saveAs = phone.dir.file("x.hex");
    const OperationOutcome o = run([&] { explorer->readOut("/docs/nothing"); });
    EXPECT_EQ(o.cause, FailureCause::NotOnPhone);
    EXPECT_EQ(o.failure.got, std::optional<std::uint8_t>(0x21));
    EXPECT_NE(view.log.find("File size read Fail! (0x"), std::string::npos);
    EXPECT_TRUE(view.working);
    EXPECT_TRUE(view.saveRequests.empty());
    closeExplorer();
}

TEST_F(ExplorerE2E, FileStatusReportsTheRecord) {
    ASSERT_TRUE(openExplorer().completed());
    ASSERT_TRUE(run([&] { explorer->fileStatus("/docs/more.bin"); }).completed()) << view.log;
    ASSERT_TRUE(explorer->lastStatus());
    EXPECT_EQ(explorer->lastStatus()->size, 8193);
    EXPECT_EQ(view.log.rfind("\r\n Reading the file status '/docs/more.bin'... \n"
                             "---------------------------- \n\n*File mode : 0x81ff \r\n",
                             0),
              0u)
        << view.log;
    EXPECT_NE(view.log.find("*File size : 8193 byte\r\n"), std::string::npos);
    EXPECT_TRUE(view.working);

    // A list item's path keeps its line break, raw, in the log as it always did.
    ASSERT_TRUE(run([&] { explorer->fileStatus("/docs/more.bin\r\n"); }).completed()) << view.log;
    EXPECT_EQ(view.log.rfind("\r\n Reading the file status '/docs/more.bin\r\n'... \n", 0), 0u)
        << view.log;

    const OperationOutcome missing = run([&] { explorer->fileStatus("/nothing"); });
    EXPECT_EQ(missing.cause, FailureCause::NotOnPhone);
    EXPECT_NE(view.log.find("Fail! (0x"), std::string::npos);
    EXPECT_TRUE(view.working);
    closeExplorer();
    EXPECT_EQ(phone.violations(), 0u) << phone.summary();
}

TEST_F(ExplorerE2E, NandDumpEqualsThePhonesPages) {
    ASSERT_TRUE(openExplorer().completed());
    const std::string out = phone.dir.file("nand.hex");
    view.saveAs = out;
    phone.clock.now = 1000;
    const OperationOutcome o = run([&] { explorer->nandDump(); });
    ASSERT_TRUE(o.completed()) << view.log;
    EXPECT_EQ(o.bytes, kPages * 2048u);
    Bytes expected;
    const sim::NandFileSystem pages(kPages, simulatorOptions().seed);
    for (std::uint32_t i = 0; i < kPages; ++i) {
        const auto page = pages.page(i);
        expected.insert(expected.end(), page.begin(), page.end());
    }
    EXPECT_EQ(test::TempDir::read(out), expected);
    EXPECT_FALSE(std::filesystem::exists(out + ".part"));
    EXPECT_NE(view.log.find("** NAND FULL DUMP Completed! **\r\n\r\n** Dump Time 00:00 **\r\n"
                            "** (Total 81920 bytes) **\r\n"),
              std::string::npos)
        << view.log;
    EXPECT_EQ(view.progressPos, kPages * 2048u);
    EXPECT_TRUE(view.working);
    closeExplorer();
    EXPECT_EQ(phone.violations(), 0u) << phone.summary();
}

TEST_F(ExplorerE2E, ExitGivesTheLinkBackAndTheMainEngineGoesOn) {
    ASSERT_TRUE(openExplorer().completed());
    const Stage before = phone.engine.stage();
    closeExplorer();
    EXPECT_FALSE(explorer->isOpen());
    EXPECT_EQ(view.log.find("Fail!"), std::string::npos) << view.log;
    EXPECT_EQ(phone.engine.stage(), before);
    // The main engine's own file-system status runs over the same link.
    phone.view.outcomes.clear();
    phone.engine.status(phone.view.userChoices);
    ASSERT_TRUE(phone.runUntil([&] { return !phone.view.outcomes.empty(); })) << phone.view.log;
    EXPECT_TRUE(phone.view.outcomes.back().completed()) << phone.view.log;
    EXPECT_EQ(phone.violations(), 0u) << phone.summary();
}

TEST_F(ExplorerE2E, ExitDuringAReadOutKeepsThePartialFileAside) {
    ASSERT_TRUE(openExplorer().completed());
    const std::string out = phone.dir.file("big.hex");
    view.saveAs = out;
    explorer->readOut("/media/big.bin");
    ASSERT_TRUE(phone.runUntil([&] { return view.progressPos >= 8192; })) << view.log;
    explorer->exit();
    ASSERT_TRUE(phone.runUntil([&] { return view.closed; })) << view.log;
    EXPECT_EQ(phone.port.handler(), &phone.engine);
    EXPECT_FALSE(std::filesystem::exists(out));
    EXPECT_GE(std::filesystem::file_size(out + ".part"), 8192u);
    EXPECT_NE(view.log.find("The blocks received so far are in " + out + ".part"),
              std::string::npos);
    // The window closes with its log; this line is for the one that outlives it.
    EXPECT_EQ(explorer->cutShortNote(),
              "The file read-out was cut short by EXIT; the blocks received so far are in " + out +
                  ".part");
    ASSERT_FALSE(view.outcomes.empty());
    EXPECT_EQ(view.outcomes.back().kind, OutcomeKind::Stopped);
}

TEST_F(ExplorerE2E, ExitDuringAFolderCopyLeavesNoTornFileBehind) {
    ASSERT_TRUE(openExplorer().completed());
    const std::string folder = phone.dir.file("copy");
    FolderPull copy(*explorer, phone.clock);
    copy.start("/media", folder);
    ASSERT_TRUE(phone.runUntil([&] { return view.progressPos >= 8192; })) << view.log;
    explorer->exit();
    ASSERT_TRUE(phone.runUntil([&] { return view.closed; })) << view.log;
    // A torn file has no place in a copy that may become an image: not under its name, nor as
    // a part file, nor under a temporary name.
    EXPECT_TRUE(std::filesystem::is_empty(folder)) << view.log;
    EXPECT_EQ(explorer->cutShortNote(),
              "The file read-out was cut short by EXIT; its partial file was removed");
}

class ExplorerFaultE2E : public ExplorerE2E {
  protected:
    sim::SimOptions simulatorOptions() override {
        sim::SimOptions o = ExplorerE2E::simulatorOptions();
        o.faults.badReadOutBlock = 1;
        o.faults.badNandPage = 3;
        return o;
    }
};

TEST_F(ExplorerFaultE2E, AChecksumFaultInTheSecondBlockKeepsTheFirstInThePartFile) {
    ASSERT_TRUE(openExplorer().completed());
    // An earlier file of the chosen name survives the failed read-out.
    const std::string out = phone.dir.write("more.hex", Bytes{'o', 'l', 'd'});
    view.saveAs = out;
    const OperationOutcome o = run([&] { explorer->readOut("/docs/more.bin"); });
    EXPECT_EQ(o.kind, OutcomeKind::Failed);
    EXPECT_EQ(o.cause, FailureCause::PhoneReply);
    EXPECT_EQ(view.messages, std::vector<std::string>{"Checksum Mismatched!"});
    EXPECT_NE(view.log.find("Checksum mismatched!\r\n"), std::string::npos);
    EXPECT_EQ(test::TempDir::read(out), (Bytes{'o', 'l', 'd'}));
    const Bytes source = *phone.sim->nandFile("/docs/more.bin");
    EXPECT_EQ(test::TempDir::read(out + ".part"), Bytes(source.begin(), source.begin() + 8192));
    EXPECT_TRUE(view.working);
    EXPECT_EQ(explorer->state(), State::EXPLORER_IDLE);
}

TEST_F(ExplorerFaultE2E, APageChecksumFaultEndsTheDump) {
    ASSERT_TRUE(openExplorer().completed());
    const std::string out = phone.dir.file("nand.hex");
    view.saveAs = out;
    const OperationOutcome o = run([&] { explorer->nandDump(); });
    EXPECT_EQ(o.cause, FailureCause::PhoneReply);
    EXPECT_EQ(view.messages, std::vector<std::string>{"Dump Checksum Mismatched!"});
    EXPECT_EQ(std::filesystem::file_size(out + ".part"), 3u * 2048);
    EXPECT_FALSE(std::filesystem::exists(out));
    EXPECT_FALSE(view.working);
}

class ExplorerListFaultE2E : public ExplorerE2E {
  protected:
    sim::SimOptions simulatorOptions() override {
        sim::SimOptions o = ExplorerE2E::simulatorOptions();
        o.faults.listErrorBeforeFirst = true;
        return o;
    }
};

TEST_F(ExplorerListFaultE2E, AnErrorBeforeTheFirstEntryFailsTheListing) {
    const OperationOutcome o = openExplorer();
    EXPECT_EQ(o.cause, FailureCause::PhoneReply);
    EXPECT_NE(view.log.find("ERROR in reading File name!\r\nFail!(0x12)\r\nFail!(0xE7)\r\n"),
              std::string::npos)
        << view.log;
    EXPECT_EQ(explorer->state(), State::LIST_FAILED);
    EXPECT_TRUE(view.tree);
    closeExplorer();
    EXPECT_EQ(phone.violations(), 0u) << phone.summary();
}

class ExplorerSilentPhoneE2E : public ExplorerE2E {
  protected:
    sim::SimOptions simulatorOptions() override {
        sim::SimOptions o = ExplorerE2E::simulatorOptions();
        o.faults.silentEmptyReadOut = true;
        return o;
    }
};

TEST_F(ExplorerSilentPhoneE2E, AnEmptyFileThePhoneSendsNothingForEndsOnTheQuietTimer) {
    ASSERT_TRUE(openExplorer().completed());
    const std::string out = phone.dir.file("empty.hex");
    view.saveAs = out;
    explorer->readOut("/docs/empty.txt");
    ASSERT_TRUE(phone.runUntil([&] { return view.quietTimer != 0; })) << view.log;
    EXPECT_EQ(view.quietTimer, 2000);
    EXPECT_TRUE(view.outcomes.empty());
    explorer->onQuietTimer();  // as the front end's timer would, 2 s later
    ASSERT_FALSE(view.outcomes.empty());
    EXPECT_TRUE(view.outcomes.back().completed());
    EXPECT_TRUE(std::filesystem::exists(out));
    EXPECT_EQ(std::filesystem::file_size(out), 0u);
    EXPECT_FALSE(std::filesystem::exists(out + ".part"));
    EXPECT_EQ(view.messages, std::vector<std::string>{"Dump Completed!"});
    view.outcomes.clear();
    ASSERT_TRUE(run([&] { explorer->listDirectory("/docs"); }).completed()) << view.log;
    closeExplorer();
    EXPECT_EQ(phone.violations(), 0u) << phone.summary();
}

class ExplorerRefusedDumpE2E : public ExplorerE2E {
  protected:
    sim::SimOptions simulatorOptions() override {
        sim::SimOptions o = ExplorerE2E::simulatorOptions();
        o.faults.refuseNandDump = true;
        return o;
    }
};

TEST_F(ExplorerRefusedDumpE2E, ARefusedDumpRemovesItsFile) {
    ASSERT_TRUE(openExplorer().completed());
    const std::string out = phone.dir.file("nand.hex");
    view.saveAs = out;
    const OperationOutcome o = run([&] { explorer->nandDump(); });
    EXPECT_EQ(o.cause, FailureCause::PhoneReply);
    EXPECT_NE(view.log.find(" DUMP ERROR Fail!(0x"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(out + ".part"));
    EXPECT_FALSE(std::filesystem::exists(out));
    closeExplorer();
}

}  // namespace
}  // namespace zrk
