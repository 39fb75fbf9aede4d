#include "files/OutputFile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

#include "files/OutputFolder.h"
#include "support/TempDir.h"

namespace zrk {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

const Bytes kVictim = {'v', 'i', 'c', 't', 'i', 'm'};
const Bytes kData = {1, 2, 3, 4, 5};

bool isLink(const std::string& path) {
    std::error_code error;
    return fs::is_symlink(fs::symlink_status(path, error));
}

std::vector<std::string> namesIn(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

class OutputFileTest : public ::testing::Test {
  protected:
    test::TempDir dir;
    std::string victim = dir.write("victim", kVictim);
};

TEST_F(OutputFileTest, PlantedLinksBesideOrAtTheTargetAreNeverFollowed) {
    // A link where the old part name was, and the target itself a link: both are left pointing
    // at an untouched victim, and the target becomes a file of its own.
    fs::create_symlink(victim, dir.file("got.bin.part"));
    fs::create_symlink(victim, dir.file("got.bin"));
    OutputFile out;
    std::string why;
    ASSERT_TRUE(out.create(dir.file("got.bin"), OutputFile::Existing::Replace, &why)) << why;
    ASSERT_TRUE(out.write(kData.data(), kData.size()));
    ASSERT_TRUE(out.commit(&why)) << why;
    EXPECT_EQ(test::TempDir::read(victim), kVictim);
    EXPECT_FALSE(isLink(dir.file("got.bin")));
    EXPECT_EQ(test::TempDir::read(dir.file("got.bin")), kData);
    EXPECT_TRUE(isLink(dir.file("got.bin.part")));
}

TEST_F(OutputFileTest, AFailedTransferKeepsItsBytesWithoutTakingATakenName) {
    OutputFile out;
    ASSERT_TRUE(out.create(dir.file("dump.hex")));
    ASSERT_TRUE(out.write(kData.data(), kData.size()));
    EXPECT_EQ(out.keepPartial(), dir.file("dump.hex.part"));
    out.discard();
    EXPECT_EQ(test::TempDir::read(dir.file("dump.hex.part")), kData);
    EXPECT_FALSE(fs::exists(dir.file("dump.hex")));

    // The part name taken (here by a planted link): the bytes stay under the file's own name.
    fs::create_symlink(victim, dir.file("other.hex.part"));
    OutputFile second;
    ASSERT_TRUE(second.create(dir.file("other.hex")));
    ASSERT_TRUE(second.write(kData.data(), kData.size()));
    const std::string kept = second.keepPartial();
    second.discard();
    EXPECT_NE(kept, dir.file("other.hex.part"));
    EXPECT_EQ(test::TempDir::read(kept), kData);
    EXPECT_EQ(test::TempDir::read(victim), kVictim);
}

TEST_F(OutputFileTest, AnUncommittedFileLeavesNothingBehindAndTheTargetAsItWas) {
    dir.write("report.json", kVictim);
    {
        OutputFile out;
        ASSERT_TRUE(out.create(dir.file("report.json")));
        ASSERT_TRUE(out.write(kData.data(), kData.size()));
    }
    EXPECT_EQ(namesIn(dir.file("")), (std::vector<std::string>{"report.json", "victim"}));
    EXPECT_EQ(test::TempDir::read(dir.file("report.json")), kVictim);
}

TEST_F(OutputFileTest, ALongestNameIsWrittenAndKept) {
    const std::string name(254, 'n');
    OutputFile out;
    std::string why;
    ASSERT_TRUE(out.create(dir.file(name), OutputFile::Existing::Replace, &why)) << why;
    ASSERT_TRUE(out.write(kData.data(), kData.size()));
    ASSERT_TRUE(out.commit(&why)) << why;
    EXPECT_EQ(test::TempDir::read(dir.file(name)), kData);

    OutputFile cut;
    ASSERT_TRUE(cut.create(dir.file(name)));
    ASSERT_TRUE(cut.write(kData.data(), 2));
    const std::string kept = cut.keepPartial();  // NAME.part would be too long
    cut.discard();
    EXPECT_EQ(test::TempDir::read(kept), Bytes(kData.begin(), kData.begin() + 2));
    EXPECT_EQ(test::TempDir::read(dir.file(name)), kData);
}

TEST_F(OutputFileTest, ACopyNeverOverwritesAndNeverGivesOneNameTwice) {
    std::string why;
    auto folder = OutputFolder::openOrCreate(dir.file("copy"), &why);
    ASSERT_TRUE(folder) << why;
    // "x.part" first, then "x": two files, whatever the temporary names.
    for (const char* name : {"x.part", "x"}) {
        OutputFile out;
        ASSERT_TRUE(out.create(folder, name, OutputFile::Existing::Refuse, &why)) << why;
        ASSERT_TRUE(out.write(name, std::string(name).size()));
        ASSERT_TRUE(out.commit(&why)) << why;
    }
    EXPECT_EQ(namesIn(dir.file("copy")), (std::vector<std::string>{"x", "x.part"}));
    EXPECT_EQ(test::TempDir::read(dir.file("copy/x.part")), (Bytes{'x', '.', 'p', 'a', 'r', 't'}));

    OutputFile again;
    EXPECT_FALSE(again.create(folder, "x", OutputFile::Existing::Refuse, &why));
    EXPECT_NE(why.find("already became"), std::string::npos) << why;

    // A name that was on disk before the copy is left as it was.
    dir.write("copy/old", kVictim);
    OutputFile old;
    ASSERT_TRUE(old.create(folder, "old", OutputFile::Existing::Refuse, &why));
    ASSERT_TRUE(old.write(kData.data(), kData.size()));
    EXPECT_FALSE(old.commit(&why));
    EXPECT_NE(why.find("already exists"), std::string::npos) << why;
    old.discard();
    EXPECT_EQ(test::TempDir::read(dir.file("copy/old")), kVictim);
    EXPECT_EQ(namesIn(dir.file("copy")), (std::vector<std::string>{"old", "x", "x.part"}));
}

TEST_F(OutputFileTest, FoldersAreMadeAndEnteredButLinksAreNot) {
    std::string why;
    fs::create_directory(dir.file("elsewhere"));
    fs::create_directory_symlink(dir.file("elsewhere"), dir.file("linked"));
    EXPECT_FALSE(OutputFolder::openOrCreate(dir.file("linked"), &why));
    EXPECT_NE(why.find("symbolic link"), std::string::npos) << why;

    auto top = OutputFolder::openOrCreate(dir.file("out/deeper"), &why);
    ASSERT_TRUE(top) << why;
    fs::create_directory_symlink(dir.file("elsewhere"), dir.file("out/deeper/sub"));
    EXPECT_FALSE(top->child("sub", &why));
    EXPECT_NE(why.find("symbolic link"), std::string::npos) << why;
    EXPECT_FALSE(top->enter("sub", &why));

    auto made = top->child("made", &why);
    ASSERT_TRUE(made) << why;
    EXPECT_FALSE(top->child("made", &why)) << "a second name for the same folder";
    OutputFile inside;
    ASSERT_TRUE(inside.create(made, "f", OutputFile::Existing::Refuse, &why));
    ASSERT_TRUE(inside.commit(&why)) << why;
    EXPECT_TRUE(fs::is_regular_file(dir.file("out/deeper/made/f")));
    EXPECT_TRUE(fs::is_empty(dir.file("elsewhere")));

    for (const char* bad : {"", ".", "..", "a/b"})
        EXPECT_FALSE(top->child(bad, &why)) << bad;
}

TEST_F(OutputFileTest, ADeviceOrPipeIsWrittenIntoWhileAFolderIsRefused) {
    // Nothing can be renamed over /dev/null (and must not be, by a program run as root).
    OutputFile device;
    std::string why;
    ASSERT_TRUE(device.create("/dev/null", OutputFile::Existing::Replace, &why)) << why;
    ASSERT_TRUE(device.write(kData.data(), kData.size()));
    ASSERT_TRUE(device.commit(&why)) << why;
    EXPECT_TRUE(fs::is_character_file("/dev/null"));

    OutputFile full;
    ASSERT_TRUE(full.create("/dev/full", OutputFile::Existing::Replace, &why)) << why;
    full.write(kData.data(), kData.size());
    EXPECT_FALSE(full.commit(&why));
    EXPECT_NE(why.find("/dev/full"), std::string::npos) << why;

    fs::create_directory(dir.file("folder"));
    OutputFile folder;
    EXPECT_FALSE(folder.create(dir.file("folder"), OutputFile::Existing::Replace, &why));
    EXPECT_NE(why.find("is a folder"), std::string::npos) << why;
    EXPECT_EQ(namesIn(dir.file("")), (std::vector<std::string>{"folder", "victim"}));
}

}  // namespace
}  // namespace zrk
