// The sector window: its lines, and every way of ticking sectors, written straight into the
// caller's flags.
#include "app/dialogs/SectorSelectDialog.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QCoreApplication>
#include <QFontInfo>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <numeric>

#include "engine/SectorMap.h"

namespace zrk {
namespace {

class SectorDialog : public ::testing::Test {
  protected:
    SectorDialog() {
        map.activate();
        dialog = std::make_unique<SectorSelectDialog>(map, flags);
        dialog->setWarning([this](QWidget*, const QString& text) { warnings << text; });
        list = dialog->findChild<QListWidget*>("sectorList");
    }
    int ticked() const { return std::accumulate(flags.begin(), flags.end(), 0); }
    void click(const char* name) { dialog->findChild<QPushButton*>(name)->click(); }
    void range(int from, int to) {
        dialog->findChild<QComboBox*>("fromList")->setCurrentIndex(from);
        dialog->findChild<QComboBox*>("toList")->setCurrentIndex(to);
        click("rangeButton");
    }
    bool tickShown(int i) { return list->item(i)->checkState() == Qt::Checked; }
    void doubleClick(int i) {
        dialog->show();
        list->scrollToItem(list->item(i));
        QCoreApplication::processEvents();  // lay the rows out before aiming at one
        const QPoint at = list->visualItemRect(list->item(i)).center();
        // What a person's double-click delivers: a click, then the double-click.
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
    }
    // Every tick on screen matches its flag.
    bool ticksMirrorFlags() {
        for (int i = 0; i < SectorMap::kSectorCount; ++i) {
            if (tickShown(i) != (flags[i] != 0))
                return false;
        }
        return true;
    }

