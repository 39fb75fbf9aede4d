#include "files/FileStatus.h"

#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/stat.h>
#endif

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <vector>

#include "files/RegularFileReader.h"
#include "files/Terminal.h"
#include "support/PlantedLink.h"
#include "support/TempDir.h"

namespace zrk {
namespace {

namespace fs = std::filesystem;
using Open = RegularFileReader::Open;

#ifdef _WIN32
// A character device that never ends, as /dev/zero does.
const std::string kEndlessDevice = "NUL";
#else
const std::string kEndlessDevice = "/dev/zero";
#endif

std::vector<std::uint8_t> pattern(std::size_t length) {
    std::vector<std::uint8_t> bytes(length);
    for (std::size_t i = 0; i < length; ++i)
        bytes[i] = static_cast<std::uint8_t>(i * 7 + i / 251);
    return bytes;
}

// A FIFO with no writer would hold an open for reading for ever; a device such as /dev/zero
// would be read for ever. Both are refused by kind, before and after opening.
TEST(RegularFileReader, RefusesWhatIsNotARegularFileWithoutWaiting) {
    test::TempDir dir;
#ifndef _WIN32
    const std::string fifo = dir.file("fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
#endif
    for (const bool lookFirst : {false, true}) {
        RegularFileReader reader;
#ifndef _WIN32
        EXPECT_EQ(reader.open(fifo, {.lookFirst = lookFirst}), Open::NotRegular);
        EXPECT_EQ(errno, EINVAL);
        EXPECT_FALSE(reader.isOpen());
#endif
        EXPECT_EQ(reader.open(kEndlessDevice, {.lookFirst = lookFirst}), Open::NotRegular);
        EXPECT_EQ(errno, EINVAL);
        EXPECT_EQ(reader.open(dir.file(""), {.lookFirst = lookFirst}), Open::NotRegular);
        EXPECT_EQ(errno, EISDIR);
        EXPECT_EQ(reader.open(dir.file("missing"), {.lookFirst = lookFirst}), Open::Failed);
        EXPECT_EQ(errno, ENOENT);
    }
    RegularFileReader reader;
    EXPECT_EQ(reader.open(kEndlessDevice), Open::NotRegular);
    EXPECT_EQ(reader.read(nullptr, 1), -1);
}

TEST(RegularFileReader, ReadsTheWholeFileAcrossChunksAndFollowsLinksOnlyWhenAsked) {
    test::TempDir dir;
    const auto bytes = pattern(200'003);
    const std::string path = dir.write("image.bin", bytes);
    const std::string link = dir.file("link.bin");
    ZRK_PLANT_LINK_OR_SKIP(path, link);

    RegularFileReader reader;
    ASSERT_EQ(reader.open(link), Open::Opened);
    EXPECT_EQ(reader.size(), bytes.size());
    std::vector<std::uint8_t> got;
    std::uint8_t chunk[65536];
    for (long n; (n = reader.read(chunk, sizeof chunk)) > 0;)
        got.insert(got.end(), chunk, chunk + n);
    EXPECT_EQ(got, bytes);
    EXPECT_EQ(reader.read(chunk, sizeof chunk), 0);

    EXPECT_EQ(reader.open(link, {.followLinks = false}), Open::Failed);
    EXPECT_EQ(reader.open(path, {.followLinks = false}), Open::Opened);
    reader.close();
    EXPECT_FALSE(reader.isOpen());
}

TEST(FileStatus, TellsKindSizeAndWhyNot) {
    test::TempDir dir;
    const std::string path = dir.write("five", {1, 2, 3, 4, 5});
#ifdef _WIN32
    const std::string fifo = "NUL";  // no FIFOs: a device is the other kind there
#else
    const std::string fifo = dir.file("fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
#endif

    const auto file = fileStatus(path);
    ASSERT_TRUE(file);
    EXPECT_TRUE(file->regular());
    EXPECT_EQ(file->size, 5u);
    EXPECT_TRUE(fileStatus(dir.file(""))->directory());
    EXPECT_EQ(fileStatus(fifo)->kind, FileKind::Other);
    std::error_code why;
    EXPECT_FALSE(fileStatus(dir.file("missing"), &why));
    EXPECT_EQ(why, std::errc::no_such_file_or_directory) << why.message();
    EXPECT_FALSE(why.message().empty());

    std::FILE* stream = std::fopen(path.c_str(), "rb");
    ASSERT_NE(stream, nullptr);
    EXPECT_EQ(fileStatus(stream)->size, 5u);
    EXPECT_FALSE(isTerminal(stream));
    EXPECT_FALSE(terminalColumns(stream));
    std::fclose(stream);

    EXPECT_TRUE(pathExists(path));
    EXPECT_TRUE(mayRead(path));
    EXPECT_TRUE(mayWrite(path));
    EXPECT_TRUE(mayCreateIn(dir.file("")));
    EXPECT_FALSE(pathExists(dir.file("missing")));
    why.clear();
    EXPECT_FALSE(mayCreateIn(dir.file("missing"), &why));
    EXPECT_EQ(why, std::errc::no_such_file_or_directory) << why.message();
    why.clear();
    EXPECT_FALSE(mayCreateIn(path, &why)) << "a file is no folder";
    EXPECT_TRUE(why);
}

// "Two names, one file": a hard link and a symbolic link are the file itself, a copy is not.
TEST(FileIdentity, SameFileUnderOtherNamesButNotACopy) {
    test::TempDir dir;
    const std::string path = dir.write("a", {1});
    fs::create_hard_link(path, dir.file("hard"));
    fs::copy_file(path, dir.file("copy"));
    const auto identity = fileIdentity(path);
    ASSERT_TRUE(identity);
    EXPECT_EQ(fileIdentity(dir.file("hard")), identity);
    EXPECT_NE(fileIdentity(dir.file("copy")), identity);
    EXPECT_FALSE(fileIdentity(dir.file("missing")));
    ZRK_PLANT_LINK_OR_SKIP(path, dir.file("soft"));
    EXPECT_EQ(fileIdentity(dir.file("soft")), identity);
}

}  // namespace
}  // namespace zrk
