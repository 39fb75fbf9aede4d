#include "app/dialogs/ExplorerMenus.h"

#include <QDir>
#include <QListWidget>
#include <QMenu>
#include <QMouseEvent>
#include <QTreeWidget>

#include "app/LinkPump.h"
#include "app/Prompter.h"
#include "app/dialogs/ExplorerNames.h"
#include "app/dialogs/FsExplorerDialog.h"
#include "filesystem/explorer/ExplorerEngine.h"
#include "filesystem/explorer/FolderPull.h"

namespace zrk {

ExplorerMenus::ExplorerMenus(Parts parts) : m_Parts(std::move(parts)) {
    connect(&m_Parts.files, &QWidget::customContextMenuRequested, this,
            &ExplorerMenus::showFileMenu);
    m_Parts.tree.setContextMenuPolicy(Qt::CustomContextMenu);
    m_Parts.tree.viewport()->installEventFilter(this);
    connect(&m_Parts.tree, &QWidget::customContextMenuRequested, this,
            &ExplorerMenus::showFolderMenu);
}

ExplorerMenus::~ExplorerMenus() = default;

bool ExplorerMenus::copying() const {
    return m_Copy && m_Copy->running();
}

std::string ExplorerMenus::selectedFilePath() const {
    const QListWidgetItem* item = m_Parts.files.currentItem();
    std::string path = m_Parts.currentDirectory();
    if (path.empty() || path.back() != '/')
        path += '/';
    return path + (item ? item->data(Qt::UserRole).toByteArray().toStdString() : std::string());
}

void ExplorerMenus::showFileMenu(const QPoint& position) {
    QListWidget& files = m_Parts.files;
    const QListWidgetItem* item = files.currentItem();
    if (!item || !item->isSelected() || !files.isEnabled())
        return;
    QMenu menu(&m_Parts.window);
    QAction* title = menu.addAction(QStringLiteral("< %1 >").arg(item->text()));
    title->setEnabled(false);
    menu.addSeparator();
    const std::string path = selectedFilePath();
    ExplorerEngine& engine = m_Parts.engine;
    menu.addAction(QStringLiteral("Dump..."), this, [&engine, path] { engine.readOut(path); });
    menu.addAction(QStringLiteral("Delete"), this, [&engine, path] { engine.deleteFile(path); });
    menu.addSeparator();
    menu.addAction(QStringLiteral("Status"), this, [&engine, path] { engine.fileStatus(path); });
    menu.exec(files.viewport()->mapToGlobal(position));
}

bool ExplorerMenus::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_Parts.tree.viewport() &&
        (event->type() == QEvent::MouseButtonPress ||
         event->type() == QEvent::MouseButtonDblClick) &&
        static_cast<QMouseEvent*>(event)->button() == Qt::RightButton)
        return true;
    return QObject::eventFilter(watched, event);
}

void ExplorerMenus::showFolderMenu(const QPoint& position) {
    QTreeWidget& tree = m_Parts.tree;
    QTreeWidgetItem* node = tree.itemAt(position);
    if (!node || !tree.isEnabled() || copying() || m_Parts.closing())
        return;
    const QString path = FsExplorerDialog::nodePath(node);
    QMenu menu(&m_Parts.window);
    QAction* title = menu.addAction(QStringLiteral("< %1 >").arg(path));
    title->setEnabled(false);
    menu.addSeparator();
    const QString name = node->parent() ? node->text(0) : QString();
    menu.addAction(QStringLiteral("Copy folder to PC..."), this,
                   [this, path, name] { copyFolder(m_Parts.names.local(path), name); });
    menu.exec(tree.viewport()->mapToGlobal(position));
}

void ExplorerMenus::copyFolder(const std::string& phonePath, const QString& shownName) {
    QString folder;
    {
        PromptHold prompt(m_Parts.pump);
        folder = m_Parts.prompter.chooseFolder(
            &m_Parts.window,
            QStringLiteral("Copy '%1' into the folder").arg(m_Parts.names.shown(phonePath)));
    }
    if (folder.isEmpty())
        return;
    // A directory lands in a folder of its own name, as a dragged folder would; the root's
    // contents go straight into the folder chosen.
    if (!shownName.isEmpty())
        folder = QDir(folder).filePath(shownName);
    if (!m_Copy) {
        m_Copy = std::make_unique<FolderPull>(m_Parts.engine);
        m_Copy->onEnd = [this](const FolderCopySummary& summary, const OperationOutcome& outcome) {
            folderCopied(summary, outcome);
        };
    }
    m_Parts.view.setWorkingControlsEnabled(false);
    m_Copy->start(phonePath, folder.toStdString());
}

void ExplorerMenus::folderCopied(const FolderCopySummary& summary,
                                 const OperationOutcome& outcome) {
    if (m_Parts.closing())
        return;  // EXIT stopped it; the window is on its way out
    m_Parts.view.setWorkingControlsEnabled(true);
    if (outcome.completed()) {
        m_Parts.view.messageBox("Folder copied!", MessageIcon::Information);
    } else if (!summary.stopped) {
        m_Parts.view.messageBox(std::to_string(summary.failures.size()) +
                                    " files or folders could not be copied; the log names them.",
                                MessageIcon::Warning);
    }
}

}  // namespace zrk
