// zrk410's read-back verify against the phone simulator: download --verify and verify for the
// firmware and the file system, with the simulator's silent corruption faults (a byte stored
// wrong while every sum the phone reports is right), which only the read-back catches.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "ChildProcess.h"
#include "cli/ExitCodes.h"

namespace zrk::cli {
namespace {

using test::ChildProcess;
namespace fs = std::filesystem;

const std::vector<std::string> kEnv = {"ZRK_PHONESIM=" ZRK_PHONESIM_EXE};

bool has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

class VerifyRun : public ::testing::Test {
  protected:
    void SetUp() override {
        m_Folder = fs::temp_directory_path() / ("zrk410-verify-" + std::to_string(::getpid()));
        fs::remove_all(m_Folder);
        fs::create_directories(m_Folder);
        m_Image.resize(65536 + 5000);
        for (std::size_t i = 0; i < m_Image.size(); ++i)
            m_Image[i] = static_cast<char>(i * 13 + i / 509);
        write(path("fw.bin"), m_Image);
        write(path("fs.cfg"),
              "QIXVERSION : V1.0            \r\nDIR_NAME : /d\r\nDIR_NAME : /d/e\r\n"
              "FILE_NAME : /d/a.txt\r\nFILE_SIZE : 10000\r\nFILE_NAME : /d/e/z.dat\r\n"
              "FILE_SIZE : 0\r\nFILE_NAME : /b.txt\r\nFILE_SIZE : 3\r\n");
        m_Files = std::string(10000, '\0');
        for (std::size_t i = 0; i < m_Files.size(); ++i)
            m_Files[i] = static_cast<char>('a' + i % 26);
        m_Files += "bbb";
        write(path("fs.qix"), m_Files);
    }
    void TearDown() override { fs::remove_all(m_Folder); }

    fs::path path(const std::string& name) const { return m_Folder / name; }
    static void write(const fs::path& p, const std::string& bytes) {
        std::ofstream(p, std::ios::binary) << bytes;
    }
    std::string state() const { return path("phone").string(); }

