// The file-system download, format and status against the phone simulator: its NAND tree, its
// clock and its version texts are the judges.
#include <gtest/gtest.h>
#include <unistd.h>

#include "e2e/SimulatedPhone.h"
#include "engine/Checksums.h"
#include "filesystem/CodePage.h"
#include "filesystem/FileSystemPackets.h"
#include "support/TestImages.h"

namespace zrk {
namespace {

using test::Bytes;

struct TreeFile {
    std::string path;  // UTF-8
    Bytes data;
};

struct Tree {
    std::vector<std::string> dirs;  // UTF-8, parents first
    std::vector<TreeFile> files;
    std::string version = "V2.10";
    std::string release = "R7";
    bool withRelease = true;
};

class FileSystemE2E : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(phone.startSimulator(simulatorOptions()));
        ASSERT_TRUE(phone.bringUp()) << phone.view.log;
        phone.clock.local = {};
        phone.clock.local.tm_year = 2004 - 1900;
        phone.clock.local.tm_mon = 9;
        phone.clock.local.tm_mday = 25;
        phone.clock.local.tm_hour = 13;
        phone.clock.local.tm_min = 45;
        phone.clock.local.tm_sec = 30;
    }
    virtual sim::SimOptions simulatorOptions() { return {}; }

    static std::string padded(const std::string& text, std::size_t width) {
        return text + std::string(width - text.size(), ' ');
    }

    // The image and its configuration in the given code page, as a person's tool writes them.
    void writeImage(const Tree& tree, const std::string& codePage = "CP1252") {
        std::string error;
        auto cp = CodePage::open(codePage, &error);
        ASSERT_TRUE(cp) << error;
        std::string cfg = "QIXVERSION : " + padded(tree.version, 16) + "\r\n";
        if (tree.withRelease)
            cfg += "QIXRELEASEVERSION : " + padded(tree.release, 12) + "\r\n";
        for (const auto& d : tree.dirs)
            cfg += "DIR_NAME : " + cp->fromUtf8(d).value() + "\r\n";
        Bytes image;
        for (const auto& f : tree.files) {
            cfg += "FILE_NAME : " + cp->fromUtf8(f.path).value() + "\r\n";
            cfg += "FILE_SIZE : " + std::to_string(f.data.size()) + "\r\n";
            image.insert(image.end(), f.data.begin(), f.data.end());
        }
        auto& c = phone.view.userChoices;
        c.qixPath = phone.dir.write("fs.qix", image);
        c.cfgPath = phone.dir.write("fs.cfg", Bytes(cfg.begin(), cfg.end()));
        c.codePage = codePage;
        c.downloadMode = DownloadMode::ModeQix;
    }

    // One operation from its button to its outcome.
    OperationOutcome operate(void (ProtocolEngine::*button)(const UserChoices&)) {
        phone.view.outcomes.clear();
        phone.view.messages.clear();
        (phone.engine.*button)(phone.view.userChoices);
        EXPECT_TRUE(phone.runUntil([&] { return !phone.view.outcomes.empty(); })) << phone.view.log;
        return phone.view.outcomes.empty() ? OperationOutcome{} : phone.view.outcomes.back();
    }

    test::SimulatedPhone phone;
};

