#pragma once
// The explorer's two context menus: a file's (Dump..., Delete, Status) and a folder's ("Copy
// folder to PC...", the node's directory and everything under it). A right click on the tree
// opens the folder menu without selecting the node: selecting would start a listing, and a
// copy must not start while one runs.
#include <QObject>
#include <functional>
#include <memory>
#include <string>

class QListWidget;
class QPoint;
class QTreeWidget;
class QWidget;

namespace zrk {

class ExplorerEngine;
class ExplorerNames;
class ExplorerView;
class FolderPull;
struct FolderCopySummary;
struct OperationOutcome;
class LinkPump;
class Prompter;

class ExplorerMenus : public QObject {
  public:
    struct Parts {
        QWidget& window;     // the explorer: the menus' and the folder question's parent
        ExplorerView& view;  // its boxes and its working controls
        QTreeWidget& tree;
        QListWidget& files;
        ExplorerEngine& engine;
        LinkPump& pump;
        Prompter& prompter;
        const ExplorerNames& names;
        std::function<std::string()> currentDirectory;  // the listed one, local code page
        std::function<bool()> closing;                  // EXIT was pressed
    };

    explicit ExplorerMenus(Parts parts);
    // The folder copy goes with the menus, giving the engine its view back.
    ~ExplorerMenus() override;

    // A folder copy is running.
    bool copying() const;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void showFileMenu(const QPoint& position);
    void showFolderMenu(const QPoint& position);
    void copyFolder(const std::string& phonePath, const QString& shownName);
    void folderCopied(const FolderCopySummary& summary, const OperationOutcome& outcome);
    // The selected file's full path: the current directory, one "/", the item's text.
    std::string selectedFilePath() const;

    Parts m_Parts;
    std::unique_ptr<FolderPull> m_Copy;
};

}  // namespace zrk
