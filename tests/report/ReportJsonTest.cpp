// The run report's document: what it says for typed outcomes, that it conforms to the schema
// kept in the project (and that the check would notice if it did not), and a file that is
// written whole or not at all.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "report/ReportJson.h"
#include "support/JsonSchemaCheck.h"
#include "support/TempDir.h"

namespace zrk::report {
namespace {

nlohmann::json schema() {
    std::ifstream in(ZRK_REPORT_SCHEMA);
    return nlohmann::json::parse(in);
}

TimePoint at(long long ms) {
    return TimePoint(std::chrono::milliseconds(ms));
}

RunReport sampleReport(const std::string& imagePath) {
    RunReport r;
    r.program = "zrk410";
    r.version = programVersion();
    r.command = "download";
    r.arguments = {"--sim", "download", "--bin", imagePath, "--verify"};
    r.started = at(1'700'000'000'000);
    r.ended = at(1'700'000'012'345);
    r.exitCode = 4;

    UserChoices choices;
    choices.binPath = imagePath;
    choices.useStartNorAddress = true;
    choices.startAddressText = "10020000";
    choices.verifyAfterDownload = true;
    const auto images = imagesFor(choices);

    for (const bool good : {true, false}) {
        PortRecord port;
        port.port = good ? "COM1" : "COM2";
        port.device = "/dev/pts/9";
        PhoneRecord phone;
        phone.flashName = "LMR20TQ55P";
        phone.flashId = std::array<std::uint8_t, 8>{0x00, 0xEC, 0x22, 0xFC, 0x00, 0x01, 0, 0};
        phone.started = r.started;
        phone.ended = r.ended;
        OperationOutcome bringUp;
        phone.operations.push_back(
            makeOperationRecord(bringUp, choices, images, {}, r.started, at(1'700'000'001'000)));
        OperationOutcome download;
        download.operation = Operation::Firmware;
        download.bytes = 5;
        if (!good) {
            download.kind = OutcomeKind::Failed;
            download.cause = FailureCause::Verify;
            download.detail = "at 0x10030005";
        }
        phone.operations.push_back(
            makeOperationRecord(download, choices, images, {}, at(1'700'000'001'000), r.ended));
        phone.passed = good;
        phone.result = good ? "passed" : "failed";
        phone.exitCode = good ? 0 : 4;
        port.phones.push_back(phone);
        r.ports.push_back(port);
    }
    return r;
}

TEST(RunReport, SaysWhatTheTypedOutcomesSaid) {
    test::TempDir dir;
    const std::string image =
        dir.write("fw.bin", std::vector<std::uint8_t>{'a', 'b', 'c', 'd', 'e'});
    const nlohmann::json j = toJson(sampleReport(image));

    EXPECT_EQ(j["started"], "2023-11-14T22:13:20.000Z");
    EXPECT_EQ(j["elapsedSeconds"], 12.345);
    EXPECT_EQ(j["summary"]["passed"], 1);
    EXPECT_EQ(j["summary"]["failed"], 1);
    const auto& good = j["ports"][0]["phones"][0];
    EXPECT_EQ(good["flash"]["id"], "00EC22FC00010000");
    EXPECT_EQ(good["operations"][0]["operation"], "bring-up");
    EXPECT_EQ(good["operations"][0]["images"].size(), 0u);
    EXPECT_EQ(good["operations"][0]["verify"], "not-requested");
    const auto& download = good["operations"][1];
    EXPECT_EQ(download["operation"], "firmware-download");
    EXPECT_EQ(download["verify"], "passed");
    EXPECT_EQ(download["startAddress"], "0x10020000");
    EXPECT_EQ(download["images"][0]["size"], 5);
    EXPECT_EQ(download["images"][0]["crc32"], "0x8587d865");  // CRC-32 of "abcde"
    const auto& bad = j["ports"][1]["phones"][0]["operations"][1];
    EXPECT_EQ(bad["outcome"], "failed");
    EXPECT_EQ(bad["cause"], "verify");
    EXPECT_EQ(bad["verify"], "failed");

    // A download that failed before its read-back could judge says so.
    OperationOutcome cut;
    cut.operation = Operation::Firmware;
    cut.kind = OutcomeKind::LinkLost;
    cut.cause = FailureCause::Port;
    EXPECT_EQ(verifyResultFor(cut, true), VerifyResult::NotFinished);
    EXPECT_EQ(verifyResultFor(cut, false), VerifyResult::NotRequested);
}

TEST(RunReport, ConformsToTheSchemaAndTheCheckNoticesWhatDoesNot) {
    test::TempDir dir;
    const std::string image = dir.write("fw.bin", std::vector<std::uint8_t>(100, 7));
    const test::JsonSchemaCheck check(schema());
    nlohmann::json j = toJson(sampleReport(image));
    const auto problems = check.problems(j);
    EXPECT_TRUE(problems.empty()) << problems.front();

    // An image that could not be read is named without size and CRC, and still conforms.
    std::filesystem::remove(image);
    EXPECT_TRUE(check.problems(toJson(sampleReport(image))).empty());

    auto broken = [&](auto change) {
        nlohmann::json copy = j;
        change(copy);
        return !check.problems(copy).empty();
    };
    EXPECT_TRUE(
        broken([](auto& c) { c["ports"][0]["phones"][0]["operations"][1]["cause"] = "bad luck"; }));
    EXPECT_TRUE(broken([](auto& c) { c["ports"][0]["phones"][0].erase("result"); }));
    EXPECT_TRUE(broken([](auto& c) { c["started"] = "yesterday"; }));
    EXPECT_TRUE(broken([](auto& c) { c["ports"][1]["extra"] = 1; }));
    EXPECT_TRUE(broken([](auto& c) { c["summary"]["phones"] = -1; }));
    EXPECT_TRUE(broken(
        [](auto& c) { c["ports"][0]["phones"][0]["operations"][1]["startAddress"] = "10020000"; }));
}

TEST(RunReport, TheFileIsWrittenWholeOrNotAtAll) {
    test::TempDir dir;
    const std::string path = dir.file("run.json");
    std::string error;
    ASSERT_TRUE(writeReport(sampleReport("missing.bin"), path, &error)) << error;
    std::ifstream in(path);
    EXPECT_EQ(nlohmann::json::parse(in)["command"], "download");
    EXPECT_FALSE(std::filesystem::exists(path + ".part"));

    const std::string nowhere = dir.file("no/run.json");
    EXPECT_FALSE(writeReport(sampleReport("missing.bin"), nowhere, &error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(std::filesystem::exists(nowhere));
}

// A name the user typed or the phone sent need not be UTF-8, which JSON must be: it is written
// as the command line shows it, every stray byte as \xNN, and valid text stays exact.
TEST(RunReport, NamesThatAreNotUtf8AreWrittenEscapedNotRefused) {
    test::TempDir dir;
    const std::string path = dir.file("run.json");
    RunReport r = sampleReport("fw\x9B.bin");
    r.arguments.push_back("/d/Grüße\n");
    std::string error;
    ASSERT_TRUE(writeReport(r, path, &error)) << error;
    std::ifstream in(path);
    const nlohmann::json written = nlohmann::json::parse(in);
    EXPECT_EQ(written["arguments"][3], "fw\\x9B.bin");
    EXPECT_EQ(written["arguments"].back(), "/d/Grüße\n");
}

}  // namespace
}  // namespace zrk::report
