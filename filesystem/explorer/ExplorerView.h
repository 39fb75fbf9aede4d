#pragma once
// The seam between the explorer's exchanges and whatever shows them: the explorer's window, the
// command line's fs commands, tests. It reuses the core's log, progress, prompt and outcome roles
// and adds the explorer's own controls. Everything here is called on the protocol thread.
#include <string>

#include "engine/DownloaderView.h"

namespace zrk {

class ExplorerView : public LogView, public PromptView, public OutcomeView {
  public:
    // A subdirectory of the node whose path is parentPath (local code page), in sorted position;
    // the parent is expanded.
    virtual void addDirectoryNode(const std::string& parentPath, const std::string& name) = 0;
    // One file of the listed directory, at the end of the list: the name with its CR LF.
    virtual void addFileLine(const std::string& text) = 0;
    virtual void clearFileList() = 0;
    // The tree, the file list and "NAND FULL Dump" together.
    virtual void setWorkingControlsEnabled(bool enabled) = 0;
    // A failed listing gives back the tree alone, so another directory can be chosen.
    virtual void setTreeEnabled(bool enabled) = 0;
    // The closing exchange is over and the link is back with its previous owner.
    virtual void closeExplorer() = 0;
    // A single-shot timer for a read-out of an empty file that the phone may answer with
    // nothing at all; after the delay the front end calls ExplorerEngine::onQuietTimer once.
    virtual void startQuietTimer(int milliseconds) { (void)milliseconds; }
    virtual void stopQuietTimer() {}
};

}  // namespace zrk
