#pragma once
// The main window's modal boxes and questions for the engine. Each holds the link's news while it
// is open, so that no protocol step runs inside another; a question confirms what cannot be
// undone, so No is its default.
#include <QString>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/DownloaderView.h"

class QWidget;

namespace zrk {

class LinkPump;
class Prompter;
class SectorMap;

class WindowPrompts {
  public:
    WindowPrompts(QWidget& window, Prompter& prompter, LinkPump& pump);

    // detail: a second paragraph under the text, or empty.
    void message(const std::string& text, MessageIcon icon, const QString& detail);
    bool askYesNo(const std::string& text);
    std::string chooseSaveFile(const SaveFileRequest& request);
    // The sector window; its own warnings go through the same prompter.
    bool selectSectors(const SectorMap& map, std::vector<std::int32_t>& sectorSelected);
    void showAbout();

  private:
    QWidget& m_Window;
    Prompter& m_Prompter;
    LinkPump& m_Pump;
};

}  // namespace zrk
