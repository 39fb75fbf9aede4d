// The release notes: twenty entries in three blocks, newest first, in the fixed structure.
#include <QPlainTextEdit>
#include <QRegularExpression>
#include <QScrollBar>

#include <gtest/gtest.h>

#include "app/AboutDialog.h"
#include "app/ReleaseNotes.h"

namespace zrk {
namespace {

const QStringList kVersions = {"3.2", "3.1", "3.0", "2.4", "2.4", "2.3", "2.2",
                               "2.1", "2.0", "1.9", "1.8", "1.7", "1.6", "1.5",
                               "1.4", "1.3", "1.2", "1.1", "1.0", "1.0"};
const QStringList kDates = {"Oct-25-2004",  "Oct-15-2004", "Oct-12-2004", "Sep-15-2004",
                            "Sep-14-2004",  "Sep-03-2004", "Aug-31-2004", "Aug-13-2004",
                            "Aug-06-2004",  "Jul-17-2004", "Jul-12-2004", "Jul-02-2004",
                            "June-28-2004", "May-25-2004", "May-12-2004", "Apr-29-2004",
                            "Mar-31-2004",  "Mar-19-2004", "Mar-03-2004", "Feb-28-2004"};

TEST(ReleaseNotes, ThreeBlocksMakeOneTextWithWindowsLineEnds) {
    const auto& blocks = ReleaseNotes::blocks();
    EXPECT_TRUE(blocks[0].contains("Version 3.2") && blocks[0].contains("Version 3.1"));
    EXPECT_FALSE(blocks[0].contains("Version 3.0"));
    EXPECT_TRUE(blocks[1].startsWith(QString(40, '-') + "\r\n** Version 3.0 "));
    EXPECT_TRUE(blocks[1].contains("Version 1.9") && !blocks[1].contains("Version 1.8"));
    EXPECT_TRUE(blocks[2].contains("Version 1.8") && blocks[2].contains("1.0 beta"));
    EXPECT_TRUE(blocks[0].endsWith("\r\n") && blocks[1].endsWith("\r\n"));
    const QString text = ReleaseNotes::text();
    EXPECT_FALSE(text.endsWith("\n"));
    EXPECT_EQ(text.count("\n"), text.count("\r\n"));
    EXPECT_EQ(text.count("\r"), text.count("\r\n"));
}

TEST(ReleaseNotes, EveryEntryHasItsRulesHeadingAndNumberedItems) {
    const QStringList lines = ReleaseNotes::text().split("\r\n");
    static const QRegularExpression heading(
        R"(^\*\* Version (\d\.\d)( [A-Za-z ]+)? \(built on ([A-Za-z]+-\d\d-2004)\)( \*\*)?$)");
    int entry = 0;
    for (int i = 0; i < lines.size(); ++i) {
        const auto match = heading.match(lines[i]);
        if (!match.hasMatch())
            continue;
        ASSERT_LT(entry, kVersions.size()) << lines[i].toStdString();
        EXPECT_EQ(match.captured(1), kVersions[entry]);
        EXPECT_EQ(match.captured(3), kDates[entry]);
        // Headings of 1.4 and older close with " **".
        EXPECT_EQ(match.captured(4).isEmpty(), entry < 14) << lines[i].toStdString();
        const QString rule(entry == 19 ? 45 : 40, '-');
        ASSERT_GT(i, 0);
        ASSERT_LT(i + 2, lines.size());
        EXPECT_EQ(lines[i - 1], rule);
        EXPECT_EQ(lines[i + 1], rule);
        EXPECT_TRUE(lines[i + 2].startsWith("0. H/W : v") || lines[i + 2].startsWith("1. "))
            << lines[i + 2].toStdString();
        ++entry;
    }
    EXPECT_EQ(entry, 20);
    EXPECT_TRUE(lines.contains("** Version 1.0 beta (built on Feb-28-2004) **"));
    EXPECT_TRUE(lines.contains("** Version 1.6 test beta (built on June-28-2004)"));
}

TEST(AboutDialog, OpensAtTheNewestEntryAndCannotBeEdited) {
    AboutDialog about;
    about.show();
    EXPECT_EQ(about.windowTitle(), "About Downloader");
    auto* field = about.findChild<QPlainTextEdit*>("notesField");
    ASSERT_NE(field, nullptr);
    EXPECT_TRUE(field->isReadOnly());
    EXPECT_TRUE(field->textInteractionFlags() & Qt::TextSelectableByMouse);
    EXPECT_EQ(field->verticalScrollBar()->value(), 0);
    EXPECT_TRUE(about.shownText().startsWith(QString(40, '-') + "\n** Version 3.2 (built on "));
    EXPECT_EQ(about.shownText(), QString(ReleaseNotes::text()).replace("\r\n", "\n"));
}

}  // namespace
}  // namespace zrk
