// The windows are laid out in dialog units scaled by one factor, in the faces asked for; no
// caption may be cut off by its control.
#include <QCheckBox>
#include <QFontInfo>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOption>

#include "WindowFixture.h"
#include "app/AboutDialog.h"
#include "app/DialogUnits.h"
#include "app/WrappingToggleButton.h"

namespace zrk::test {
namespace {

QRect dialogUnits(int x, int y, int width, int height) {
    const int left = dialogUnitsToPixels(x);
    const int top = dialogUnitsToPixels(y);
    return {left, top, dialogUnitsToPixels(x + width) - left,
            dialogUnitsToPixels(y + height) - top};
}

// Problems with the captions of every button, box, radio and label under a window.
QStringList clippedCaptions(QWidget& window) {
    QStringList problems;
    for (QAbstractButton* button : window.findChildren<QAbstractButton*>()) {
        const QFontMetrics metrics(button->font());
        const QSize text = metrics.size(0, button->text());
        int needed = text.width();
        if (qobject_cast<QCheckBox*>(button) || qobject_cast<QRadioButton*>(button)) {
            needed += button->style()->pixelMetric(QStyle::PM_IndicatorWidth) +
                      button->style()->pixelMetric(QStyle::PM_CheckBoxLabelSpacing);
        } else if (qobject_cast<WrappingToggleButton*>(button)) {
            const QRect bound =
                metrics.boundingRect(QRect(0, 0, button->width() - 8, 1000),
                                     Qt::AlignCenter | Qt::TextWordWrap, button->text());
            if (bound.height() + 6 > button->height() || bound.width() + 8 > button->width())
                problems << button->objectName();
            continue;
        } else {
            needed += 6;  // the frame and a little air
        }
        if (needed > button->width() || text.height() > button->height())
            problems << QStringLiteral("%1 needs %2x%3, has %4x%5")
                            .arg(button->objectName())
                            .arg(needed)
                            .arg(text.height())
                            .arg(button->width())
                            .arg(button->height());
    }
    for (QLabel* label : window.findChildren<QLabel*>()) {
        const QSize text = QFontMetrics(label->font()).size(0, label->text());
        if (text.width() > label->width() || text.height() > label->height())
            problems << label->objectName();
    }
    for (QGroupBox* group : window.findChildren<QGroupBox*>()) {
        if (QFontMetrics(group->font()).horizontalAdvance(group->title()) + 12 > group->width())
            problems << group->objectName();
    }
    return problems;
}

class Layout : public WindowFixture {};

TEST_F(Layout, TheMainWindowIsScaledFromDialogUnitsAndFixed) {
    open();
    EXPECT_EQ(window->size(), QSize(dialogUnitsToPixels(370), dialogUnitsToPixels(348)));
    EXPECT_EQ(window->minimumSize(), window->maximumSize());
    EXPECT_EQ(w("startButton")->geometry(), dialogUnits(282, 22, 38, 35));
    EXPECT_EQ(w("logView")->geometry(), dialogUnits(7, 241, 356, 90));
    EXPECT_EQ(w("modeBinQixRadio")->geometry(), dialogUnits(296, 202, 51, 15));
    EXPECT_EQ(window->windowTitle(), "ZR-K410 Downloader v3.2");
    EXPECT_FALSE(window->windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_TRUE(window->windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(window->windowIcon().isNull());
}

TEST_F(Layout, CaptionsAreTheProgramsOwnAndNoneIsCutOff) {
    open();
    EXPECT_EQ(w<QGroupBox>("serialGroup")->title(), " Serial Port ");
    EXPECT_EQ(w<QGroupBox>("filesGroup")->title(), "  Files to Download  ");
    EXPECT_EQ(w<QAbstractButton>("startAddressBox")->text(), "Start NOR Addr(hex):");
    EXPECT_EQ(w<QAbstractButton>("powerOnToggle")->text(), "Power-ON after download");
    EXPECT_TRUE(w<QAbstractButton>("powerOnToggle")->isCheckable());
    EXPECT_EQ(w<QAbstractButton>("autoDownloadBox")->text(), "AutoDownLoader");
    EXPECT_EQ(w<QLabel>("binSizeLabel")->text(), "Size :");
    EXPECT_EQ(clippedCaptions(*window), QStringList());
    AboutDialog about;
    EXPECT_EQ(clippedCaptions(about), QStringList());
}

TEST_F(Layout, TheFacesAreAskedForByName) {
    open();
    EXPECT_EQ(QFontInfo(window->font()).family(), "DejaVu Sans");
    AboutDialog about;
    const QFontInfo notes(about.findChild<QWidget*>("notesField")->font());
    EXPECT_EQ(notes.family(), "DejaVu Sans Mono");
    EXPECT_TRUE(notes.fixedPitch());
}

}  // namespace
}  // namespace zrk::test