TEST_F(FileSystemE2E, ATreeLandsInNandWithItsClockAndVersions) {
    Tree tree;
    tree.dirs = {"/docs", "/docs/old", "/Grüße", "/media"};
    tree.files = {{"/docs/empty.txt", {}},
                  {"/docs/old/block.bin", test::randomImage(8192, 3)},
                  {"/media/ten.bin", test::randomImage(10000, 4)},
                  {"/Grüße/Äpfel.txt", Bytes{'j', 'a'}},
                  {"/top.bin", test::randomImage(20000, 5)}};
    writeImage(tree);
    const OperationOutcome o = operate(&ProtocolEngine::download);
    EXPECT_TRUE(o.completed()) << phone.view.log;
    EXPECT_EQ(o.operation, Operation::FileSystem);
    EXPECT_EQ(o.bytes, 8192u + 10000 + 2 + 20000);
    EXPECT_EQ(phone.view.messages, std::vector<std::string>{"Download completed!"});
    for (const auto& d : tree.dirs)
        EXPECT_TRUE(phone.sim->nandDirectoryExists(d)) << d;
    for (const auto& f : tree.files)
        EXPECT_EQ(phone.sim->nandFile(f.path), f.data) << f.path;
    const auto counters = phone.sim->counters();
    EXPECT_EQ(counters.clock, "2004-10-25 13:45:30");
    EXPECT_EQ(counters.version, padded("V2.10", 16));
    EXPECT_EQ(counters.releaseVersion, padded("R7", 12));
    EXPECT_NE(phone.view.log.find("** (Total 38194 bytes) **\r\n"), std::string::npos);
    EXPECT_EQ(phone.violations(), 0u) << phone.summary();
}

TEST_F(FileSystemE2E, NamesInAnotherCodePageArriveAsUtf8) {
    Tree tree;
    tree.dirs = {"/한글"};
    tree.files = {{"/한글/메모.txt", Bytes{1, 2, 3}}};
    tree.withRelease = false;
    writeImage(tree, "CP949");
    EXPECT_TRUE(operate(&ProtocolEngine::download).completed()) << phone.view.log;
    EXPECT_EQ(phone.sim->nandFile("/한글/메모.txt"), (Bytes{1, 2, 3}));
    EXPECT_EQ(phone.sim->counters().releaseVersion, "");
    EXPECT_EQ(phone.violations(), 0u) << phone.summary();
}

TEST_F(FileSystemE2E, NamesThatDoNotConvertAreRefusedBeforeTheStartUntilTheOfferIsTaken) {
    Tree tree;
    tree.dirs = {"/docs"};
    tree.files = {{"/a.txt", Bytes{'a'}}, {"/docs/Grüße.txt", Bytes{'g', 'g'}}};
    writeImage(tree);  // in CP1252
    auto& c = phone.view.userChoices;
    c.codePage = "UTF-8";
    c.codePageControl = "--codepage NAME";
    phone.view.yesNoAnswer = false;
    phone.view.events.clear();
    OperationOutcome o = operate(&ProtocolEngine::download);
    EXPECT_EQ(o.kind, OutcomeKind::Failed);
    EXPECT_EQ(o.cause, FailureCause::Refused);
    EXPECT_TRUE(phone.view.events.empty());  // no operation began: no start command
    EXPECT_FALSE(phone.sim->nandDirectoryExists("/docs"));
    EXPECT_EQ(phone.view.questions,
              std::vector<std::string>{"The names in fs.cfg are not valid in UTF-8; they are "
                                       "valid in CP1252. Use CP1252?"});
    EXPECT_NE(phone.view.log.find("File name is too long\"/docs/Gr\\xFC\\xDFe.txt\"... \r\n** "
                                  "The file name \"/docs/Gr\\xFC\\xDFe.txt\" in fs.cfg is not "
                                  "valid in the code page UTF-8; nothing was sent. All its names "
                                  "are valid in CP1252: choose it with --codepage CP1252.\r\n"),
              std::string::npos)
        << phone.view.log;

    // verify --qix refuses it the same way, and BIN + QIX before the firmware.
    o = operate(&ProtocolEngine::verify);
    EXPECT_EQ(o.operation, Operation::FileSystemVerify);
    EXPECT_EQ(o.cause, FailureCause::Refused);
    c.downloadMode = DownloadMode::ModeBinAndQix;
    c.binPath = phone.dir.write("fw.bin", test::randomImage(1000, 3));
    o = operate(&ProtocolEngine::download);
    EXPECT_EQ(o.operation, Operation::FirmwareAndFileSystem);
    EXPECT_EQ(o.cause, FailureCause::Refused);
    EXPECT_TRUE(phone.view.events.empty());

    // Taken, the offer holds from then on and the download goes through.
    c.downloadMode = DownloadMode::ModeQix;
    phone.view.yesNoAnswer = true;
    EXPECT_TRUE(operate(&ProtocolEngine::download).completed()) << phone.view.log;
    EXPECT_EQ(c.codePage, "CP1252");
    EXPECT_EQ(phone.sim->nandFile("/docs/Grüße.txt"), (Bytes{'g', 'g'}));
    EXPECT_EQ(phone.violations(), 0u) << phone.summary();
}

