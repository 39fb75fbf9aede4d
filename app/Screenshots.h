#pragma once
// Pictures of every window for a person to look at: the main window at start-up and during an
// operation, the About window, the sector window, the explorer and the station.
#include <QString>

namespace zrk {

// Writes main-startup.png, main-port-list.png, main-locked.png, about.png, sectors.png, the
// explorer's pictures and station.png into dir. Exit code.
int writeScreenshots(const QString& dir);

}  // namespace zrk
