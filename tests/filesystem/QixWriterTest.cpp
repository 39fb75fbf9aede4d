// Images made from folders: what the reader makes of them, that the same folder gives the
// same bytes, every refusal (with its path named and nothing written), and unpacking.
#include "filesystem/QixWriter.h"

#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <filesystem>

#include "files/PathText.h"
#include "filesystem/CodePage.h"
#include "filesystem/QixExtract.h"
#include "filesystem/QixListing.h"
#include "support/TempDir.h"

namespace zrk {
namespace {

namespace fs = std::filesystem;
using test::TempDir;

std::vector<std::uint8_t> pattern(std::size_t n, unsigned seed) {
    std::vector<std::uint8_t> bytes(n);
    for (std::size_t i = 0; i < n; ++i)
        bytes[i] = static_cast<std::uint8_t>(i * 31 + seed);
    return bytes;
}

struct QixWriter : ::testing::Test {
    TempDir temp;
    CodePage cp1252 = std::move(*CodePage::open("CP1252", nullptr));
    fs::path src = temp.file("src");
    std::string image = temp.file("out.qix");

    void SetUp() override { fs::create_directories(src); }
    void put(const std::string& relative, const std::vector<std::uint8_t>& bytes) {
        fs::create_directories((src / pathOfText(relative)).parent_path());
        temp.write("src/" + relative, bytes);
    }
    QixWriteResult create(std::optional<std::string> release = std::nullopt,
                          const std::string& version = "V1") {
        return writeQixImage({src.string(), image, version, std::move(release), {}}, cp1252);
    }
    // A refusal names the path and leaves no file behind, finished or not.
    void expectRefused(const std::string& named) {
        const QixWriteResult result = create();
        EXPECT_FALSE(result.ok());
        EXPECT_TRUE(result.refused);
        EXPECT_NE(result.error.find(named), std::string::npos) << result.error;
        for (const char* name : {"out.qix", "out.cfg", "out.qix.part", "out.cfg.part"})
            EXPECT_FALSE(fs::exists(temp.file(name))) << name;
    }
};

TEST_F(QixWriter, TheReaderTakesBackTheTreeAsItIsOnDisk) {
    put("b/deep/Grüße.txt", pattern(10000, 1));
    put("a.bin", pattern(8192, 2));
    put("b/empty.dat", {});
    fs::create_directories(src / "c" / "nothing");
    const QixWriteResult made = create(std::string("R2"));
    ASSERT_TRUE(made.ok()) << made.error;
    EXPECT_EQ(made.directories, 4u);
    EXPECT_EQ(made.files, 3u);

    const std::string cfg = temp.file("out.cfg");
    const auto text = TempDir::read(cfg);
    EXPECT_EQ(std::string(text.begin(), text.end()),
              "QIXVERSION : V1              \r\n"
              "QIXRELEASEVERSION : R2          \r\n"
              "DIR_NAME : /b\r\nDIR_NAME : /b/deep\r\nDIR_NAME : /c\r\nDIR_NAME : /c/nothing\r\n"
              "FILE_NAME : /a.bin\r\nFILE_SIZE : 8192\r\n"
              "FILE_NAME : /b/deep/Gr\xFC\xDF"
              "e.txt\r\nFILE_SIZE : 10000\r\n"
              "FILE_NAME : /b/empty.dat\r\nFILE_SIZE : 0\r\n");

    const QixListing listing = readQixListing(image, cfg, cp1252);
    ASSERT_TRUE(listing.ok()) << listing.logText << listing.messageText;
    ASSERT_EQ(listing.files.size(), 3u);
    EXPECT_EQ(listing.files[1].entry.utf8Name, std::string("/b/deep/Grüße.txt") + '\0');
    EXPECT_EQ(listing.files[1].offset, 8192u);
    ASSERT_TRUE(listing.releaseVersion);

    // The same folder again: the same bytes.
    const auto firstImage = TempDir::read(image);
    ASSERT_TRUE(create(std::string("R2")).ok());
    EXPECT_EQ(TempDir::read(image), firstImage);
    EXPECT_EQ(TempDir::read(cfg), text);

    // And out again: file for file, byte for byte, the empty folder included.
    const std::string out = temp.file("unpacked");
    const QixExtractResult unpacked = extractQixImage(listing, image, out);
    ASSERT_TRUE(unpacked.ok()) << unpacked.error;
    for (const auto& entry : fs::recursive_directory_iterator(src)) {
        const fs::path there = out / fs::relative(entry.path(), src);
        ASSERT_EQ(fs::is_directory(entry), fs::is_directory(there)) << there;
        if (!fs::is_directory(entry)) {
            EXPECT_EQ(TempDir::read(entry.path()), TempDir::read(there)) << there;
        }
    }
    EXPECT_EQ(std::distance(fs::recursive_directory_iterator(out), {}),
              std::distance(fs::recursive_directory_iterator(src), {}));
}

TEST_F(QixWriter, PathLengthsStopWhereThePhoneStops) {
    // 61 bytes of folder path are taken, 62 are not. (A file path over 499 bytes cannot be
    // made under these limits: 61 + 1 + 254.)
    const std::string dir61 = std::string(60, 'd');
    fs::create_directories(src / dir61);
    put(dir61 + "/" + std::string(254, 'f'), {1});
    ASSERT_TRUE(create().ok());
    fs::remove(image);
    fs::remove(temp.file("out.cfg"));

    fs::create_directories(src / (dir61 + "x"));
    expectRefused(dir61 + "x");
    fs::remove(src / (dir61 + "x"));

    // A name of 255 bytes would make the phone's listing of its folder fail.
    put(std::string(255, 'h'), {});
    expectRefused(std::string(255, 'h'));
}

TEST_F(QixWriter, RefusesNamesThePhoneOrTheConfigurationWouldTakeDifferently) {
    put("\xE2\x82\xAC", {1});  // the euro sign is in CP1252
    ASSERT_TRUE(create().ok());
    // Not in CP1252; a line break; a trailing blank; a key the reader would find; control
    // characters, which no download takes.
    std::vector<std::string> names = {"\xD0\x96.txt", "x FILE_SIZE : 9", "nel\xC2\x85"};
#ifndef _WIN32
    // Windows holds no such names: it refuses controls below 20h and drops a trailing blank.
    for (const char* name : {"two\nlines", "blank ", "tab\there", "esc\x1B[2J"})
        names.push_back(name);
#endif
    for (const std::string& name : names) {
        SCOPED_TRACE(name);
        fs::remove_all(src);
        fs::remove(image);
        fs::remove(temp.file("out.cfg"));
        put(name, {1, 2});
        expectRefused(name);
    }
}

TEST_F(QixWriter, RefusesLinksSpecialFilesTooMuchAndItsOwnOutput) {
    put("real.txt", {1});
#ifndef _WIN32
    // Wine makes neither; Windows' reparse points are refused by the same walk.
    fs::create_symlink("real.txt", src / "link");
    expectRefused("link");
    fs::remove(src / "link");

    ASSERT_EQ(::mkfifo((src / "pipe").c_str(), 0600), 0);
    expectRefused("pipe");
    fs::remove(src / "pipe");
#endif

    // Sparse: the walk refuses on the sizes before reading anything.
    put("huge1", {});
    put("huge2", {});
    fs::resize_file(src / "huge1", 0x80000000ull);
    fs::resize_file(src / "huge2", 0x80000000ull);
    expectRefused("huge");
    fs::remove(src / "huge1");
    fs::remove(src / "huge2");

    image = (src / "self.qix").string();
    const QixWriteResult self = create();
    EXPECT_TRUE(self.refused);
    EXPECT_FALSE(fs::exists(src / "self.qix.part"));

    image = temp.file("out.qix");
    EXPECT_FALSE(create(std::string("R"), "seventeen bytes!!").ok());
    EXPECT_FALSE(create(std::string("thirteen byte")).ok());
    EXPECT_TRUE(create(std::string("twelve bytes"), "sixteen bytes ok").ok());
}

TEST_F(QixWriter, ALinkAtAnyLevelIsRefusedAndAFolderSwappedForOneIsNeverFollowed) {
    // Another account's folder, which must never reach the image.
    const fs::path secret = temp.file("secret");
    fs::create_directories(secret);
    temp.write("secret/s.txt", pattern(5000, 9));
    put("sub/deeper/s.txt", pattern(5000, 1));
    put("top.txt", pattern(10, 2));

    std::error_code noLinks;
    fs::create_symlink(secret, src / "sub" / "deeper" / "planted", noLinks);
    if (noLinks)
        GTEST_SKIP() << "no symbolic links can be made here (Wine): " << noLinks.message();
    expectRefused("planted");
    fs::remove(src / "sub" / "deeper" / "planted");
    // The folder named itself: a link there is not the folder.
    fs::create_symlink(src, temp.file("alias"));
    const QixWriteResult alias =
        writeQixImage({temp.file("alias"), image, "V1", std::nullopt, {}}, cp1252);
    EXPECT_TRUE(alias.refused);
    EXPECT_NE(alias.error.find("symbolic link"), std::string::npos) << alias.error;

    // Once the walk is over and the image is being written, "sub/deeper" becomes a link to
    // the secret folder, holding a file of the same name and size.
    bool swapped = false;
    QixWriteRequest request{src.string(), image, "V1", std::nullopt, {}};
    request.stopRequested = [&] {
        if (!swapped)
            for (const auto& e : fs::directory_iterator(temp.file("")))
                if (e.path().filename().string().rfind(".out.qix.", 0) == 0) {
                    fs::rename(src / "sub" / "deeper", src / "sub" / "moved");
                    fs::create_symlink(secret, src / "sub" / "deeper");
                    swapped = true;
                }
        return false;
    };
    const QixWriteResult result = writeQixImage(request, cp1252);
    ASSERT_TRUE(swapped);
    EXPECT_FALSE(result.ok()) << "the secret went into the image";
    EXPECT_NE(result.error.find("deeper"), std::string::npos) << result.error;
    EXPECT_NE(result.error.find("symbolic link"), std::string::npos) << result.error;
    EXPECT_FALSE(fs::exists(temp.file("out.qix")));
    EXPECT_FALSE(fs::exists(temp.file("out.cfg")));

    // A file swapped for another one of the same size is caught by its identity.
    fs::remove(src / "sub" / "deeper");
    fs::rename(src / "sub" / "moved", src / "sub" / "deeper");
    swapped = false;
    request.stopRequested = [&] {
        if (!swapped)
            for (const auto& e : fs::directory_iterator(temp.file("")))
                if (e.path().filename().string().rfind(".out.qix.", 0) == 0) {
                    // Made before the old one goes, so it cannot take over its number.
                    temp.write("src/top.new", pattern(10, 7));
                    fs::rename(src / "top.new", src / "top.txt");
                    swapped = true;
                }
        return false;
    };
    const QixWriteResult replaced = writeQixImage(request, cp1252);
    ASSERT_TRUE(swapped);
    EXPECT_FALSE(replaced.ok());
    EXPECT_NE(replaced.error.find("changed while the image was made"), std::string::npos)
        << replaced.error;
}

TEST_F(QixWriter, AStopRequestEndsPackingAndUnpackingLeavingNoHalfFile) {
    put("a.bin", pattern(200000, 1));
    put("b.bin", pattern(300000, 2));
    auto hidden = [](const fs::path& folder) {
        std::vector<std::string> found;
        for (const auto& e : fs::recursive_directory_iterator(folder))
            if (e.path().filename().string().front() == '.')
                found.push_back(e.path().string());
        return found;
    };
    int asked = 0;
    QixWriteRequest request{src.string(), image, "V1", std::nullopt, {}};
    request.stopRequested = [&] { return ++asked > 4; };  // in the middle of a.bin
    const QixWriteResult stopped = writeQixImage(request, cp1252);
    EXPECT_TRUE(stopped.interrupted);
    EXPECT_FALSE(stopped.ok());
    EXPECT_TRUE(hidden(temp.file("")).empty());
    EXPECT_FALSE(fs::exists(temp.file("out.qix")));
    EXPECT_FALSE(fs::exists(temp.file("out.cfg")));

    ASSERT_TRUE(create().ok());
    const QixListing listing = readQixListing(image, temp.file("out.cfg"), cp1252);
    ASSERT_TRUE(listing.ok());
    asked = 0;
    // a.bin whole (four chunks), then b.bin cut short.
    const QixExtractResult cut =
        extractQixImage(listing, image, temp.file("unpacked"), [&] { return ++asked > 6; });
    EXPECT_TRUE(cut.interrupted);
    EXPECT_FALSE(cut.ok());
    EXPECT_EQ(cut.files, 1u);
    EXPECT_TRUE(hidden(temp.file("unpacked")).empty());
    EXPECT_TRUE(fs::exists(temp.file("unpacked/a.bin")));
    EXPECT_FALSE(fs::exists(temp.file("unpacked/b.bin")));
}

TEST_F(QixWriter, TheDefaultVersionIsTheFolderNameCutToFit) {
    EXPECT_EQ(defaultQixVersion("/x/phone-backup/", cp1252), "phone-backup");
    EXPECT_EQ(defaultQixVersion("/x/Grüße-aus-der-Heimat", cp1252), "Grüße-aus-der-He");
    EXPECT_EQ(defaultQixVersion("/x/\xD0\x96", cp1252), "QIX");
}

TEST_F(QixWriter, UnpackingRefusesClimbingPathsAndFoldersInUse) {
    const std::string cfg = temp.file("bad.cfg");
    const std::string text =
        "QIXVERSION : 0123456789ABCDEF\r\nFILE_NAME : /a/../../evil\r\n"
        "FILE_SIZE : 2\r\n";
    temp.write("bad.cfg", std::vector<std::uint8_t>(text.begin(), text.end()));
    temp.write("bad.qix", {1, 2});
    // Refused as the listing is read, so a download would refuse it too; unpacking a refused
    // listing makes nothing.
    const QixListing listing = readQixListing(temp.file("bad.qix"), cfg, cp1252);
    ASSERT_FALSE(listing.ok());
    EXPECT_EQ(listing.logText.rfind("bad.cfg, line 2: ", 0), 0u) << listing.logText;
    const QixExtractResult climbing =
        extractQixImage(listing, temp.file("bad.qix"), temp.file("out/inner"));
    EXPECT_TRUE(climbing.refused);
    EXPECT_NE(climbing.error.find("/a/../../evil"), std::string::npos);
    EXPECT_FALSE(fs::exists(temp.file("out")));
    EXPECT_FALSE(fs::exists(temp.file("evil")));

    put("x", {1});
    ASSERT_TRUE(create().ok());
    const QixListing good = readQixListing(image, temp.file("out.cfg"), cp1252);
    const QixExtractResult used = extractQixImage(good, image, src.string());
    EXPECT_TRUE(used.refused);
    EXPECT_NE(used.error.find("not empty"), std::string::npos);
}

TEST_F(QixWriter, ListingADamagedPairGivesTheDownloadsWords) {
    put("x", {1, 2, 3});
    ASSERT_TRUE(create().ok());
    temp.write("out.qix", {1, 2, 3, 4});
    QixListing listing = readQixListing(image, temp.file("out.cfg"), cp1252);
    EXPECT_FALSE(listing.ok());
    EXPECT_FALSE(listing.unreadable);
    EXPECT_EQ(listing.logText, "QixFilesize(4):CfgFilesize(3)");
    EXPECT_EQ(listing.messageText, "QIX file size mismatched!!!");

    fs::remove(temp.file("out.cfg"));
    listing = readQixListing(image, temp.file("out.cfg"), cp1252);
    EXPECT_TRUE(listing.unreadable);
}

}  // namespace
}  // namespace zrk