// The names were fine when DOWNLOAD was pressed; the .cfg was rewritten before the phone
// answered the start command. Still nothing reaches the NAND.
TEST_F(FileSystemE2E, ACfgChangedAfterThePressIsCheckedAgainBeforeTheMount) {
    Tree tree;
    tree.dirs = {"/docs"};
    tree.files = {{"/a.txt", Bytes{'a'}}};
    writeImage(tree, "UTF-8");
    phone.view.outcomes.clear();
    phone.engine.download(phone.view.userChoices);
    const std::string foreign =
        "QIXVERSION : V1              \r\nDIR_NAME : /docs\r\n"
        "FILE_NAME : /\xE4.txt\r\nFILE_SIZE : 1\r\n";
    phone.dir.write("fs.cfg", Bytes(foreign.begin(), foreign.end()));
    ASSERT_TRUE(phone.runUntil([&] { return !phone.view.outcomes.empty(); })) << phone.view.log;
    EXPECT_EQ(phone.view.outcomes.back().cause, FailureCause::Refused);
    EXPECT_FALSE(phone.sim->nandDirectoryExists("/docs"));
    EXPECT_NE(phone.view.log.find("File name is too long\"/\\xE4.txt\"... \r\n** The file name"),
              std::string::npos)
        << phone.view.log;
    EXPECT_NE(phone.view.log.find("nothing was written"), std::string::npos);
    phone.engine.stop();
    EXPECT_EQ(phone.violations(), 0u) << phone.summary();
}

TEST_F(FileSystemE2E, ConfigurationsWithoutDirectoriesOrWithoutFiles) {
    Tree filesOnly;
    filesOnly.files = {{"/a.txt", Bytes{'a'}}};
    writeImage(filesOnly);
    EXPECT_TRUE(operate(&ProtocolEngine::download).completed()) << phone.view.log;
    EXPECT_EQ(phone.sim->nandFile("/a.txt"), Bytes{'a'});

    Tree dirsOnly;
    dirsOnly.dirs = {"/only"};
    writeImage(dirsOnly);
    EXPECT_TRUE(operate(&ProtocolEngine::download).completed()) << phone.view.log;
    EXPECT_TRUE(phone.sim->nandDirectoryExists("/only"));
    EXPECT_NE(phone.view.log.find("** (Total 0 bytes) **"), std::string::npos);
    EXPECT_EQ(phone.violations(), 0u) << phone.summary();
}

TEST_F(FileSystemE2E, BadConfigurationsSendNothingAfterTheStart) {
    Tree tree;
    tree.files = {{"/a.txt", Bytes{'a', 'b'}}};
    writeImage(tree);
    // One byte more in the image than the configuration says.
    phone.dir.write("fs.qix", Bytes{'a', 'b', 'c'});
    OperationOutcome o = operate(&ProtocolEngine::download);
    EXPECT_FALSE(o.completed());
    EXPECT_NE(phone.view.log.find("QixFilesize(3):CfgFilesize(2)"), std::string::npos);
    EXPECT_EQ(phone.view.messages, std::vector<std::string>{"QIX file size mismatched!!!"});
    EXPECT_FALSE(phone.sim->nandFile("/a.txt"));
    phone.engine.stop();
    ASSERT_TRUE(phone.bringUp());

    // Directory names of 61 characters pass, 62 do not; the long one is found before the first
    // is created, so the phone is not left half-written.
    Tree names;
    names.dirs = {"/" + std::string(60, 'd'), "/" + std::string(61, 'e')};
    writeImage(names);
    o = operate(&ProtocolEngine::download);
    EXPECT_FALSE(o.completed());
    EXPECT_EQ(o.cause, FailureCause::Refused);
    EXPECT_FALSE(phone.sim->nandDirectoryExists("/" + std::string(60, 'd')));
    EXPECT_NE(phone.view.log.find("Directory name is too long"), std::string::npos);
    names.dirs = {"/" + std::string(60, 'd')};
    writeImage(names);
    EXPECT_TRUE(operate(&ProtocolEngine::download).completed()) << phone.view.log;
    EXPECT_EQ(phone.violations(), 0u) << phone.summary();
}

