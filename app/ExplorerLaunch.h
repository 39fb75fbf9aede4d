#pragma once
// The file-system explorer, opened over the main window on its link: while it holds the link
// the main window is inert, and comes back as soon as the explorer gives the link back.
#include <chrono>
#include <string>

#include "engine/DownloaderView.h"

class QWidget;

namespace zrk {

class LinkPump;
class Prompter;
class SerialLink;

// Runs the explorer to its end; each of its waits for the phone ends after silenceLimit without a
// reply (zero: never), and is told in the main log as well. Returns the line the main log should
// get about a transfer the explorer cut short (empty when there is none).
std::string runExplorer(QWidget& mainWindow, DownloaderView& view, SerialLink& link, LinkPump& pump,
                        Prompter& prompter, const UserChoices& choices,
                        std::chrono::milliseconds silenceLimit);

}  // namespace zrk
