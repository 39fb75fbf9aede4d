// What the command line shows: the log on stdout, the bar on stderr, the log file.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "cli/ProgressMeter.h"
#include "cli/TerminalOutput.h"

namespace zrk::cli {
namespace {

std::string contents(std::FILE* f) {
    std::fflush(f);
    std::rewind(f);
    std::string s;
    char buf[4096];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0)
        s.append(buf, n);
    return s;
}

// Two temporary files standing in for stdout and stderr, and a clock the test moves.
struct Screen {
    Screen(bool outTerminal, bool errTerminal) : out(std::tmpfile()), err(std::tmpfile()) {
        output = std::make_unique<TerminalOutput>(out, err, outTerminal, errTerminal);
        output->now = [this] { return clock; };
        output->width = 100;
    }
    ~Screen() {
        output.reset();
        std::fclose(out);
        std::fclose(err);
    }
    std::FILE* out;
    std::FILE* err;
    double clock = 0;
    std::unique_ptr<TerminalOutput> output;
};

TEST(ProgressMeter, ShowsPercentAmountRateAndTimeLeft) {
    ProgressMeter m;
    m.begin(1024 * 1024, ProgressUnit::Bytes, 0.0);
    EXPECT_NE(m.line(0, 0.0, 100).find("--:-- left"), std::string::npos);
    // 256 KB in 2 s from the first report: 128 KB/s, 768 KB to go = 6 s.
    const std::string line = m.line(256 * 1024, 2.0, 100);
    EXPECT_NE(line.find(" 25%"), std::string::npos) << line;
    EXPECT_NE(line.find("256.0 KB / 1.0 MB"), std::string::npos) << line;
    EXPECT_NE(line.find("128.0 KB/s"), std::string::npos) << line;
    EXPECT_NE(line.find("0:06 left"), std::string::npos) << line;
    EXPECT_EQ(line.find('['), 0u);
    EXPECT_LE(line.size(), 100u);

    const std::string done = m.line(1024 * 1024, 8.0, 100);
    EXPECT_NE(done.find("100%"), std::string::npos);
    EXPECT_EQ(done.find("left"), std::string::npos);
}

TEST(ProgressMeter, CountsDumpsInKilobytesAndErasesInSectors) {
    ProgressMeter dump;
    dump.begin(128, ProgressUnit::Kilobytes, 0.0);
    EXPECT_NE(dump.line(64, 1.0, 100).find("64.0 KB / 128.0 KB"), std::string::npos);
    ProgressMeter erase;
    erase.begin(3, ProgressUnit::Sectors, 0.0);
    erase.line(0, 0.0, 100);
    const std::string line = erase.line(2, 1.0, 100);
    EXPECT_NE(line.find("2 / 3 sectors"), std::string::npos) << line;
    EXPECT_NE(line.find("2.0/s"), std::string::npos) << line;
    // A narrow terminal loses the bar, not the numbers.
    const std::string narrow = erase.line(2, 1.0, 30);
    EXPECT_LE(narrow.size(), 30u);
    EXPECT_EQ(narrow.find('['), std::string::npos);
    EXPECT_EQ(formatDuration(3725), "1:02:05");
    EXPECT_EQ(formatBytes(512), "512 B");
}

TEST(TerminalOutput, LogGoesToStdoutWithUnixLineEndsAndToTheLogFile) {
    Screen s(false, false);
    const auto logPath = std::filesystem::temp_directory_path() / "zrk410-cli-test.log";
    ASSERT_TRUE(s.output->openLogFile(logPath.string()));
    s.output->log("** Wait for Connect Request from Mobile...\r\n** (POWER ON the PHONE!)\r\n");
    s.output->log("Checking FLASH ID... ");
    s.output->line("Unknown Flash!");  // a message box starts its own line
    s.output->diagnostic("bringing the phone up failed");
    s.output->log("a\rb\n");
    EXPECT_TRUE(s.output->closeLogFile());
    const std::string expected =
        "** Wait for Connect Request from Mobile...\n** (POWER ON the PHONE!)\n"
        "Checking FLASH ID... \nUnknown Flash!\na\nb\n";
    EXPECT_EQ(contents(s.out), expected);
    EXPECT_EQ(contents(s.err), "zrk410: bringing the phone up failed\n");
    std::ifstream in(logPath);
    std::stringstream file;
    file << in.rdbuf();
    EXPECT_EQ(file.str(),
              "** Wait for Connect Request from Mobile...\n** (POWER ON the PHONE!)\n"
              "Checking FLASH ID... \nUnknown Flash!\nzrk410: bringing the phone up failed\n"
              "a\nb\n");
    std::filesystem::remove(logPath);
}

TEST(TerminalOutput, QuietKeepsMessagesAndTheLogFileButNotTheLog) {
    Screen s(true, true);
    const auto logPath = std::filesystem::temp_directory_path() / "zrk410-cli-quiet.log";
    ASSERT_TRUE(s.output->openLogFile(logPath.string()));
    s.output->setQuiet(true);
    s.output->log("Erasing sector (0x10000000)... OK!\r\n");
    s.output->progressBegin(3, ProgressUnit::Sectors);
    s.output->progressUpdate(1);
    s.output->line("Erasing Completed!");
    s.output->closeLogFile();
    EXPECT_EQ(contents(s.out), "Erasing Completed!\n");
    EXPECT_EQ(contents(s.err), "");  // no bar
    std::ifstream in(logPath);
    std::stringstream file;
    file << in.rdbuf();
    EXPECT_EQ(file.str(), "Erasing sector (0x10000000)... OK!\nErasing Completed!\n");
    std::filesystem::remove(logPath);
}

TEST(TerminalOutput, BarSharesTheOpenLogLineAndIsWipedBeforeTheLogGoesOn) {
    Screen s(true, true);
    s.output->log("Address 0x10000000... ");
    s.output->progressBegin(65536, ProgressUnit::Bytes);
    s.output->progressUpdate(0);  // nothing to show yet
    EXPECT_EQ(contents(s.err), "");
    s.clock = 1;
    s.output->progressUpdate(2048);
    std::string err = contents(s.err);
    EXPECT_EQ(err.rfind("\r\033[KAddress 0x10000000... [", 0), 0u) << err;
    // Too soon for another frame: nothing drawn.
    s.clock = 1.01;
    s.output->progressUpdate(4096);
    EXPECT_EQ(contents(s.err), err);
    // The log continues: wipe the bar, put the open text back, then the new text; the bar
    // comes back alone on the fresh line.
    s.output->log("OK!\r\n");
    EXPECT_EQ(contents(s.out), "Address 0x10000000... Address 0x10000000... OK!\n");
    err = contents(s.err);
    EXPECT_EQ(err.substr(err.rfind('\r')).rfind("\r\033[K[", 0), 0u);
    s.output->progressEnd();
    err = contents(s.err);
    EXPECT_EQ(err.substr(err.size() - 4), "\r\033[K");
    s.output->progressEnd();
    EXPECT_EQ(contents(s.err).size(), err.size());  // already wiped, nothing more to do
}

TEST(TerminalOutput, WithStdoutRedirectedTheBarStaysAloneOnStderr) {
    Screen s(false, true);
    s.output->log("Address 0x10000000... ");
    s.output->progressBegin(100, ProgressUnit::Bytes);
    s.clock = 1;
    s.output->progressUpdate(100);
    EXPECT_EQ(contents(s.err).rfind("\r\033[K[", 0), 0u);
    s.output->log("OK!\r\n");
    EXPECT_EQ(contents(s.out), "Address 0x10000000... OK!\n");  // nothing repeated
    s.output->diagnostic("done");
    EXPECT_NE(contents(s.err).find("\r\033[Kzrk410: done\n"), std::string::npos);
}

}  // namespace
}  // namespace zrk::cli