TEST_F(FileSystemE2E, AConfigurationOverItsLimitIsRefusedUnread) {
    Tree tree;
    tree.files = {{"/a.txt", Bytes{'a'}}};
    writeImage(tree);
    const std::string cfg = phone.view.userChoices.cfgPath;
    ASSERT_EQ(::truncate(cfg.c_str(), off_t{3} << 30), 0);  // sparse: nothing to read
    const OperationOutcome o = operate(&ProtocolEngine::download);
    EXPECT_FALSE(o.completed());
    EXPECT_EQ(o.cause, FailureCause::Refused);
    const std::string why =
        cfg + " is too large: a .cfg file may hold at most 16777216 bytes (16 MB)";
    EXPECT_EQ(o.detail, why);
    EXPECT_EQ(phone.view.messages, std::vector<std::string>{why});
    EXPECT_FALSE(phone.sim->nandFile("/a.txt"));
    EXPECT_EQ(phone.violations(), 0u) << phone.summary();
}

TEST_F(FileSystemE2E, AnImageRewrittenDuringTheTransferIsUnmountedAndEndsFailed) {
    Tree tree;
    tree.dirs = {"/d"};
    tree.files = {{"/d/big.bin", test::randomImage(300000, 31)}, {"/d/small.txt", Bytes{'o', 'k'}}};
    writeImage(tree);
    phone.view.userChoices.powerOnAfterDownload = true;
    phone.view.outcomes.clear();
    phone.view.messages.clear();
    phone.engine.download(phone.view.userChoices);
    // The loop stands still meanwhile: the rewrite falls after the first two blocks.
    ASSERT_TRUE(phone.runUntil([&] { return phone.view.progressPos >= 16384; }));
    Bytes other = test::randomImage(300002, 32);
    phone.dir.write("fs.qix", other);  // in place, the same size
    ASSERT_TRUE(phone.runUntil([&] { return !phone.view.outcomes.empty(); })) << phone.view.log;

    const OperationOutcome o = phone.view.outcomes.back();
    EXPECT_EQ(o.kind, OutcomeKind::Failed);
    EXPECT_EQ(o.cause, FailureCause::File);
    EXPECT_NE(phone.view.log.find(phone.view.userChoices.qixPath +
                                  ": the image changed while it was being sent"),
              std::string::npos)
        << phone.view.log;
    EXPECT_EQ(phone.view.log.find("Downloading Time"), std::string::npos);
    EXPECT_TRUE(phone.view.messages.empty());
    // Unmounted, so the phone is in order; not switched on with a file system it was not given.
    EXPECT_NE(phone.view.log.find("Unmounting QIX... OK!"), std::string::npos);
    EXPECT_NE(phone.sim->stateName(), "firmware running after power-on");
    EXPECT_EQ(phone.sim->nandFile("/d/small.txt"), (Bytes{other.end() - 2, other.end()}));
    // The phone, too, finds that the CRC it was given does not cover the files it got.
    EXPECT_EQ(phone.violations(), 1u) << phone.summary();
    EXPECT_NE(phone.summary().find("announced CRC"), std::string::npos) << phone.summary();
}

