// The words a tile shows come from the typed outcome alone, and a phone's report file name is
// safe whatever the port is called.
#include <gtest/gtest.h>

#include "station/FailureWords.h"
#include "station/PortRunner.h"

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

TEST(PhoneReportPath, NamesThePortAndPhoneAndStaysInTheFolder) {
    const report::TimePoint t{std::chrono::milliseconds(1772356502250)};
    EXPECT_EQ(phoneReportPath("/r", "COM3", 2, t), "/r/COM3-phone2-2026-03-01T09-15-02.250Z.json");
    EXPECT_EQ(phoneReportPath("/r/", "/dev/ttyUSB0", 1, t),
              "/r/ttyUSB0-phone1-2026-03-01T09-15-02.250Z.json");
    // A device path that ends in a slash or dots cannot climb out of the folder.
    EXPECT_EQ(phoneReportPath("/r", "/dev/..", 1, t).rfind("/r/port-phone1-", 0), 0u);
    EXPECT_EQ(phoneReportPath("/r", "/dev/", 1, t).rfind("/r/port-phone1-", 0), 0u);
}

}  // namespace
}  // namespace zrk::station
