// The control-state tables: start-up, START, an operation's lock and finish in each download
// mode, the mode radios, the start address box and Stop.
#include <QCheckBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include "ControlLayout.h"
#include "WindowFixture.h"
#include "engine/OperationFrame.h"
#include "support/EngineProbe.h"

namespace zrk::test {
namespace {

class ControlStates : public WindowFixture {
  protected:
    std::string all() { return states(kAllControls); }
    // What the engine tells the window once START has opened the port.
    void portOpened() { window->stageChanged(Stage::WaitingForPhone); }
    // The phone identified: the loader phase with the operation controls enabled.
    void identified() {
        link.connected = true;
        portOpened();
        EngineProbe::context(window->engine()).trackOperation(Operation::BringUp);
        EngineProbe::context(window->engine()).setLoaderReady(true);
        EngineProbe::context(window->engine()).finishOperation();
    }
};

TEST_F(ControlStates, StartUpEnablesOnlyWhatNeedsNoPhone) {
    open();
    EXPECT_EQ(all(), layout("EEEDEE DDDDD DE EEE EEEE EEE DD E DD EEEE"));
    EXPECT_TRUE(w<QPushButton>("startButton")->isDefault());
    EXPECT_TRUE(w<QRadioButton>("modeBinRadio")->isChecked());
    EXPECT_FALSE(w<QCheckBox>("autoDownloadBox")->isChecked());
    EXPECT_FALSE(w<QAbstractButton>("powerOnToggle")->isChecked());
    EXPECT_EQ(window->engine().stage(), Stage::Initial);
    EXPECT_EQ(EngineProbe::context(window->engine()).loaderReady(), 0);
}

TEST_F(ControlStates, WhileTheLinkIsLockedOnlyStopAndExitRespond) {
    open();
    portOpened();
    EXPECT_EQ(all(), layout("DDDEDD DDDDD DD DDD DDDD DDD DD D DD EEEE"));
}

TEST_F(ControlStates, FinishingInBinModeOffersTheBinaryRowAndTheStartAddress) {
    open();
    identified();
    EXPECT_EQ(all(), layout("DDDEDE EEEEE EE EEE EEEE EEE DD D ED EEEE"));
    EXPECT_EQ(window->engine().stage(), Stage::Ready);
    // A ticked box brings the field along in this mode (it follows the box).
    click("startAddressBox");
    EngineProbe::context(window->engine()).beginOperation(OP_ERASE);
    EXPECT_EQ(all(), layout("DDDEDD DDDDD DD DDD DDDD DDD DD D DD EEEE"));
    EngineProbe::context(window->engine()).finishOperation();
    EXPECT_TRUE(enabled("startAddressField"));
}

TEST_F(ControlStates, FinishingInQixModeOffersOnlyTheImageRow) {
    open();
    click("modeQixRadio");
    identified();
    EXPECT_EQ(all(), layout("DDDEDE EEEEE EE EEE EEEE DDD EE E DD EEEE"));
}

TEST_F(ControlStates, FinishingInBothModeEnablesTheAddressFieldEvenUnticked) {
    open();
    click("modeBinQixRadio");
    EXPECT_FALSE(enabled("startAddressField"));
    identified();
    EXPECT_EQ(all(), layout("DDDEDE EEEEE EE EEE EEEE EEE EE E EE EEEE"));
    EXPECT_FALSE(window->choices().useStartNorAddress);
}

TEST_F(ControlStates, StopReturnsToTheUnconnectedLayout) {
    open();
    identified();
    click("modeBinQixRadio");
    click("startAddressBox");
    window->heard(FlashNamed{"LMR20TQ55P"});
    window->setProgressRange(100);
    window->setProgressPos(40);
    click("stopButton");
    EXPECT_FALSE(link.connected);
    EXPECT_EQ(all(), layout("EEEDEE DDDDD DD EEE EEEE EEE EE E DD EEEE"));
    EXPECT_EQ(text("flashNameField"), "");
    EXPECT_EQ(w<QProgressBar>("progressBar")->value(), 0);
    EXPECT_TRUE(window->logText().ends_with("\r\n** Close COM port\r\n"));
    EXPECT_EQ(EngineProbe::context(window->engine()).loaderReady(), 0);
}

TEST_F(ControlStates, ModeRadiosSwitchTheFileRows) {
    open();
    EXPECT_FALSE(enabled("startAddressBox"));  // until a mode is chosen or an operation ends
    click("modeBinRadio");
    click("startAddressBox");  // ticked in BIN: field enabled
    const auto rows = {"binPathField", "binButton",    "binSizeField",    "qixPathField",
                       "qixButton",    "qixSizeField", "startAddressBox", "startAddressField"};
    EXPECT_EQ(states(rows), "EEEDDDEE");
    click("modeQixRadio");
    EXPECT_EQ(states(rows), "DDDEEEDD");
    // QIX neither unticks the box nor forgets the choice.
    EXPECT_TRUE(w<QCheckBox>("startAddressBox")->isChecked());
    EXPECT_TRUE(window->choices().useStartNorAddress);
    click("modeBinQixRadio");
    EXPECT_EQ(states(rows), "EEEEEEEE");
    click("modeBinRadio");
    EXPECT_EQ(states(rows), "EEEDDDEE");
    EXPECT_EQ(window->choices().downloadMode, DownloadMode::ModeBin);
}

TEST_F(ControlStates, TheStartAddressBoxRewritesOnTickAndKeepsTheTextOnUntick) {
    open();
    click("modeBinRadio");
    click("startAddressBox");
    EXPECT_EQ(text("startAddressField"), "10000000");
    EXPECT_TRUE(enabled("startAddressField"));
    w<QLineEdit>("startAddressField")->setText("10020000");
    click("startAddressBox");
    EXPECT_EQ(text("startAddressField"), "10020000");
    EXPECT_FALSE(enabled("startAddressField"));
    EXPECT_FALSE(window->choices().useStartNorAddress);
    click("startAddressBox");
    EXPECT_EQ(text("startAddressField"), "10000000");
    const UserChoices c = window->choices();
    EXPECT_TRUE(c.useStartNorAddress);
    EXPECT_EQ(c.startAddressText, "10000000");
}

TEST_F(ControlStates, TogglesAndListsReadBackIntoTheChoices) {
    open();
    click("autoDownloadBox");
    EXPECT_TRUE(window->choices().autoDownload);
    click("autoDownloadBox");
    EXPECT_FALSE(window->choices().autoDownload);
    click("powerOnToggle");
    EXPECT_TRUE(window->choices().powerOnAfterDownload);
    w<QComboBox>("portList")->setCurrentIndex(-1);
    EXPECT_EQ(window->choices().portIndex, -1);
}

TEST_F(ControlStates, EscapeAndExitCloseTheWindow) {
    open().show();
    QTest::keyClick(window.get(), Qt::Key_Escape);
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(window->result(), QDialog::Rejected);
    window->show();
    link.connected = true;  // even during an operation: Exit is never disabled
    portOpened();
    click("exitButton");
    EXPECT_FALSE(window->isVisible());
    window.reset();  // the window's end closes the port and sends nothing
    EXPECT_FALSE(link.connected);
    EXPECT_TRUE(link.written.empty());
}

TEST_F(ControlStates, AboutRunsItsDialogAndIsLockedDuringOperations) {
    open();
    click("aboutButton");
    EXPECT_EQ(prompter.dialogsRun, 1);
    EXPECT_EQ(prompter.lastDialogTitle, "About Downloader");
    portOpened();
    EXPECT_FALSE(enabled("aboutButton"));
}

TEST_F(ControlStates, SectorsAreChosenInTheirOwnWindow) {
    open();
    SectorMap map;
    map.activate();
    std::vector<std::int32_t> flags(SectorMap::kSectorCount, 0);
    prompter.onDialog = [](QDialog& dialog) {
        dialog.findChild<QPushButton*>("invertButton")->click();
        return int(QDialog::Accepted);
    };
    EXPECT_TRUE(window->selectSectors(map, flags));
    EXPECT_EQ(prompter.lastDialogTitle, "Flash Sector Information");
    EXPECT_EQ(std::count(flags.begin(), flags.end(), 1), 519);
    prompter.onDialog = nullptr;  // closed with EXIT
    EXPECT_FALSE(window->selectSectors(map, flags));
}

}  // namespace
}  // namespace zrk::test
