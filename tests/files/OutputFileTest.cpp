#include "files/OutputFile.h"

#include <gtest/gtest.h>
#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <filesystem>
#include <string>
#include <vector>

#include "files/OutputFolder.h"
#include "files/OutputTarget.h"
#include "support/PlantedLink.h"
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
    ZRK_PLANT_LINK_OR_SKIP(victim, dir.file("got.bin.part"));
    ZRK_PLANT_LINK_OR_SKIP(victim, dir.file("got.bin"));
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
    ZRK_PLANT_LINK_OR_SKIP(victim, dir.file("other.hex.part"));
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
    auto top = OutputFolder::openOrCreate(dir.file("out/deeper"), &why);
    ASSERT_TRUE(top) << why;
    auto made = top->child("made", &why);
    ASSERT_TRUE(made) << why;
    EXPECT_FALSE(top->child("made", &why)) << "a second name for the same folder";
    OutputFile inside;
    ASSERT_TRUE(inside.create(made, "f", OutputFile::Existing::Refuse, &why));
    ASSERT_TRUE(inside.commit(&why)) << why;
    EXPECT_TRUE(fs::is_regular_file(dir.file("out/deeper/made/f")));
    for (const char* bad : {"", ".", "..", "a/b"})
        EXPECT_FALSE(top->child(bad, &why)) << bad;

    // Links, last: some systems will not let the test plant them.
    ZRK_PLANT_LINK_OR_SKIP(dir.file("elsewhere"), dir.file("linked"), true);
    EXPECT_FALSE(OutputFolder::openOrCreate(dir.file("linked"), &why));
    EXPECT_NE(why.find("symbolic link"), std::string::npos) << why;
    ZRK_PLANT_LINK_OR_SKIP(dir.file("elsewhere"), dir.file("out/deeper/sub"), true);
    EXPECT_FALSE(top->child("sub", &why));
    EXPECT_NE(why.find("symbolic link"), std::string::npos) << why;
    EXPECT_FALSE(top->enter("sub", &why));
    auto again = top->enter("made", &why);
    ASSERT_TRUE(again) << why;
    EXPECT_TRUE(fs::is_empty(dir.file("elsewhere")));
}

TEST_F(OutputFileTest, ADeviceOrPipeIsWrittenIntoWhileAFolderIsRefused) {
    // Nothing can be renamed over /dev/null (and must not be, by a program run as root).
#ifdef _WIN32
    const std::string null = "NUL";
#else
    const std::string null = "/dev/null";
#endif
    OutputFile device;
    std::string why;
    ASSERT_TRUE(device.create(null, OutputFile::Existing::Replace, &why)) << why;
    ASSERT_TRUE(device.write(kData.data(), kData.size()));
    ASSERT_TRUE(device.commit(&why)) << why;
#ifndef _WIN32
    EXPECT_TRUE(fs::is_character_file("/dev/null"));

    OutputFile full;
    ASSERT_TRUE(full.create("/dev/full", OutputFile::Existing::Replace, &why)) << why;
    full.write(kData.data(), kData.size());
    EXPECT_FALSE(full.commit(&why));
    EXPECT_NE(why.find("/dev/full"), std::string::npos) << why;
#endif

    fs::create_directory(dir.file("folder"));
    OutputFile folder;
    EXPECT_FALSE(folder.create(dir.file("folder"), OutputFile::Existing::Replace, &why));
    EXPECT_NE(why.find("is a folder"), std::string::npos) << why;
    EXPECT_EQ(namesIn(dir.file("")), (std::vector<std::string>{"folder", "victim"}));
}

