#include "app/EnabledControls.h"

#include <initializer_list>

#include "engine/DownloaderView.h"
#include "ui_MainWindow.h"

namespace zrk::controls {
namespace {

void setBinRow(Ui::MainWindow& ui, bool on) {
    ui.binPathField->setEnabled(on);
    ui.binButton->setEnabled(on);
    ui.binSizeField->setEnabled(on);
}

void setQixRow(Ui::MainWindow& ui, bool on) {
    ui.qixPathField->setEnabled(on);
    ui.qixButton->setEnabled(on);
    ui.codePageButton->setEnabled(on);
    ui.qixSizeField->setEnabled(on);
}

}  // namespace

void setOperationButtons(Ui::MainWindow& ui, bool on) {
    for (QWidget* w :
         std::initializer_list<QWidget*>{ui.eraseButton, ui.dumpButton, ui.formatButton,
                                         ui.explorerButton, ui.statusButton, ui.downloadButton})
        w->setEnabled(on);
}

void applyModeRows(Ui::MainWindow& ui, int downloadMode, bool useStartAddress,
                   bool afterOperation) {
    switch (static_cast<DownloadMode>(downloadMode)) {
        case DownloadMode::ModeBin:
            setBinRow(ui, true);
            setQixRow(ui, false);
            ui.startAddressBox->setEnabled(true);
            // Our choice: in BIN the field follows its box, so a ticked box always offers an
            // editable address.
            ui.startAddressField->setEnabled(useStartAddress);
            break;
        case DownloadMode::ModeQix:
            setBinRow(ui, false);
            setQixRow(ui, true);
            ui.startAddressBox->setEnabled(false);
            ui.startAddressField->setEnabled(false);
            break;
        case DownloadMode::ModeBinAndQix:
            setBinRow(ui, true);
            setQixRow(ui, true);
            ui.startAddressBox->setEnabled(true);
            if (afterOperation || useStartAddress)
                ui.startAddressField->setEnabled(true);
            break;
    }
}

namespace {

// START: the lists and START off, Stop on.
void showPortOpened(Ui::MainWindow& ui) {
    ui.portList->setEnabled(false);
    ui.mapButton->setEnabled(false);
    ui.speedList->setEnabled(false);
    ui.stopButton->setEnabled(true);
    ui.startButton->setEnabled(false);
    ui.autoDownloadBox->setEnabled(false);
}

// Every control that could start something else is off while an operation runs.
void lock(Ui::MainWindow& ui) {
    ui.aboutButton->setEnabled(false);
    setOperationButtons(ui, false);
    ui.powerOnToggle->setEnabled(false);
    // Read when the download ends: a change half-way would not be what was asked for at start.
    ui.verifyBox->setEnabled(false);
    for (QWidget* w : std::initializer_list<QWidget*>{
             ui.modeBinRadio, ui.modeQixRadio, ui.modeBinQixRadio, ui.binCrcButton, ui.binCrcField,
             ui.qixCrcButton, ui.qixCrcField, ui.startAddressBox, ui.startAddressField})
        w->setEnabled(false);
    setBinRow(ui, false);
    setQixRow(ui, false);
}

void finish(Ui::MainWindow& ui, int downloadMode, bool useStartAddress) {
    ui.aboutButton->setEnabled(true);
    setOperationButtons(ui, true);
    ui.powerOnToggle->setEnabled(true);
    ui.verifyBox->setEnabled(true);
    for (QWidget* w : std::initializer_list<QWidget*>{
             ui.modeBinRadio, ui.modeQixRadio, ui.modeBinQixRadio, ui.binCrcButton, ui.binCrcField,
             ui.qixCrcButton, ui.qixCrcField})
        w->setEnabled(true);
    applyModeRows(ui, downloadMode, useStartAddress, true);
}

void showStopped(Ui::MainWindow& ui, int downloadMode, bool useStartAddress) {
    ui.startButton->setEnabled(true);
    ui.portList->setEnabled(true);
    ui.mapButton->setEnabled(true);
    ui.speedList->setEnabled(true);
    finish(ui, downloadMode, useStartAddress);
    setOperationButtons(ui, false);
    ui.stopButton->setEnabled(false);
    ui.powerOnToggle->setEnabled(false);
    ui.startAddressBox->setEnabled(false);
    ui.startAddressField->setEnabled(false);
    ui.autoDownloadBox->setEnabled(true);
}

}  // namespace

void follow(Ui::MainWindow& ui, FrameTurn turn, int downloadMode, bool useStartAddress) {
    switch (turn) {
        case FrameTurn::PortOpened:
            showPortOpened(ui);
            lock(ui);
            break;
        case FrameTurn::Busy:
            lock(ui);
            break;
        case FrameTurn::Freed:
            finish(ui, downloadMode, useStartAddress);
            break;
        case FrameTurn::Closed:
            showStopped(ui, downloadMode, useStartAddress);
            break;
    }
}

// A screen reader (or a tool driving the window) finds each field by its name, not by where
// it stands; the two size fields also get their "Size :" labels as buddies.
void nameForScreenReaders(Ui::MainWindow& ui) {
    const std::pair<QWidget*, const char*> names[] = {
        {ui.portList, "Serial port"},
        {ui.speedList, "Speed"},
        {ui.flashNameField, "Flash ID"},
        {ui.startAddressField, "Start NOR address (hex)"},
        {ui.binPathField, "Firmware image"},
        {ui.binCrcField, "Firmware image CRC"},
        {ui.binSizeField, "Firmware image size"},
        {ui.qixPathField, "File-system image"},
        {ui.qixCrcField, "File-system image CRC"},
        {ui.qixSizeField, "File-system image size"},
        {ui.progressBar, "Progress"},
        {ui.logView, "Log"},
    };
    for (const auto& [widget, name] : names)
        widget->setAccessibleName(QString::fromLatin1(name));
    ui.binCrcButton->setAccessibleDescription(QStringLiteral("CRC of the firmware image"));
    ui.qixCrcButton->setAccessibleDescription(QStringLiteral("CRC of the file-system image"));
    ui.binSizeLabel->setBuddy(ui.binSizeField);
    ui.qixSizeLabel->setBuddy(ui.qixSizeField);
}

void showUnconnected(Ui::MainWindow& ui) {
    setOperationButtons(ui, false);
    ui.stopButton->setEnabled(false);
    ui.qixPathField->setEnabled(false);
    ui.qixButton->setEnabled(false);
    ui.codePageButton->setEnabled(false);
    ui.startAddressBox->setEnabled(false);
    ui.startAddressField->setEnabled(false);
}

}  // namespace zrk::controls
