#include "filesystem/explorer/FolderCopySummary.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "filesystem/explorer/FolderCopyTarget.h"
#include "support/TempDir.h"

namespace zrk {
namespace {

FolderCopySummary withFailures(std::size_t count) {
    FolderCopySummary summary;
    summary.files = 3;
    summary.bytes = 1234;
    summary.directories = 2;
    summary.elapsedSeconds = 75;
    for (std::size_t i = 0; i < count; ++i)
        summary.failures.push_back({"/f" + std::to_string(i), "reason " + std::to_string(i)});
    return summary;
}

TEST(FolderCopySummary, TheOutcomeTellsAStopFromAMissingTopFromFilesThatFailed) {
    const FolderCopySummary clean = withFailures(0);
    const OperationOutcome done = folderCopyOutcome(clean, std::nullopt, false, false);
    EXPECT_EQ(done.operation, Operation::Explorer);
    EXPECT_TRUE(done.completed());
    EXPECT_EQ(done.bytes, 1234u);
    EXPECT_EQ(done.elapsedSeconds, 75);

    const FolderCopySummary failed = withFailures(2);
    const OperationOutcome phone = folderCopyOutcome(failed, std::nullopt, false, false);
    EXPECT_EQ(phone.kind, OutcomeKind::Failed);
    EXPECT_EQ(phone.cause, FailureCause::PhoneReply);
    EXPECT_EQ(phone.detail, "2 of the files and folders could not be copied");
    EXPECT_EQ(folderCopyOutcome(failed, std::nullopt, false, true).cause, FailureCause::File);

    // The top directory's own complaint, not a count.
    const OperationOutcome missing = folderCopyOutcome(withFailures(1), std::nullopt, true, true);
    EXPECT_EQ(missing.cause, FailureCause::NotOnPhone);
    EXPECT_EQ(missing.detail, "reason 0");

    // A stop or a lost link is what the copy ended in, whatever failed before it.
    OperationOutcome lost;
    lost.kind = OutcomeKind::LinkLost;
    lost.cause = FailureCause::Port;
    lost.detail = "unplugged";
    const OperationOutcome cut = folderCopyOutcome(failed, lost, true, true);
    EXPECT_EQ(cut.kind, OutcomeKind::LinkLost);
    EXPECT_EQ(cut.cause, FailureCause::Port);
    EXPECT_EQ(cut.detail, "unplugged");
    EXPECT_EQ(cut.bytes, 1234u);
}

TEST(FolderCopySummary, TheClosingLogNamesEveryFailureShownSafelyAndAStop) {
    EXPECT_EQ(folderCopyClosingLog(withFailures(0)),
              std::vector<std::string>{
                  "\r\n** Copied 3 files (1234 bytes) and 2 folders in 01:15 **\r\n"});

    FolderCopySummary summary = withFailures(1);
    summary.failures.push_back({"/a\x1B[2Jb", "no\r\nroom"});
    summary.stopped = true;
    const std::vector<std::string> lines = folderCopyClosingLog(summary);
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[1], "** 2 could not be copied: **\r\n");
    EXPECT_EQ(lines[2], "   /f0: reason 0\r\n");
    // A name or reason never moves the cursor or breaks the line.
    EXPECT_EQ(lines[3].find_first_of("\x1B"), std::string::npos) << lines[3];
    EXPECT_EQ(lines[3].find("\r\n"), lines[3].size() - 2) << lines[3];
    EXPECT_EQ(lines[4], "** The copy was stopped before its end **\r\n");
}

TEST(FolderCopyTarget, APlaceIsClaimedOnceAndAnEmptyFileNeverReplacesOneThatIsThere) {
    test::TempDir dir;
    FolderCopyTarget target;
    std::string why;
    ASSERT_TRUE(target.open(dir.file("copy"), &why)) << why;
    EXPECT_TRUE(target.claim({"docs"}));
    EXPECT_FALSE(target.claim({"docs"}));
    EXPECT_TRUE(target.claim({"docs", "a.txt"}));

    ASSERT_TRUE(target.makeFolder({"docs"}, &why)) << why;
    // The folder gave the name out once; a second folder of the same name is refused too.
    EXPECT_FALSE(target.makeFolder({"docs"}, &why));
    ASSERT_TRUE(target.makeEmptyFile({"docs", "a.txt"}, &why)) << why;
    EXPECT_EQ(std::filesystem::file_size(pathOfText(dir.file("copy/docs/a.txt"))), 0u);
    EXPECT_FALSE(target.makeEmptyFile({"docs", "a.txt"}, &why));
    EXPECT_FALSE(target.makeEmptyFile({"nowhere", "b.txt"}, &why)) << "its folder was never made";
    EXPECT_NE(target.pathOf({"docs", "a.txt"}).find("docs"), std::string::npos);

    // Closed, everything may be claimed again by the next copy.
    target.close();
    EXPECT_FALSE(target.isOpen());
    EXPECT_TRUE(target.claim({"docs"}));
}

}  // namespace
}  // namespace zrk