TEST_F(FileSystemE2E, FirmwareThenFileSystemInOneOperation) {
    Tree tree;
    tree.files = {{"/after.bin", test::randomImage(3000, 8)}};
    writeImage(tree);
    const Bytes firmware = test::randomImage(70000, 9);
    phone.view.userChoices.binPath = phone.dir.write("fw.bin", firmware);
    phone.view.userChoices.downloadMode = DownloadMode::ModeBinAndQix;
    const OperationOutcome o = operate(&ProtocolEngine::download);
    EXPECT_TRUE(o.completed()) << phone.view.log;
    EXPECT_EQ(o.operation, Operation::FirmwareAndFileSystem);
    EXPECT_EQ(phone.nor(0, 70000), firmware);
    EXPECT_EQ(phone.sim->nandFile("/after.bin"), tree.files[0].data);
    EXPECT_NE(phone.view.log.find("** (Total 73000 bytes) **"), std::string::npos);
    EXPECT_EQ(phone.view.messages, std::vector<std::string>{"Download completed!"});
    EXPECT_EQ(phone.violations(), 0u) << phone.summary();
}

TEST_F(FileSystemE2E, FormatAskedNoSendsNothingYesFormatsAndStatusPrintsTheRecord) {
    phone.view.yesNoAnswer = false;
    OperationOutcome o = operate(&ProtocolEngine::format);
    EXPECT_EQ(o.cause, FailureCause::Refused);
    EXPECT_EQ(phone.view.questions, std::vector<std::string>{"Sure to FORMAT?"});

    phone.sim->addNandFile("/old.txt", Bytes{'x'});
    phone.view.yesNoAnswer = true;
    o = operate(&ProtocolEngine::format);
    EXPECT_TRUE(o.completed()) << phone.view.log;
    EXPECT_EQ(phone.view.messages, std::vector<std::string>{"NAND-Formatting Completed!"});
    EXPECT_FALSE(phone.sim->nandFile("/old.txt"));

    o = operate(&ProtocolEngine::status);
    EXPECT_TRUE(o.completed()) << phone.view.log;
    EXPECT_NE(phone.view.log.find("OK!\r\n\r\n< Result >\r\n1. FileSystem Type( f_type ) : "),
              std::string::npos);
    EXPECT_NE(phone.view.log.find("11. maximum length of filenames( f_namelen ) : "),
              std::string::npos);
    EXPECT_EQ(phone.violations(), 0u) << phone.summary();
}

class FileSystemFaultsE2E : public FileSystemE2E {
    sim::SimOptions simulatorOptions() override {
        sim::SimOptions options;
        options.faults.formatError = true;
        options.faults.fsStatusError = true;
        return options;
    }
};

TEST_F(FileSystemFaultsE2E, FailedFormatAndStatusReportTheirCodes) {
    OperationOutcome o = operate(&ProtocolEngine::format);
    EXPECT_EQ(o.kind, OutcomeKind::Failed);
    EXPECT_EQ(o.cause, FailureCause::PhoneReply);
    EXPECT_NE(phone.view.log.find("\n Format Error!\n Funccode(0x"), std::string::npos);
    o = operate(&ProtocolEngine::status);
    EXPECT_EQ(o.kind, OutcomeKind::Failed);
    EXPECT_NE(phone.view.log.find("\n Init,mount Error!\n Funccode(0x"), std::string::npos);
    EXPECT_EQ(phone.violations(), 0u) << phone.summary();
}

TEST(FileSystemPackets, TheTimePacketCarriesTheLocalTimeLittleEndian) {
    std::tm t{};
    t.tm_year = 2004 - 1900;
    t.tm_mon = 9;
    t.tm_mday = 25;
    t.tm_hour = 13;
    t.tm_min = 45;
    t.tm_sec = 30;
    const auto packet = fs::timePacket(t);
    const Bytes expected{0xC4, 0, 0,    0, 0x1E, 0, 0,    0, 0x2D, 0, 0,    0,    0x0D, 0,
                         0,    0, 0x19, 0, 0,    0, 0x0A, 0, 0,    0, 0xD4, 0x07, 0,    0};
    EXPECT_EQ(Bytes(packet.begin(), packet.end()), expected);
    EXPECT_EQ(sum8(std::span<const std::uint8_t>(packet).subspan(1)), 0x56);
}

}  // namespace
}  // namespace zrk
