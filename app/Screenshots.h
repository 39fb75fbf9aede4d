#pragma once
// Pictures of every window for a person to look at: the main window at start-up and during an
// operation, the About window and the sector window.
#include <QString>

namespace zrk {

// Writes main-startup.png, main-locked.png, about.png and sectors.png into dir. Exit code.
int writeScreenshots(const QString& dir);

}  // namespace zrk