    SectorMap map;
    std::vector<std::int32_t> flags = std::vector<std::int32_t>(SectorMap::kSectorCount, 0);
    std::unique_ptr<SectorSelectDialog> dialog;
    QListWidget* list = nullptr;
    QStringList warnings;
};

TEST_F(SectorDialog, ListsEverySectorWithItsAddressesAndSize) {
    EXPECT_EQ(dialog->windowTitle(), "Flash Sector Information");
    ASSERT_EQ(list->count(), 519);
    EXPECT_EQ(list->item(0)->text(), "000: 0x10000000 ~ 0x1000FFFF (64KBytes)");
    EXPECT_EQ(list->item(510)->text(), "510: 0x11FE0000 ~ 0x11FEFFFF (64KBytes)");
    EXPECT_EQ(list->item(511)->text(), "511: 0x11FF0000 ~ 0x11FF1FFF ( 8KBytes)");
    EXPECT_EQ(list->item(518)->text(), "518: 0x11FFE000 ~ 0x11FFFFFF ( 8KBytes)");
    auto* from = dialog->findChild<QComboBox*>("fromList");
    auto* to = dialog->findChild<QComboBox*>("toList");
    EXPECT_EQ(from->count(), 519);
    EXPECT_EQ(to->itemText(518), "518");
    EXPECT_EQ(from->currentText(), "000");
    EXPECT_EQ(to->currentText(), "000");
    EXPECT_EQ(ticked(), 0);
    EXPECT_TRUE(ticksMirrorFlags());
    EXPECT_TRUE(QFontInfo(list->font()).fixedPitch());
}

TEST_F(SectorDialog, ButtonsCarryTheirTwoLineCaptions) {
    EXPECT_EQ(dialog->findChild<QPushButton*>("selectAllButton")->text(), "Select\n  All");
    EXPECT_EQ(dialog->findChild<QPushButton*>("clearAllButton")->text(), "Clear\n All");
    EXPECT_EQ(dialog->findChild<QPushButton*>("invertButton")->text(), " Invert\nSelection");
    EXPECT_EQ(dialog->findChild<QPushButton*>("rangeButton")->text(), "Select");
    EXPECT_TRUE(dialog->findChild<QPushButton*>("acceptButton")->isDefault());
    EXPECT_EQ(dialog->findChild<QPushButton*>("cancelButton")->text(), "EXIT");
}

TEST_F(SectorDialog, DoubleClickTogglesALine) {
    doubleClick(3);
    EXPECT_EQ(flags[3], 1);
    EXPECT_EQ(ticked(), 1);
    doubleClick(3);
    EXPECT_EQ(flags[3], 0);
    doubleClick(518);
    EXPECT_EQ(flags[518], 1);
    EXPECT_TRUE(ticksMirrorFlags());
}

TEST_F(SectorDialog, ClickingTheMarkOrPressingSpaceChangesNothing) {
    dialog->show();
    QCoreApplication::processEvents();
    list->setCurrentRow(4);
    QTest::keyClick(list, Qt::Key_Space);
    const QRect row = list->visualItemRect(list->item(4));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                      QPoint(row.left() + 8, row.center().y()));
    EXPECT_EQ(ticked(), 0);
    EXPECT_TRUE(ticksMirrorFlags());
}

TEST_F(SectorDialog, InvertTwiceReturnsToNone) {
    click("invertButton");
    EXPECT_EQ(ticked(), 519);
    click("invertButton");
    EXPECT_EQ(ticked(), 0);
    flags[7] = 1;  // as the caller left it: inverting works on the flags
    click("invertButton");
    EXPECT_EQ(flags[7], 0);
    EXPECT_EQ(ticked(), 518);
    EXPECT_TRUE(ticksMirrorFlags());
}

TEST_F(SectorDialog, SelectAllAndClearAll) {
    click("selectAllButton");
    EXPECT_EQ(ticked(), 519);
    EXPECT_TRUE(ticksMirrorFlags());
    click("clearAllButton");
    EXPECT_EQ(ticked(), 0);
    EXPECT_TRUE(ticksMirrorFlags());
}

TEST_F(SectorDialog, RangesAddToTheTicks) {
    range(5, 5);
    EXPECT_EQ(ticked(), 1);
    EXPECT_EQ(flags[5], 1);
    doubleClick(3);
    range(10, 12);
    EXPECT_EQ(ticked(), 5);
    EXPECT_EQ(flags[10] + flags[11] + flags[12], 3);
    range(510, 518);
    EXPECT_EQ(flags[509], 0);
    EXPECT_EQ(flags[518], 1);
    EXPECT_TRUE(warnings.isEmpty());
    EXPECT_TRUE(ticksMirrorFlags());
}

TEST_F(SectorDialog, ABackwardRangeIsRefusedAndChangesNothing) {
    range(12, 10);
    EXPECT_EQ(warnings, QStringList{"Selection Error!"});
    EXPECT_EQ(ticked(), 0);
}

TEST_F(SectorDialog, StartAcceptsAndExitCancelsLeavingTheFlags) {
    range(0, 2);
    click("acceptButton");
    EXPECT_EQ(dialog->result(), QDialog::Accepted);
    EXPECT_EQ(ticked(), 3);
    SectorSelectDialog second(map, flags);
    EXPECT_EQ(second.findChild<QListWidget*>("sectorList")->item(1)->checkState(), Qt::Checked);
    second.findChild<QPushButton*>("cancelButton")->click();
    EXPECT_EQ(second.result(), QDialog::Rejected);
    EXPECT_EQ(ticked(), 3);
}

TEST_F(SectorDialog, StartWithNothingTickedSaysSoAndStaysOpen) {
    dialog->show();
    click("acceptButton");
    EXPECT_EQ(warnings, QStringList{QStringLiteral("No sector selected!")});
    EXPECT_TRUE(dialog->isVisible());
    // The person can still tick one and start.
    range(4, 4);
    click("acceptButton");
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(dialog->result(), QDialog::Accepted);
    EXPECT_EQ(flags[4], 1);
}

}  // namespace
}  // namespace zrk