    fs::path m_Folder;
    std::string m_Image;
    std::string m_Files;
};

TEST_F(VerifyRun, FirmwareReadBackFindsTheWrongByteAndVerifyJudgesThePhoneAsItIs) {
    const std::string bin = path("fw.bin").string();
    {
        ChildProcess c(ZRK410_EXE,
                       {"--sim=state-out=" + state(), "--speed", "921600", "download", "--bin", bin,
                        "--verify", "--start-addr", "10020000"},
                       kEnv);
        ASSERT_EQ(c.wait(), EXIT_OK) << c.out() << c.err();
        EXPECT_TRUE(has(c.out(), "Verify OK: 70536 bytes in 2 sectors, CRC-32 ")) << c.out();
        EXPECT_TRUE(has(c.out(), "\nVerify time 00:0")) << c.out();
        EXPECT_TRUE(has(c.out(), "Download completed!\n"));
    }
    {
        // 0x20000 + 0x10005: the sixth byte of the image's second sector.
        ChildProcess c(ZRK410_EXE,
                       {"--sim=corrupt-nor=0x30005", "--speed", "921600", "download", "--bin", bin,
                        "--verify", "--power-on", "--start-addr", "10020000"},
                       kEnv);
        EXPECT_EQ(c.wait(), EXIT_PHONE_FAILED) << c.out() << c.err();
        // The download itself completes as the protocol allows; the read-back does not.
        EXPECT_TRUE(has(c.out(), "** (Total 70536 bytes) **\n"));
        char line[96];
        std::snprintf(line, sizeof line,
                      "Verify FAILED at 0x10030005 (sector 3): expected %02X, read %02X\n",
                      static_cast<unsigned char>(m_Image[0x10005]),
                      static_cast<unsigned char>(~m_Image[0x10005]));
        EXPECT_TRUE(has(c.out(), line)) << c.out();
        EXPECT_FALSE(has(c.out(), "Download completed!"));
        EXPECT_TRUE(has(c.err(), "the phone does not hold the image")) << c.err();
    }
    {
        ChildProcess c(ZRK410_EXE,
                       {"--quiet", "--sim=preload=" + state(), "verify", "--bin", bin,
                        "--start-addr", "0x10020000"},
                       kEnv);
        EXPECT_EQ(c.wait(), EXIT_OK) << c.out() << c.err();
        EXPECT_TRUE(has(c.out(), "Verify completed!")) << c.out();
    }
    {
        // From another address the phone holds something else.
        ChildProcess c(ZRK410_EXE, {"--sim=preload=" + state(), "verify", "--bin", bin}, kEnv);
        EXPECT_EQ(c.wait(), EXIT_PHONE_FAILED) << c.out() << c.err();
        char line[96];
        std::snprintf(line, sizeof line,
                      "Verify FAILED at 0x10000000 (sector 0): expected %02X, read FF\n",
                      static_cast<unsigned char>(m_Image[0]));
        EXPECT_TRUE(has(c.out(), line)) << c.out();
        EXPECT_FALSE(has(c.out(), "Address 0x"));  // nothing was written
    }
}

TEST_F(VerifyRun, FileSystemReadBackNamesTheFileAndOffsetAndTheMissingDirectories) {
    const std::string qix = path("fs.qix").string();
    {
        ChildProcess c(ZRK410_EXE,
                       {"--sim=state-out=" + state(), "download", "--qix", qix, "--verify"}, kEnv);
        ASSERT_EQ(c.wait(), EXIT_OK) << c.out() << c.err();
        EXPECT_TRUE(has(c.out(),
                        "Checking a directory \"/d/e\"... OK!\n"
                        "Verifying a file \"/d/a.txt\" (10000 bytes)... OK!\n"
                        "Verifying a file \"/d/e/z.dat\" (0 bytes)... OK!\n"
                        "Verifying a file \"/b.txt\" (3 bytes)... OK!\n"
                        "Verify OK: 10003 bytes in 3 files, 2 directories\n"))
            << c.out();
    }
    {
        // In the file's second block: 8192 + 100.
        ChildProcess c(ZRK410_EXE,
                       {"--sim=corrupt-nand=/d/a.txt:8292", "download", "--qix", qix, "--verify"},
                       kEnv);
        EXPECT_EQ(c.wait(), EXIT_PHONE_FAILED) << c.out() << c.err();
        EXPECT_TRUE(has(c.out(), "Unmounting QIX... OK!\n"));
        char line[96];
        std::snprintf(line, sizeof line,
                      "Verify FAILED at offset 8292 of \"/d/a.txt\": expected %02X, read %02X\n",
                      static_cast<unsigned char>(m_Files[8292]),
                      static_cast<unsigned char>(~m_Files[8292]));
        EXPECT_TRUE(has(c.out(), line)) << c.out();
    }
    {
        ChildProcess c(ZRK410_EXE, {"--quiet", "--sim=preload=" + state(), "verify", "--qix", qix},
                       kEnv);
        EXPECT_EQ(c.wait(), EXIT_OK) << c.out() << c.err();
    }
    {
        // Every file compares, but the phone never confirms the unmount: no good verify.
        ChildProcess c(
            ZRK410_EXE,
            {"--sim=preload=" + state() + ",unmount-fault=wrong", "verify", "--qix", qix}, kEnv);
        EXPECT_EQ(c.wait(), EXIT_PHONE_FAILED) << c.out() << c.err();
        EXPECT_TRUE(has(c.out(), "The phone did not confirm the unmount")) << c.out();
        EXPECT_FALSE(has(c.out(), "Verify OK")) << c.out();
    }
    {
        // Changed on the phone: a directory gone with its file, another file shorter.
        fs::remove_all(path("phone") / "nand" / "d" / "e");
        write(path("phone") / "nand" / "b.txt", "bb");
        ChildProcess c(ZRK410_EXE, {"--sim=preload=" + state(), "verify", "--qix", qix}, kEnv);
        EXPECT_EQ(c.wait(), EXIT_PHONE_FAILED) << c.out() << c.err();
        EXPECT_TRUE(has(c.out(), "Checking a directory \"/d/e\"... missing!\n")) << c.out();
        EXPECT_TRUE(has(c.out(),
                        "Verify FAILED: directory \"/d/e\" is missing\n"
                        "Verify FAILED: \"/d/e/z.dat\" is missing\n"))
            << c.out();
        EXPECT_TRUE(has(c.err(), "directory \"/d/e\" is missing")) << c.err();
        EXPECT_FALSE(has(c.out(), "Writing a file"));
    }
}

TEST_F(VerifyRun, BothPartsInOneRunAndAGoodVerifyLetsThePhoneBeSwitchedOn) {
    ChildProcess c(
        ZRK410_EXE,
        {"--sim=state-out=" + state(), "--speed", "921600", "download", "--bin",
         path("fw.bin").string(), "--qix", path("fs.qix").string(), "--verify", "--power-on"},
        kEnv);
    ASSERT_EQ(c.wait(), EXIT_OK) << c.out() << c.err();
    EXPECT_TRUE(has(c.out(), "Verify OK: 70536 bytes in 2 sectors"));
    EXPECT_TRUE(has(c.out(), "Verify OK: 10003 bytes in 3 files, 2 directories"));
    ChildProcess both(ZRK410_EXE,
                      {"--quiet", "--sim=preload=" + state(), "verify", "--bin",
                       path("fw.bin").string(), "--qix", path("fs.qix").string()},
                      kEnv);
    EXPECT_EQ(both.wait(), EXIT_OK) << both.out() << both.err();
    EXPECT_EQ(both.out(), "Verify completed!\nVerify completed!\n");
}

}  // namespace
}  // namespace zrk::cli
