// Ctrl-C, SIGTERM and SIGHUP in the middle of commands that write large files: the packing and
// unpacking of an image end with 130 and leave no hidden file behind; a read-out and a NAND
// dump keep what arrived under NAME.part and say so. Each signal is sent once the command's own
// file exists, so it always lands in the middle of the work.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "ChildProcess.h"
#include "cli/ExitCodes.h"
#include "support/TempDir.h"

namespace zrk::cli {
namespace {

using test::ChildProcess;
namespace fs = std::filesystem;

const std::vector<std::string> kEnv = {"ZRK_PHONESIM=" ZRK_PHONESIM_EXE};
// Sparse on disk, but written out whole: far longer to copy than a signal takes to arrive.
constexpr std::uintmax_t kLarge = 3ull << 30;

// The hidden files of a folder (and below it): a writer's own, or anything left behind.
std::vector<std::string> hiddenIn(const fs::path& folder) {
    std::vector<std::string> found;
    std::error_code error;
    for (fs::recursive_directory_iterator it(folder, error), end; !error && it != end;
         it.increment(error))
        if (it->path().filename().string().front() == '.')
            found.push_back(it->path().string());
    return found;
}

// Waits, with a bound, until the child has made its first hidden file in folder.
bool waitForHiddenFile(const fs::path& folder) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (std::chrono::steady_clock::now() < deadline) {
        if (!hiddenIn(folder).empty())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return false;
}

std::vector<char> bytesOf(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(InterruptRun, PackingAndUnpackingAnImageEndWith130AndLeaveNothingHalfMade) {
    test::TempDir dir;
    fs::create_directories(dir.file("src/docs"));
    std::ofstream(dir.file("src/docs/big.bin")).close();
    fs::resize_file(dir.file("src/docs/big.bin"), kLarge);

    // The pair to unpack, made by hand so that it too is sparse.
    std::ofstream(dir.file("big.qix")).close();
    fs::resize_file(dir.file("big.qix"), kLarge);
    std::ofstream(dir.file("big.cfg"), std::ios::binary)
        << "QIXVERSION : V1              \r\nFILE_NAME : /big.bin\r\nFILE_SIZE : " << kLarge
        << "\r\n";

    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        const fs::path out = dir.file("out" + std::to_string(signal));
        fs::create_directories(out);
        ChildProcess create(
            ZRK410_EXE, {"qix", "create", dir.file("src"), "--out", (out / "image.qix").string()});
        ASSERT_TRUE(waitForHiddenFile(out)) << create.err();
        create.signal(signal);
        EXPECT_EQ(create.wait(), EXIT_INTERRUPTED) << signal << create.err();
        EXPECT_NE(create.err().find("interrupted"), std::string::npos) << create.err();
        EXPECT_TRUE(fs::is_empty(out)) << hiddenIn(out).front();

        const fs::path unpacked = dir.file("unpacked" + std::to_string(signal));
        ChildProcess extract(ZRK410_EXE,
                             {"qix", "extract", dir.file("big.qix"), unpacked.string()});
        ASSERT_TRUE(waitForHiddenFile(unpacked)) << extract.err();
        extract.signal(signal);
        EXPECT_EQ(extract.wait(), EXIT_INTERRUPTED) << signal << extract.err();
        EXPECT_NE(extract.err().find("interrupted"), std::string::npos) << extract.err();
        EXPECT_TRUE(hiddenIn(unpacked).empty()) << hiddenIn(unpacked).front();
        EXPECT_FALSE(fs::exists(unpacked / "big.bin"));
    }
}

TEST(InterruptRun, AReadOutOrNandDumpCutShortKeepsItsBytesAndSaysWhere) {
    test::TempDir dir;
    const fs::path nand = dir.file("phone/nand");
    fs::create_directories(nand);
    std::string big(20000, '\0');
    for (std::size_t i = 0; i < big.size(); ++i)
        big[i] = static_cast<char>(i * 31 + 7);
    std::ofstream(nand / "big.bin", std::ios::binary) << big;
    const std::string preload = "--sim=preload=" + dir.file("phone");

    for (const int signal : {SIGINT, SIGHUP}) {
        const fs::path out = dir.file("get" + std::to_string(signal));
        fs::create_directories(out);
        // The phone never sends the second block: the read-out waits for ever after the first.
        ChildProcess get(ZRK410_EXE,
                         {preload + ",silent-readout-block=1", "--timeout", "0", "fs", "get",
                          "/big.bin", "--out", (out / "got.bin").string()},
                         kEnv);
        ASSERT_TRUE(waitForHiddenFile(out)) << get.err();
        get.signal(signal);
        EXPECT_EQ(get.wait(), EXIT_INTERRUPTED) << get.err();
        const fs::path kept = out / "got.bin.part";
        ASSERT_TRUE(fs::exists(kept)) << get.out() << get.err();
        EXPECT_NE(get.err().find("received so far are in " + kept.string()), std::string::npos)
            << get.err();
        const auto bytes = bytesOf(kept);
        EXPECT_TRUE(bytes.size() == 0 || bytes.size() == 8192) << bytes.size();
        EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), big.begin()));
        EXPECT_FALSE(fs::exists(out / "got.bin"));
        EXPECT_TRUE(hiddenIn(out).empty());
    }

    const fs::path out = dir.file("dump");
    fs::create_directories(out);
    // 128 MB of pages: the dump is far from its end when the signal comes.
    ChildProcess dump(
        ZRK410_EXE,
        {preload, "--timeout", "0", "fs", "nand-dump", "--out", (out / "nand.bin").string()}, kEnv);
    ASSERT_TRUE(waitForHiddenFile(out)) << dump.err();
    dump.signal(SIGTERM);
    EXPECT_EQ(dump.wait(), EXIT_INTERRUPTED) << dump.err();
    const fs::path kept = out / "nand.bin.part";
    ASSERT_TRUE(fs::exists(kept)) << dump.out() << dump.err();
    EXPECT_EQ(fs::file_size(kept) % 2048, 0u);
    EXPECT_NE(dump.err().find("received so far are in " + kept.string()), std::string::npos)
        << dump.err();
    EXPECT_FALSE(fs::exists(out / "nand.bin"));
}

}  // namespace
}  // namespace zrk::cli
