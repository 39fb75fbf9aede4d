// zrk410 over several simulated phones at once and in a loop, as a production line runs it:
// four phones download, read back and report together while the one with a fault fails alone;
// three phones in a row on one cable are served and counted; the exit code and the report say
// exactly what happened, and the report conforms to the project's schema.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>

#include "ChildProcess.h"
#include "cli/ExitCodes.h"
#include "cli/ExitRanking.h"
#include "cli/OutputNames.h"
#include "support/JsonSchemaCheck.h"
#include "support/TempDir.h"
#include "support/TestImages.h"

namespace zrk::cli {
namespace {

using test::ChildProcess;

const std::vector<std::string> kEnv = {"ZRK_PHONESIM=" ZRK_PHONESIM_EXE};

nlohmann::json readJson(const std::string& path) {
    std::ifstream in(path);
    return nlohmann::json::parse(in);
}

void expectConforms(const nlohmann::json& report) {
    std::ifstream in(ZRK_REPORT_SCHEMA);
    const auto problems = test::JsonSchemaCheck(nlohmann::json::parse(in)).problems(report);
    EXPECT_TRUE(problems.empty()) << problems.front() << "\n" << report.dump(2);
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        out.push_back(line);
    return out;
}

TEST(SeveralPhones, FourDownloadAndVerifyAtOnceAndTheFaultyOneFailsAlone) {
    test::TempDir dir;
    const auto image = test::randomImage(150000, 16);
    const std::string bin = dir.write("fw.bin", image);
    const std::string report = dir.file("run.json");
    // COM3 stores one byte wrong while every sum it reports is right: only the read-back sees it.
    ChildProcess c(ZRK410_EXE,
                   {"--sim", "--phones", "4", "--sim-port", "COM3:corrupt-nor=0x10005", "--speed",
                    "921600", "--report", report, "download", "--bin", bin, "--verify"},
                   kEnv);
    ASSERT_EQ(c.wait(), EXIT_PHONE_FAILED) << c.out() << c.err();

    // Not on a terminal: every log line whole, under its port's name, up to the summary.
    const auto out = lines(c.out());
    std::size_t table = 0;
    while (table < out.size() && out[table].rfind("port ", 0) != 0)
        ++table;
    ASSERT_LT(table, out.size()) << c.out();
    std::map<std::string, int> completed;
    for (std::size_t i = 0; i + 1 < table; ++i) {
        const std::string& line = out[i];
        ASSERT_TRUE(line.size() >= 5 && line.rfind("COM", 0) == 0 && line[4] == ':') << line;
        // Text of one port never continues another's line.
        EXPECT_FALSE(std::regex_search(line.substr(5), std::regex("COM[0-9]:"))) << line;
        if (line.find("Download completed!") != std::string::npos)
            ++completed[line.substr(0, 4)];
    }
    EXPECT_EQ(completed, (std::map<std::string, int>{{"COM1", 1}, {"COM2", 1}, {"COM4", 1}}));
    EXPECT_NE(c.out().find("\nCOM3  LMR20TQ55P"), std::string::npos) << c.out();
    EXPECT_NE(c.out().find("4 phones: 3 passed, 1 failed"), std::string::npos);
    EXPECT_NE(c.err().find("zrk410: COM3: the download failed: the phone does not hold the image"),
              std::string::npos)
        << c.err();
    for (const char* good : {"COM1", "COM2", "COM4"})
        EXPECT_EQ(c.err().find(std::string("zrk410: ") + good), std::string::npos) << c.err();

    const auto j = readJson(report);
    expectConforms(j);
    EXPECT_EQ(j["exitCode"], EXIT_PHONE_FAILED);
    EXPECT_EQ(j["summary"]["phones"], 4);
    EXPECT_EQ(j["summary"]["failed"], 1);
    ASSERT_EQ(j["ports"].size(), 4u);
    for (const auto& port : j["ports"]) {
        ASSERT_EQ(port["phones"].size(), 1u);
        const auto& phone = port["phones"][0];
        const bool faulty = port["port"] == "COM3";
        EXPECT_EQ(phone["passed"], !faulty) << port["port"];
        EXPECT_EQ(phone["flash"]["name"], "LMR20TQ55P");
        ASSERT_EQ(phone["operations"].size(), 2u);
        EXPECT_EQ(phone["operations"][0]["operation"], "bring-up");
        const auto& download = phone["operations"][1];
        EXPECT_EQ(download["operation"], "firmware-download");
        EXPECT_EQ(download["images"][0]["size"], image.size());
        EXPECT_EQ(download["outcome"], faulty ? "failed" : "completed");
        EXPECT_EQ(download["cause"], faulty ? "verify" : "none");
        EXPECT_EQ(download["verify"], faulty ? "failed" : "passed");
        EXPECT_EQ(phone["exitCode"], faulty ? EXIT_PHONE_FAILED : EXIT_OK);
    }
}

TEST(SeveralPhones, TheLoopServesThreePhonesInARowAndCountsThem) {
    test::TempDir dir;
    const std::string bin = dir.write("fw.bin", test::randomImage(70000, 17));
    const std::string report = dir.file("loop.json");
    // The cable brings three phones, one after another's close, then stays empty.
    ChildProcess c(ZRK410_EXE,
                   {"--sim=phones-in-a-row=3", "--loop", "--speed", "921600", "--report", report,
                    "download", "--bin", bin},
                   kEnv);
    ASSERT_TRUE(c.waitForOutput("COM1: phone 3 passed", std::chrono::seconds(240))) << c.out();
    // No fourth phone comes: Ctrl-C while the port waits ends the shift, not a phone.
    c.signal(SIGINT);
    ASSERT_EQ(c.wait(), EXIT_OK) << c.out() << c.err();
    EXPECT_EQ(c.out().find("phone 4"), std::string::npos) << c.out();
    EXPECT_NE(c.out().find("phones  passed  failed"), std::string::npos) << c.out();
    EXPECT_NE(c.out().find("3 phones: 3 passed, 0 failed"), std::string::npos) << c.out();

    const auto j = readJson(report);
    expectConforms(j);
    EXPECT_EQ(j["exitCode"], EXIT_OK);
    ASSERT_EQ(j["ports"][0]["phones"].size(), 3u);
    for (int n = 0; n < 3; ++n) {
        EXPECT_EQ(j["ports"][0]["phones"][n]["number"], n + 1);
        EXPECT_EQ(j["ports"][0]["phones"][n]["result"], "passed");
    }
}

TEST(SeveralPhones, APortThatGoesAwayBetweenPhonesStopsServingWithoutCountingAPhone) {
    // One phone, then the adapter is pulled out while the port waits for the next.
    ChildProcess c(ZRK410_EXE, {"--sim=phones-in-a-row=1,unplug-after-row", "--loop", "identify"},
                   kEnv);
    EXPECT_EQ(c.wait(std::chrono::seconds(120)), EXIT_PORT_OR_FILE) << c.out() << c.err();
    EXPECT_NE(c.out().find("COM1: phone 1 passed"), std::string::npos) << c.out();
    EXPECT_EQ(c.out().find("phone 2"), std::string::npos) << c.out();
    EXPECT_NE(c.out().find("1 phone: 1 passed, 0 failed"), std::string::npos) << c.out();
    // Pulled before the port was opened again, or while it waited: the open or the wait says so.
    EXPECT_TRUE(c.err().find("went away while waiting for the next phone") != std::string::npos ||
                c.err().find("cannot use the port") != std::string::npos)
        << c.err();
    EXPECT_NE(c.err().find("no more phones on this port"), std::string::npos) << c.err();
}

TEST(SeveralPhones, CtrlCClosesEveryLink) {
    test::TempDir dir;
    const std::string bin = dir.write("fw.bin", test::randomImage(2 << 20, 18));
    const std::string report = dir.file("cut.json");
    ChildProcess c(ZRK410_EXE,
                   {"--sim=pace", "--phones", "2", "--speed", "921600", "--report", report,
                    "download", "--bin", bin},
                   kEnv);
    ASSERT_TRUE(c.waitForOutput("COM1: Address 0x10010000", std::chrono::seconds(120)));
    ASSERT_TRUE(c.waitForOutput("COM2: Address 0x10010000", std::chrono::seconds(120)));
    c.signal(SIGINT);
    ASSERT_EQ(c.wait(), EXIT_INTERRUPTED) << c.out() << c.err();
    for (const char* port : {"COM1", "COM2"}) {
        EXPECT_NE(c.out().find(std::string(port) + ": ** Close COM port"), std::string::npos);
        EXPECT_NE(c.err().find(std::string("zrk410: ") + port + ": interrupted"), std::string::npos)
            << c.err();
    }
    const auto j = readJson(report);
    expectConforms(j);
    for (const auto& port : j["ports"]) {
        EXPECT_EQ(port["phones"][0]["result"], "interrupted");
        EXPECT_EQ(port["phones"][0]["operations"][1]["outcome"], "stopped");
    }
}

TEST(SeveralPhones, ExitClassesRankAndFilesArePerPort) {
    EXPECT_EQ(moreSerious(EXIT_OK, EXIT_TIMEOUT), EXIT_TIMEOUT);
    EXPECT_EQ(moreSerious(EXIT_TIMEOUT, EXIT_PHONE_FAILED), EXIT_PHONE_FAILED);
    EXPECT_EQ(moreSerious(EXIT_PHONE_FAILED, EXIT_USAGE), EXIT_USAGE);
    // A name the phone does not hold is the user's to mend, as a usage is; a failing phone
    // needs less of them.
    EXPECT_EQ(moreSerious(EXIT_NOT_ON_PHONE, EXIT_PHONE_FAILED), EXIT_NOT_ON_PHONE);
    EXPECT_EQ(moreSerious(EXIT_NOT_ON_PHONE, EXIT_USAGE), EXIT_USAGE);
    EXPECT_EQ(moreSerious(EXIT_PORT_OR_FILE, EXIT_USAGE), EXIT_PORT_OR_FILE);
    EXPECT_EQ(moreSerious(EXIT_PORT_OR_FILE, EXIT_UNAVAILABLE), EXIT_UNAVAILABLE);
    EXPECT_EQ(moreSerious(EXIT_INTERRUPTED, EXIT_UNAVAILABLE), EXIT_INTERRUPTED);

    EXPECT_EQ(perPortPath("out/dump.bin", "COM2"), "out/dump-COM2.bin");
    EXPECT_EQ(perPortPath("trace", "/dev/ttyUSB0"), "trace-ttyUSB0");
    EXPECT_EQ(perPortPath("a.d/trace", "COM1"), "a.d/trace-COM1");
    EXPECT_EQ(perPortPath(".hidden", "COM1"), ".hidden-COM1");
}

TEST(SeveralPhones, UsageMistakesAreRefusedBeforeAnyPhone) {
    for (const auto& args : std::vector<std::vector<std::string>>{
             {"--phones", "2", "identify"},                                      // no --sim
             {"--sim", "--phones", "2", "--sim-port", "COM3:pace", "identify"},  // no COM3
             {"--sim", "--sim-port", "pace", "identify"},                        // not COMn:OPTIONS
             {"--port", "COM1", "--ports", "com1,COM2", "identify"},             // COM1 twice
             {"--sim", "--loop", "dump", "--sectors", "0", "--out", "x.bin"},
             {"--sim", "--loop", "fs", "pull", "/", "never-made"},
             {"--sim", "--loop", "fs", "backup", "never-made"},
             {"--ports", "COM1,nonsense", "identify"},
         }) {
        ChildProcess c(ZRK410_EXE, args, kEnv);
        EXPECT_EQ(c.wait(), EXIT_USAGE) << args[0] << " " << args[1] << "\n" << c.err();
        EXPECT_NE(c.err().find("--"), std::string::npos) << c.err();
    }
    EXPECT_FALSE(std::filesystem::exists("never-made"));
}

TEST(SeveralPhones, EachPhoneCopiesIntoAFolderOfItsOwnAndSaysWhich) {
    test::TempDir dir;
    for (const char* phone : {"one", "two"}) {
        std::filesystem::create_directories(dir.file(phone) + "/nand/docs");
        std::ofstream(dir.file(phone) + "/nand/docs/" + phone + ".txt") << phone;
    }
    const std::vector<std::string> phones = {"--sim",
                                             "--phones",
                                             "2",
                                             "--sim-port",
                                             "COM1:preload=" + dir.file("one"),
                                             "--sim-port",
                                             "COM2:preload=" + dir.file("two")};
    auto with = [&](std::vector<std::string> command) {
        std::vector<std::string> args = phones;
        args.insert(args.end(), command.begin(), command.end());
        return args;
    };
    ChildProcess pull(ZRK410_EXE, with({"fs", "pull", "/docs", dir.file("saved")}), kEnv);
    ASSERT_EQ(pull.wait(), EXIT_OK) << pull.out() << pull.err();
    EXPECT_FALSE(std::filesystem::exists(dir.file("saved")));
    EXPECT_TRUE(std::filesystem::exists(dir.file("saved-COM1/one.txt")));
    EXPECT_FALSE(std::filesystem::exists(dir.file("saved-COM1/two.txt")));
    EXPECT_TRUE(std::filesystem::exists(dir.file("saved-COM2/two.txt")));
    EXPECT_FALSE(std::filesystem::exists(dir.file("saved-COM2/one.txt")));
    for (const char* port : {"COM1", "COM2"}) {
        const std::regex said(std::string(port) + ": .*" + dir.file("saved-") + port);
        EXPECT_TRUE(std::regex_search(pull.out() + pull.err(), said)) << pull.out() << pull.err();
    }

    ChildProcess backup(ZRK410_EXE, with({"fs", "backup", dir.file("bk")}), kEnv);
    ASSERT_EQ(backup.wait(), EXIT_OK) << backup.out() << backup.err();
    EXPECT_FALSE(std::filesystem::exists(dir.file("bk.qix")));
    for (const char* port : {"COM1", "COM2"}) {
        const std::string image = dir.file("bk-") + port + ".qix";
        EXPECT_TRUE(std::filesystem::exists(image)) << image;
        EXPECT_TRUE(std::filesystem::exists(dir.file("bk-") + port + ".cfg"));
    }

    // A folder already holding something is refused for a backup before any phone.
    std::filesystem::create_directories(dir.file("full-COM2"));
    std::ofstream(dir.file("full-COM2/x")) << "x";
    ChildProcess refused(ZRK410_EXE, with({"fs", "backup", dir.file("full")}), kEnv);
    EXPECT_EQ(refused.wait(), EXIT_USAGE) << refused.err();
    EXPECT_NE(refused.err().find("full-COM2: not empty"), std::string::npos) << refused.err();
    EXPECT_FALSE(std::filesystem::exists(dir.file("full-COM1")));
}

TEST(SeveralPhones, OnePhoneWithAReportPrintsWhatItPrintsWithout) {
    test::TempDir dir;
    const std::string report = dir.file("one.json");
    ChildProcess plain(ZRK410_EXE, {"--sim", "identify"}, kEnv);
    ChildProcess reported(ZRK410_EXE, {"--sim", "--report", report, "identify"}, kEnv);
    ASSERT_EQ(plain.wait(), EXIT_OK);
    ASSERT_EQ(reported.wait(), EXIT_OK) << reported.err();
    EXPECT_EQ(reported.out(), plain.out());
    const auto j = readJson(report);
    expectConforms(j);
    EXPECT_EQ(j["command"], "identify");
    EXPECT_EQ(j["ports"][0]["port"], "COM1");
    EXPECT_EQ(j["ports"][0]["phones"][0]["flash"]["id"], "00EC22FC00010000");
}

}  // namespace
}  // namespace zrk::cli
