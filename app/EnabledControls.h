#pragma once
// The main window's control states: which controls each turn of the link (FrameTurns, from the
// engine's stage and outcome news) leaves enabled. The window's bound values say which download
// mode is chosen (-1: none) and whether a start address is used.
#include "engine/FrameTurns.h"

namespace Ui {
class MainWindow;
}

namespace zrk::controls {

void setOperationButtons(Ui::MainWindow& ui, bool on);
// The file rows and the start address as the download mode allows; after an operation, BIN +
// QIX offers the address field whatever its box says.
void applyModeRows(Ui::MainWindow& ui, int downloadMode, bool useStartAddress, bool afterOperation);
// START opened the port: the lists and START off, Stop on, and the rest as while an operation
// runs, when every control that could start something else is off. Freed: what the operation
// locked is back. Closed: START and the lists back; nothing that needs a phone.
void follow(Ui::MainWindow& ui, FrameTurn turn, int downloadMode, bool useStartAddress);
// Every field gets the name a screen reader says; the size fields get their labels as buddies.
void nameForScreenReaders(Ui::MainWindow& ui);
// Before any START: nothing can be done on a phone yet.
void showUnconnected(Ui::MainWindow& ui);

}  // namespace zrk::controls
