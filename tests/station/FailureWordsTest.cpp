// The words a tile shows come from the typed outcome alone, and a phone's report file name is
// safe and its own whatever the port is called.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include "report/RunReport.h"
#include "station/FailureWords.h"
#include "station/PhoneReportFile.h"
#include "support/TempDir.h"

namespace zrk::station {
namespace {

OperationOutcome failed(FailureCause cause, std::string detail = {}) {
    OperationOutcome o;
    o.operation = Operation::Firmware;
    o.kind = OutcomeKind::Failed;
    o.cause = cause;
    o.detail = std::move(detail);
    o.failure.cause = cause;
    o.failure.detail = o.detail;
    return o;
}

TEST(FailureWords, EachKindAndCauseSaysWhatWentWrongNotWhatTheLogSaid) {
    OperationOutcome reply = failed(FailureCause::PhoneReply, "Fail to download sector!");
    reply.failure.exchange = "write a sector";
    reply.failure.expected = 0x3C;
    reply.failure.got = 0x00;
    EXPECT_EQ(failureWords(reply), "wrong reply in \"write a sector\" (expected 0x3C, got 0x00)");
    reply.failure.expected.reset();
    EXPECT_EQ(failureWords(reply), "wrong reply in \"write a sector\" (got 0x00)");

    EXPECT_EQ(failureWords(failed(FailureCause::Verify, "byte 0x10 differs")),
              "verify failed: the phone does not hold the image: byte 0x10 differs");
    // A tile has one line, and control characters from a detail never reach it as such.
    EXPECT_EQ(failureWords(failed(FailureCause::File, "cannot read\r\n fw.bin\x07")),
              "file problem: cannot read fw.bin\\x07");
    EXPECT_EQ(failureWords(failed(FailureCause::Refused)), "refused");

    OperationOutcome lost = failed(FailureCause::Port, "hang-up");
    lost.kind = OutcomeKind::LinkLost;
    EXPECT_EQ(failureWords(lost), "cable pulled or port gone: hang-up");

    OperationOutcome done;
    EXPECT_EQ(failureWords(done), "");
    EXPECT_EQ(silenceWords(""), "the phone fell silent");
    EXPECT_EQ(silenceWords("send the image length"),
              "the phone fell silent in \"send the image length\"");
}

// The report's result sorts a phone that did not pass: the port or a file before a refusal, and
// either before the user's stop, so that a stop that met a dead cable still blames the cable.
TEST(FailureWords, ResultSortsAFailedPhoneByWhatToFix) {
    EXPECT_EQ(resultWords(failed(FailureCause::File)), "port or file problem");
    EXPECT_EQ(resultWords(failed(FailureCause::Port)), "port or file problem");
    OperationOutcome lost = failed(FailureCause::None);
    lost.kind = OutcomeKind::LinkLost;
    EXPECT_EQ(resultWords(lost), "port or file problem");
    EXPECT_EQ(resultWords(failed(FailureCause::Refused)), "refused");

    OperationOutcome stopped = failed(FailureCause::None);
    stopped.kind = OutcomeKind::Stopped;
    EXPECT_EQ(resultWords(stopped), "interrupted");
    stopped.cause = FailureCause::Port;
    EXPECT_EQ(resultWords(stopped), "port or file problem");

    EXPECT_EQ(resultWords(failed(FailureCause::PhoneReply)), "failed");
    EXPECT_EQ(resultWords(failed(FailureCause::Verify)), "failed");
    // Whole seconds, as the option was given.
    EXPECT_EQ(noAnswerWords(std::chrono::milliseconds(30000)), "no phone answered within 30 s");
    EXPECT_EQ(noAnswerWords(std::chrono::milliseconds(1999)), "no phone answered within 1 s");
}

TEST(PhoneReportFile, NamesThePortWholeAndThePhoneAndStaysInTheFolder) {
    EXPECT_EQ(phoneReportName("COM3", 2, 1), "COM3-phone2-1.json");
    EXPECT_EQ(phoneReportName("com3", 2, 1), "COM3-phone2-1.json");
    EXPECT_EQ(phoneReportName("/dev/ttyUSB0", 1, 4), "_dev_ttyUSB0-phone1-4.json");
    // Different paths stay different, whatever they hold; none can climb out or hide.
    EXPECT_NE(reportPortTag("/dev/a_b"), reportPortTag("/dev/a/b"));
    EXPECT_NE(reportPortTag("/dev/a%5Fb"), reportPortTag("/dev/a_b"));
    EXPECT_EQ(reportPortTag("/dev/.."), "_dev_..");
    EXPECT_EQ(reportPortTag("../x").rfind("%2E.", 0), 0u);
    EXPECT_EQ(reportPortTag("/dev/tty\nUSB"), "_dev_tty%0AUSB");
}

TEST(PhoneReportFile, PortsOfOneLastPartAndLaterRunsNeverShareAReport) {
    test::TempDir dir;
    report::RunReport one;
    one.program = "zrk410-gui";
    one.command = "station download";
    std::set<std::string> written;
    for (int i = 0; i < 6; ++i) {
        const std::string port = "/dev/serial/d" + std::to_string(i) + "/ttyUSB0";
        std::string error;
        const std::string path = writePhoneReport(one, dir.file(""), port, 1, &error);
        ASSERT_FALSE(path.empty()) << error;
        EXPECT_TRUE(written.insert(path).second) << path;
    }
    // The next run's first phone on the first port: a report of its own beside the last one.
    const std::string first = *written.begin();
    const auto before = test::TempDir::read(first);
    one.command = "the next run";
    std::string error;
    const std::string again =
        writePhoneReport(one, dir.file(""), "/dev/serial/d0/ttyUSB0", 1, &error);
    EXPECT_TRUE(written.insert(again).second) << again << error;
    EXPECT_EQ(again, dir.file("_dev_serial_d0_ttyUSB0-phone1-2.json"));
    EXPECT_EQ(test::TempDir::read(first), before);
    std::size_t files = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir.file("")))
        ++files;
    EXPECT_EQ(files, 7u);
}

}  // namespace
}  // namespace zrk::station
