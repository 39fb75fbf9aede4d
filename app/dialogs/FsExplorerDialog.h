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

#include "engine/SilenceWatch.h"
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
class FolderPull;
struct FolderCopySummary;
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
    void setSilenceLimit(std::chrono::milliseconds limit);
    // The time the silence limit is measured by (tests set their own).
    void setSilenceClock(std::function<std::chrono::steady_clock::time_point()> now);
    // Where a wait that ran out is told for the main window's log (one UTF-8 line): the
    // explorer's own log goes when the window closes.
    void setMainLogNote(std::function<void(const std::string&)> note) {
        m_MainLogNote = std::move(note);
    }

    // The path of a tree node: its ancestors' texts joined by single "/" separators.
    static QString nodePath(const QTreeWidgetItem* node);

    // ExplorerView
    void appendLog(const std::string& text) override;
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
    // A right click on the tree opens the folder menu without selecting the node: selecting
    // would start a listing, and a copy must not start while one runs.
    bool eventFilter(QObject* watched, QEvent* event) override;
    // Esc and the window's close request do what EXIT does: the link must be given back.
    void reject() override;

  private:
    QTreeWidgetItem* nodeAt(const std::string& path) const;
    void showLogEnd();
    void showFileMenu(const QPoint& position);
    void showFolderMenu(const QPoint& position);
    // "Copy folder to PC...": the node's directory and everything under it.
    void copyFolder(const std::string& phonePath, const QString& shownName);
    void folderCopied(const FolderCopySummary& summary, const OperationOutcome& outcome);
    // The selected file's full path: the current directory, one "/", the item's text.
    std::string selectedFilePath() const;
    // The silence timer's tick: an exchange that waited out the limit is given up.
    void checkSilence();

    // The engine speaks the local code page; the widgets show UTF-8.
    QString shown(const std::string& local) const;
    std::string local(const QString& shownText) const;

    SerialLink& m_Link;
    LinkPump& m_Pump;
    Prompter& m_Prompter;
    QTreeWidget* m_Tree;
    QPlainTextEdit* m_LogView;
    QListWidget* m_Files;
    QProgressBar* m_Progress;
    QPushButton* m_DumpButton;
    QPushButton* m_ExitButton;
    std::unique_ptr<CodePage> m_Names;
    std::unique_ptr<LogPane> m_Log;
    std::unique_ptr<ExplorerEngine> m_Engine;
    std::unique_ptr<FolderPull> m_Copy;  // after the engine: it gives the engine its view back
    QTimer m_QuietTimer;
    QTimer m_SilenceTimer;
    SilenceWatch m_Silence;
    std::function<std::chrono::steady_clock::time_point()> m_SilenceClock;
    std::function<void(const std::string&)> m_MainLogNote;
    std::string m_CurrentDirectory = "/";
    bool m_Closing = false;
};

}  // namespace zrk
