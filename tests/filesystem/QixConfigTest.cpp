#include "filesystem/QixConfig.h"

#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/stat.h>
#endif

#include <algorithm>
#include <filesystem>

#include "filesystem/CodePage.h"
#include "support/TempDir.h"

namespace zrk {
namespace {

const std::string kVersionLine = "QIXVERSION : 0123456789ABCDEF\r\n";

std::optional<QixConfig> checked(const std::string& text, std::uint64_t imageSize = 0) {
    auto result = checkQixConfigText(kVersionLine + text, imageSize);
    EXPECT_TRUE(result.ok()) << result.logText << result.messageText;
    return result.config;
}

std::string bytes(const auto& array) {
    return std::string(array.begin(), array.end());
}

struct Walks : ::testing::Test {
    CodePage cp1252 = std::move(*CodePage::open("CP1252", nullptr));

    WalkStep firstDir(const std::string& name) {
        return checked("DIR_NAME : " + name + "\r\n")->nextDirEntry(cp1252);
    }
    WalkStep firstFile(const std::string& name, const CodePage& codePage) {
        return checked("FILE_NAME : " + name + "\r\nFILE_SIZE : 0\r\n")->nextFileEntry(codePage);
    }
};

TEST(QixCheck, SumsEverySizeKeyWhateverLiesBetween) {
    const std::string text =
        "FILE_NAME : /a\r\nFILE_SIZE : 10\r\nnoise FILE_SIZE : 5x FILE_SIZE : 7\r\n"
        "FILE_SIZE :  9\r\nFILE_SIZE : \r\n";  // a blank before the digits: no digits, 0
    EXPECT_EQ(checked(text, 22)->qixSize(), 22u);

    const auto longer = checkQixConfigText(kVersionLine + text, 23);
    EXPECT_FALSE(longer.ok());
    EXPECT_EQ(longer.logText, "QixFilesize(23):CfgFilesize(22)");
    EXPECT_EQ(longer.messageText, "QIX file size mismatched!!!");
}

TEST(QixCheck, SizesBeyond32BitsFailInsteadOfWrappingAndSayWhatIsTooLarge) {
    const std::string cfgOver =
        "\r\nThe .cfg's sizes add up to over 4 GB: a download carries at most 4294967295 bytes";
    const std::string imageOver =
        "\r\nThe image is over 4 GB: a download carries at most 4294967295 bytes";
    const struct {
        std::string sizes;
        std::uint64_t image;
        std::string log;
    } cases[] = {
        {"FILE_SIZE : 4294967296", 0, "QixFilesize(0):CfgFilesize(4294967296)" + cfgOver},
        {"FILE_SIZE : 4294967295 FILE_SIZE : 1", 0,
         "QixFilesize(0):CfgFilesize(4294967296)" + cfgOver},
        {"FILE_SIZE : 18446744073709551616", 0,
         "QixFilesize(0):CfgFilesize(18446744073709551615)" + cfgOver},
        {"FILE_SIZE : 3000000000", 3000000001, "QixFilesize(3000000001):CfgFilesize(3000000000)"},
        {"FILE_SIZE : 1", 5000000000, "QixFilesize(5000000000):CfgFilesize(1)" + imageOver},
        // The sizes agree: two equal numbers called a mismatch would send the user looking for
        // a difference that is not there.
        {"FILE_SIZE : 4294967296", 4294967296,
         "The image is 4294967296 bytes (as its .cfg says), over 4 GB: a download carries at "
         "most 4294967295 bytes"},
    };
    for (const auto& c : cases) {
        const auto result = checkQixConfigText(kVersionLine + c.sizes, c.image);
        EXPECT_FALSE(result.ok()) << c.sizes;
        EXPECT_EQ(result.logText, c.log);
        EXPECT_EQ(result.messageText, "QIX file size mismatched!!!");
    }
    EXPECT_EQ(checked("FILE_SIZE : 3000000000", 3000000000)->qixSize(), 3000000000u);
}

TEST(QixCheck, VersionsAreTheBytesAfterTheirKeys) {
    auto config = checkQixConfigText("QIXVERSION : 0123456789\r\nABCDEFG", 0).config;
    ASSERT_TRUE(config);
    EXPECT_EQ(bytes(config->version()), "0123456789\r\nABCD");
    EXPECT_FALSE(config->releaseVersion());

    // Keys near the end: what the text lacks is zero bytes.
    config = checkQixConfigText("QIXRELEASEVERSION : R1\r\nQIXVERSION : 1.0", 0).config;
    ASSERT_TRUE(config);
    EXPECT_EQ(bytes(config->version()), std::string("1.0") + std::string(13, '\0'));
    ASSERT_TRUE(config->releaseVersion());
    EXPECT_EQ(bytes(*config->releaseVersion()), "R1\r\nQIXVERSI");
    config = checkQixConfigText("QIXVERSION : ", 0).config;
    ASSERT_TRUE(config);
    EXPECT_EQ(config->version(), QixVersion{});

    const auto missing = checkQixConfigText("QIXVERSON : 1\r\nFILE_SIZE : 0\r\n", 0);
    EXPECT_FALSE(missing.ok());
    EXPECT_EQ(missing.messageText, "QIXVERSION not found in cfg file");
}

TEST_F(Walks, DirectoriesThenFilesInTextOrder) {
    const std::string text =
        "DIR_NAME : /a\r\nDIR_NAME :  b \r\nFILE_NAME : /a/x.txt\r\nFILE_SIZE : 3\r\n"
        "FILE_NAME : /e\r\nFILE_SIZE : 0\r\nFILE_NAME : /n\r\nDIR_NAME : /z";
    auto config = checked(text, 3);
    ASSERT_TRUE(config);
    for (const std::string name : {"/a", " b ", "/z"}) {
        const WalkStep step = config->nextDirEntry(cp1252);
        ASSERT_EQ(step.result, WalkResult::Entry);
        EXPECT_EQ(step.entry.localName, name);
        EXPECT_EQ(step.entry.utf8Name, name + '\0');
    }
    EXPECT_EQ(config->nextDirEntry(cp1252).result, WalkResult::NoneLeft);
    EXPECT_EQ(config->walkPosition(), 0u);

    const struct {
        std::string name;
        std::uint32_t size;
    } files[] = {{"/a/x.txt", 3}, {"/e", 0}, {"/n", 0}};  // /n has no size left after it
    for (const auto& file : files) {
        const WalkStep step = config->nextFileEntry(cp1252);
        ASSERT_EQ(step.result, WalkResult::Entry);
        EXPECT_EQ(step.entry.localName, file.name);
        EXPECT_EQ(step.entry.fileSize, file.size);
        if (file.name == "/a/x.txt") {
            EXPECT_EQ(config->walkPosition(), config->text().find("\r\nFILE_NAME : /e"));
        }
    }
    EXPECT_EQ(config->nextFileEntry(cp1252).result, WalkResult::NoneLeft);
}

TEST_F(Walks, NamesTooLongForTheirLimits) {
    const std::string dir61 = "/" + std::string(60, 'd');
    EXPECT_EQ(firstDir(dir61).entry.utf8Name.size(), 62u);
    const WalkStep dir62 = firstDir(dir61 + "d");
    EXPECT_EQ(dir62.result, WalkResult::NameTooLong);
    EXPECT_EQ(dir62.logText, "Directory name is too long\"" + dir61 + "d\"... ");
    // The limit is on the UTF-8 form: 31 local bytes that need 62.
    EXPECT_EQ(firstDir(std::string(31, '\xC4')).result, WalkResult::NameTooLong);

    EXPECT_EQ(firstFile(std::string(499, 'f'), cp1252).entry.utf8Name.size(), 500u);
    const WalkStep file500 = firstFile(std::string(500, 'f'), cp1252);
    EXPECT_EQ(file500.result, WalkResult::NameTooLong);
    EXPECT_EQ(file500.logText, "File name is too long\"" + std::string(500, 'f') + "\"... ");
    EXPECT_EQ(firstFile(std::string(501, 'f'), cp1252).logText,
              "/r/n MultibyteToUTF8 ERROR /r/nFile name is too long\"" + std::string(501, 'f') +
                  "\"... ");
    // The name comes from a file: a byte that is no text is shown, not written raw.
    EXPECT_EQ(firstFile("a\x81", cp1252).logText, "File name is too long\"a\\x81\"... ");
}

TEST_F(Walks, NamesConvertToUtf8WithTheirZero) {
    EXPECT_EQ(firstFile("\xC4", cp1252).entry.utf8Name, std::string("\xC3\x84\0", 3));
    const CodePage cp949 = std::move(*CodePage::open("CP949", nullptr));
    EXPECT_EQ(firstFile("/\xC7\xD1", cp949).entry.utf8Name, std::string("/\xED\x95\x9C\0", 5));
    // Input within 500 bytes whose UTF-8 form does not fit: no result and no conversion line.
    const Utf8Name wide = toUtf8(cp1252, std::string(250, '\xC4'));
    EXPECT_FALSE(wide.utf8);
    EXPECT_EQ(wide.logText, "");
}

TEST(QixFiles, ReadsRegularFilesAndRefusesAnythingElse) {
    test::TempDir dir;
    const std::string image = dir.write("fs.qix", {'a', 'b', 'c'});
    const std::string text = kVersionLine + "FILE_NAME : /x\r\nFILE_SIZE : 3\r\n";
    const std::string config = dir.write("fs.cfg", {text.begin(), text.end()});
    const auto result = checkQixFiles(image, config);
    ASSERT_TRUE(result.ok());
    EXPECT_EQ(result.config->text(), text);

    std::vector<std::pair<std::string, std::string>> refused = {{dir.file("missing.qix"), config},
                                                                {image, dir.file("missing.cfg")},
                                                                {dir.file(""), config}};
#ifdef _WIN32
    refused.push_back({image, "NUL"});
#else
    const std::string fifo = dir.file("fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    refused.push_back({fifo, config});
    refused.push_back({image, fifo});
    refused.push_back({image, "/dev/null"});
#endif
    for (const auto& [imagePath, configPath] : refused) {
        const std::string bad = imagePath == image ? configPath : imagePath;
        EXPECT_EQ(checkQixFiles(imagePath, configPath).messageText, "Fail to open " + bad);
    }
}

TEST(QixFiles, AConfigurationOverTheLimitIsRefusedWithoutBeingRead) {
    test::TempDir dir;
    const std::string image = dir.write("fs.qix", {});
    const std::string config = dir.write("fs.cfg", {});
    // Sparse: the size is what counts, and a test must not fill the disk to show it.
    std::filesystem::resize_file(config, kMaxConfigBytes);
    EXPECT_EQ(checkQixFiles(image, config).messageText, "QIXVERSION not found in cfg file");

    for (const std::uint64_t size : {kMaxConfigBytes + 1, std::uint64_t{3} << 30}) {
        std::filesystem::resize_file(config, size);
        const auto result = checkQixFiles(image, config);
        EXPECT_FALSE(result.ok());
        EXPECT_EQ(result.messageText,
                  config + " is too large: a .cfg file may hold at most 16777216 bytes (16 MB)");
    }
}

// The demo's file system (examples/make-filesystem.sh) read back as the download reads it: the
// image holds each tree file's bytes in FILE_NAME order, and the CP1252 name reaches UTF-8.
TEST(QixFiles, ExampleFileSystemMatchesItsTree) {
    const std::string base = ZRK_EXAMPLES_DIR "/filesystem";
    auto result = checkQixFiles(base + ".qix", base + ".cfg");
    ASSERT_TRUE(result.ok()) << result.logText << result.messageText;
    const CodePage cp1252 = std::move(*CodePage::open("CP1252", nullptr));
    int dirs = 0;
    while (result.config->nextDirEntry(cp1252).result == WalkResult::Entry)
        ++dirs;
    EXPECT_EQ(dirs, 6);
    const auto image = test::TempDir::read(base + ".qix");
    std::size_t offset = 0;
    std::string names;
    for (WalkStep step;
         (step = result.config->nextFileEntry(cp1252)).result != WalkResult::NoneLeft;) {
        ASSERT_EQ(step.result, WalkResult::Entry) << step.logText;
        const auto file = test::TempDir::read(base + step.entry.utf8Name.c_str());
        ASSERT_EQ(file.size(), step.entry.fileSize);
        ASSERT_LE(offset + file.size(), image.size());
        EXPECT_TRUE(std::equal(file.begin(), file.end(), image.begin() + offset)) << names;
        offset += file.size();
        names += step.entry.utf8Name.c_str() + std::string(" ");
    }
    EXPECT_EQ(offset, image.size());
    EXPECT_NE(names.find("/docs/Gr\xC3\xBC\xC3\x9F\x65.txt "), std::string::npos) << names;
}

}  // namespace
}  // namespace zrk
