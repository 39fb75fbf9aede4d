#pragma once
// "QIX Explorer": the phone's file system as a tree of directories and a list of the selected
// directory's files, with its own log pane and progress bar. While it is open its engine has
// the link; EXIT (and Esc, and the close request) run the closing exchange, which gives the
// link back to the main window before the window closes.
#include <QDialog>
#include <QTimer>
#include <chrono>
#include <functional>
#include <memory>
#include <string>

#include "app/dialogs/ExplorerSilence.h"
#include "filesystem/explorer/ExplorerView.h"

class QListWidget;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace zrk {

class CodePage;
class ExplorerEngine;
class ExplorerMenus;
class ExplorerNames;
class LinkPump;
class LogPane;
class Prompter;
class SerialLink;

class FsExplorerDialog : public QDialog, public ExplorerView {
  public:
    FsExplorerDialog(SerialLink& link, LinkPump& pump, Prompter& prompter, CodePage codePage,
                     QWidget* parent = nullptr);
    ~FsExplorerDialog() override;

    // Takes the link over and mounts; call before the dialog runs.
    void start();
    ExplorerEngine& engine() { return *m_Engine; }
    // The log as written and shown: names in UTF-8, line ends as the exchanges wrote them.
    const std::string& logText() const;
    // A folder copy is running.
    bool copying() const;
    // The time the progress bar's rate is measured by (pictures and tests set their own).
    void setProgressClock(std::function<std::chrono::steady_clock::time_point()> now);
    // Every wait for the phone ends after this long without a reply accepted, as the command
    // line's do; zero waits for ever. The default is the command line's.
    void setSilenceLimit(std::chrono::milliseconds limit) { m_Silence->setLimit(limit); }
    // The time the silence limit is measured by (tests set their own).
    void setSilenceClock(ExplorerSilence::Now now) { m_Silence->setClock(std::move(now)); }
    // Where a wait that ran out is told for the main window's log (one UTF-8 line): the
    // explorer's own log goes when the window closes.
    void setMainLogNote(std::function<void(const std::string&)> note) {
        m_Silence->setMainLogNote(std::move(note));
    }

    // The path of a tree node: its ancestors' texts joined by single "/" separators.
    static QString nodePath(const QTreeWidgetItem* node);

    // ExplorerView
    void appendLog(std::string_view text) override;
    void setLogText(const std::string& text) override;
    void setProgressRange(std::uint32_t total) override;
    void setProgressPos(std::uint32_t position) override;
    void messageBox(const std::string& text, MessageIcon icon) override;
    bool askYesNo(const std::string& text) override;
    std::string chooseSaveFile(const SaveFileRequest& request) override;
    void addDirectoryNode(const std::string& parentPath, const std::string& name) override;
    void addFileLine(const std::string& text) override;
    void clearFileList() override;
    void setWorkingControlsEnabled(bool enabled) override;
    void setTreeEnabled(bool enabled) override;
    void closeExplorer() override;
    void startQuietTimer(int milliseconds) override;
    void stopQuietTimer() override;

  protected:
    // Esc and the window's close request do what EXIT does: the link must be given back.
    void reject() override;

  private:
    QTreeWidgetItem* nodeAt(const std::string& path) const;
    void showLogEnd();

    SerialLink& m_Link;
    LinkPump& m_Pump;
    Prompter& m_Prompter;
    QTreeWidget* m_Tree;
    QPlainTextEdit* m_LogView;
    QListWidget* m_Files;
    QProgressBar* m_Progress;
    QPushButton* m_DumpButton;
    QPushButton* m_ExitButton;
    std::unique_ptr<ExplorerNames> m_Names;
    std::unique_ptr<LogPane> m_Log;
    std::unique_ptr<ExplorerEngine> m_Engine;
    std::unique_ptr<ExplorerSilence> m_Silence;
    // Goes before the engine: its folder copy gives the engine its view back.
    std::unique_ptr<ExplorerMenus> m_Menus;
    QTimer m_QuietTimer;
    std::string m_CurrentDirectory = "/";
    bool m_Closing = false;
};

}  // namespace zrk