TEST_F(OutputFileTest, AFifoOrDeviceFoundAtTheNameIsRefusedWithoutWaitingOrWriting) {
#ifdef _WIN32
    GTEST_SKIP() << "Windows has no FIFOs or device files in folders (see ReservedDeviceNames)";
#else
    // A reader on the FIFO, as its maker would hold one: nothing may reach it.
    ASSERT_EQ(::mkfifo(dir.file("fifo").c_str(), 0666), 0);
    const int reader = ::open(dir.file("fifo").c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    std::string why;
    OutputFile intoFifo;
    ASSERT_FALSE(intoFifo.create(dir.file("fifo"), OutputFile::Existing::Replace, &why));
    EXPECT_NE(why.find("fifo is a FIFO; outputs are written only to regular files or to devices "
                       "under /dev"),
              std::string::npos)
        << why;
    char byte = 0;
    EXPECT_LE(::read(reader, &byte, 1), 0);
    ::close(reader);

    // Without a reader an open would wait for ever; through links the same.
    ASSERT_EQ(::mkfifo(dir.file("lonely").c_str(), 0666), 0);
    fs::create_symlink(dir.file("lonely"), dir.file("to-fifo"));
    fs::create_symlink("/dev/null", dir.file("to-device"));
    for (const char* name : {"lonely", "to-fifo", "to-device"}) {
        OutputFile out;
        EXPECT_FALSE(out.create(dir.file(name), OutputFile::Existing::Replace, &why)) << name;
        EXPECT_NE(why.find("/dev"), std::string::npos) << why;
        EXPECT_EQ(outputTargetRefusal(dir.file(name)), why);
    }
    // /dev/shm is anybody's folder, not one of the system's device folders.
    const std::string shared = "/dev/shm/zrk-output-test-" + std::to_string(::getpid());
    std::error_code error;
    fs::create_symlink("/dev/null", shared, error);
    if (!error) {
        EXPECT_NE(outputTargetRefusal(shared), "");
        fs::remove(shared);
    }
    EXPECT_TRUE(fs::is_fifo(dir.file("fifo")));
    EXPECT_EQ(namesIn(dir.file("")),
              (std::vector<std::string>{"fifo", "lonely", "to-device", "to-fifo", "victim"}));
#endif
}

TEST_F(OutputFileTest, DevicesAndDescriptorsTheUserNamesAreWrittenWhereTheyStand) {
#ifdef _WIN32
    GTEST_SKIP() << "Windows names no descriptors by path (/dev/fd/N, /proc/self/fd/N)";
#else
    EXPECT_EQ(outputTargetRefusal("/dev/null"), "");
    EXPECT_EQ(judgeOutputTarget("/dev/stdout").kind, OutputTarget::Kind::Descriptor);
    EXPECT_EQ(judgeOutputTarget("/dev/stderr").descriptor, 2);

    // A pipe handed over as a descriptor, as a shell's "--out /dev/stdout | ..." does.
    int pipeEnds[2];
    ASSERT_EQ(::pipe(pipeEnds), 0);
    std::string why;
    {
        OutputFile out;
        ASSERT_TRUE(out.create("/dev/fd/" + std::to_string(pipeEnds[1]),
                               OutputFile::Existing::Replace, &why))
            << why;
        ASSERT_TRUE(out.write(kData.data(), kData.size()));
        ASSERT_TRUE(out.commit(&why)) << why;
    }
    ::close(pipeEnds[1]);
    Bytes got(16);
    ASSERT_EQ(::read(pipeEnds[0], got.data(), got.size()), static_cast<ssize_t>(kData.size()));
    got.resize(kData.size());
    EXPECT_EQ(got, kData);
    ::close(pipeEnds[0]);

    // A file opened for appending ("> /dev/stdout" after ">>"): appended to, not overwritten.
    const int appending = ::open(victim.c_str(), O_WRONLY | O_APPEND);
    ASSERT_GE(appending, 0);
    {
        OutputFile out;
        ASSERT_TRUE(out.create("/proc/self/fd/" + std::to_string(appending),
                               OutputFile::Existing::Replace, &why))
            << why;
        ASSERT_TRUE(out.write(kData.data(), kData.size()));
        ASSERT_TRUE(out.commit(&why)) << why;
    }
    ::close(appending);
    Bytes expected = kVictim;
    expected.insert(expected.end(), kData.begin(), kData.end());
    EXPECT_EQ(test::TempDir::read(victim), expected);
#endif
}

// Someone with write access to the folder swaps the hidden file mid-write: what would take the
// target's name is no longer the file that was written.
TEST_F(OutputFileTest, OnlyTheFileTheWriterMadeTakesTheTargetsName) {
    // Windows moves a file that is open only aside, never away from under its writer: there
    // the writer's file is moved aside and another put in its place.
#ifdef _WIN32
    int moved = 0;
#endif
    const auto swapForLink = [&](const OutputFile& out) {
        const std::string temp = out.temporaryPath();
#ifdef _WIN32
        fs::rename(temp, dir.file("moved-" + std::to_string(++moved)));
        if (!test::plantLink(victim, temp))
            dir.write(fs::path(temp).filename().string(), {'f'});
#else
        fs::remove(temp);
        fs::create_symlink(victim, temp);
#endif
    };
    std::string why;
    OutputFile linked;
    ASSERT_TRUE(linked.create(dir.file("dump.bin"), OutputFile::Existing::Replace, &why)) << why;
    ASSERT_TRUE(linked.write(kData.data(), kData.size()));
    swapForLink(linked);
    EXPECT_FALSE(linked.commit(&why));
    EXPECT_NE(why.find("dump.bin"), std::string::npos) << why;
    EXPECT_NE(why.find("replaced"), std::string::npos) << why;
    linked.discard();
    EXPECT_FALSE(fs::exists(fs::symlink_status(dir.file("dump.bin"))));

    // Another regular file renamed over it, with the target already holding a file.
    dir.write("report.json", kVictim);
    OutputFile other;
    ASSERT_TRUE(other.create(dir.file("report.json"), OutputFile::Existing::Replace, &why));
    ASSERT_TRUE(other.write(kData.data(), kData.size()));
#ifdef _WIN32
    swapForLink(other);
#else
    dir.write("forged", {'f'});
    fs::rename(dir.file("forged"), other.temporaryPath());
#endif
    EXPECT_FALSE(other.commit(&why));
    other.discard();
    EXPECT_EQ(test::TempDir::read(dir.file("report.json")), kVictim);

    // Bytes worth keeping are kept in a file of the writer's own, not in what was planted.
    OutputFile cut;
    ASSERT_TRUE(cut.create(dir.file("cut.bin"), OutputFile::Existing::Replace, &why));
    ASSERT_TRUE(cut.write(kData.data(), kData.size()));
    swapForLink(cut);
    const std::string kept = cut.keepPartial();
    cut.discard();
    ASSERT_FALSE(kept.empty());
    EXPECT_FALSE(isLink(kept));
    EXPECT_EQ(test::TempDir::read(kept), kData);
    EXPECT_EQ(test::TempDir::read(victim), kVictim);
    EXPECT_FALSE(fs::exists(fs::symlink_status(dir.file("cut.bin"))));
}

#ifdef _WIN32
// Windows' device names stand for the device in every folder ("out\nul.txt" is NUL), and its
// names ignore case: neither may make a copy's file vanish or two names one file.
TEST_F(OutputFileTest, ReservedDeviceNamesAndNamesDifferingInCaseOnly) {
    EXPECT_EQ(judgeOutputTarget("NUL").kind, OutputTarget::Kind::Device);
    EXPECT_EQ(judgeOutputTarget("\\\\.\\NUL").kind, OutputTarget::Kind::Device);
    for (const char* name : {"nul.txt", "CON", "com1.log", "Aux .bin", "LPT9"}) {
        const std::string path = dir.file(name);
        EXPECT_NE(outputTargetRefusal(path).find("names the device"), std::string::npos) << name;
        EXPECT_FALSE(isPlainFileName(name)) << name;
    }
    for (const char* name : {"a\\b", "c:d", "trailing.", "trailing ", "q?", "star*"})
        EXPECT_FALSE(isPlainFileName(name)) << name;
    EXPECT_TRUE(isPlainFileName("console.log"));
    EXPECT_TRUE(isPlainFileName("com10"));

    std::string why;
    auto folder = OutputFolder::openOrCreate(dir.file("copy"), &why);
    ASSERT_TRUE(folder) << why;
    OutputFile nul;
    EXPECT_FALSE(nul.create(folder, "nul", OutputFile::Existing::Refuse, &why));
    EXPECT_FALSE(folder->child("aux", &why));

    OutputFile first;
    ASSERT_TRUE(first.create(folder, "Read.me", OutputFile::Existing::Refuse, &why)) << why;
    ASSERT_TRUE(first.commit(&why)) << why;
    OutputFile second;
    EXPECT_FALSE(second.create(folder, "READ.ME", OutputFile::Existing::Refuse, &why));
    EXPECT_NE(why.find("already became"), std::string::npos) << why;
    EXPECT_FALSE(folder->child("read.me", &why));
    EXPECT_EQ(namesIn(dir.file("copy")), (std::vector<std::string>{"Read.me"}));
}
#endif

}  // namespace
}  // namespace zrk
