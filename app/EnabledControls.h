#pragma once
// The main window's control states: which controls each step of a run leaves enabled. The
// window's bound values say which download mode is chosen (-1: none) and whether a start
// address is used.
namespace Ui {
class MainWindow;
}

namespace zrk::controls {

void setOperationButtons(Ui::MainWindow& ui, bool on);
// The file rows and the start address as the download mode allows; after an operation, BIN +
// QIX offers the address field whatever its box says.
void applyModeRows(Ui::MainWindow& ui, int downloadMode, bool useStartAddress, bool afterOperation);
// START: the lists and START off, Stop on.
void showPortOpened(Ui::MainWindow& ui);
// Every control that could start something else is off while an operation runs.
void lock(Ui::MainWindow& ui);
void finish(Ui::MainWindow& ui, int downloadMode, bool useStartAddress);
// Stop: START and the lists back; nothing that needs a phone.
void showStopped(Ui::MainWindow& ui, int downloadMode, bool useStartAddress);
// Every field gets the name a screen reader says; the size fields get their labels as buddies.
void nameForScreenReaders(Ui::MainWindow& ui);
// Before any START: nothing can be done on a phone yet.
void showUnconnected(Ui::MainWindow& ui);

}  // namespace zrk::controls
