#include "app/dialogs/FsExplorerDialog.h"

#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QTreeWidget>

#include "app/DialogUnits.h"
#include "app/LinkPump.h"
#include "app/LogPane.h"
#include "app/Prompter.h"
#include "app/dialogs/ExplorerMenus.h"
#include "app/dialogs/ExplorerNames.h"
#include "app/dialogs/ExplorerSilence.h"
#include "engine/SafeText.h"
#include "filesystem/CodePage.h"
#include "filesystem/explorer/ExplorerEngine.h"
#include "serial/SerialLink.h"

namespace zrk {
namespace {

QString fromStd(const std::string& text) {
    return QString::fromStdString(text);
}

template <class T>
T* placed(QWidget* parent, int x, int y, int width, int height) {
    auto* widget = new T(parent);
    widget->setGeometry(x, y, width, height);  // dialog units; scaled below
    return widget;
}

}  // namespace

FsExplorerDialog::FsExplorerDialog(SerialLink& link, LinkPump& pump, Prompter& prompter,
                                   CodePage codePage, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      m_Link(link),
      m_Pump(pump),
      m_Prompter(prompter) {
    setWindowTitle(QStringLiteral("QIX Explorer"));
    setFont(sansFont());
    setGeometry(0, 0, 308, 235);
    m_Tree = placed<QTreeWidget>(this, 7, 7, 128, 181);
    m_Tree->setObjectName(QStringLiteral("directoryTree"));
    m_Tree->setHeaderHidden(true);
    m_Tree->setAccessibleName(QStringLiteral("Directories"));
    m_Tree->setRootIsDecorated(true);
    m_LogView = placed<QPlainTextEdit>(this, 141, 7, 160, 71);
    m_LogView->setObjectName(QStringLiteral("explorerLog"));
    m_LogView->setAccessibleName(QStringLiteral("Explorer log"));
    auto* label = placed<QLabel>(this, 144, 81, 149, 10);
    label->setText(QStringLiteral("Files  (select a file and click a right button)"));
    m_Files = placed<QListWidget>(this, 141, 97, 160, 90);
    m_Files->setObjectName(QStringLiteral("fileList"));
    m_Files->setContextMenuPolicy(Qt::CustomContextMenu);
    m_Files->setAccessibleName(QStringLiteral("Files"));
    label->setBuddy(m_Files);
    m_Progress = placed<QProgressBar>(this, 7, 194, 294, 14);
    m_Progress->setObjectName(QStringLiteral("explorerProgress"));
    m_Progress->setTextVisible(false);
    m_Progress->setAccessibleName(QStringLiteral("Progress"));
    m_DumpButton = placed<QPushButton>(this, 56, 211, 64, 17);
    m_DumpButton->setObjectName(QStringLiteral("nandDumpButton"));
    m_DumpButton->setText(QStringLiteral("NAND FULL Dump"));
    m_ExitButton = placed<QPushButton>(this, 186, 211, 64, 17);
    m_ExitButton->setObjectName(QStringLiteral("exitButton"));
    m_ExitButton->setText(QStringLiteral("EXIT"));
    m_ExitButton->setDefault(true);
    applyDialogUnits(this);
    // The size above was given in dialog units; the place is the toolkit's to choose, which
    // centres a dialog on its parent window.
    setAttribute(Qt::WA_Moved, false);

    m_Log = std::make_unique<LogPane>(*m_LogView, *m_Progress);
    // Only new text moves the end, and the pane lays lines out after they are written and then
    // puts its old top line back: the view goes to the end once the pane is done.
    connect(m_LogView->verticalScrollBar(), &QScrollBar::rangeChanged, this, [this] {
        QTimer::singleShot(0, this, [this] {
            QScrollBar* vertical = m_LogView->verticalScrollBar();
            vertical->setValue(vertical->maximum());
        });
    });
    m_Names = std::make_unique<ExplorerNames>(codePage);
    m_Engine = std::make_unique<ExplorerEngine>(m_Link, *this, std::move(codePage));

    auto* root = new QTreeWidgetItem(m_Tree, QStringList{QStringLiteral("/")});
    m_Tree->addTopLevelItem(root);

    m_QuietTimer.setSingleShot(true);
    connect(&m_QuietTimer, &QTimer::timeout, this,
            [this] { m_Pump.runWhenFree([this] { m_Engine->onQuietTimer(); }); });
    m_Silence = std::make_unique<ExplorerSilence>(m_Link, m_Pump, *m_Engine);
    connect(m_Tree, &QTreeWidget::itemSelectionChanged, this, [this] {
        const auto selected = m_Tree->selectedItems();
        if (selected.isEmpty() || m_Closing)
            return;
        m_CurrentDirectory = m_Names->local(nodePath(selected.front()));
        m_Engine->listDirectory(m_CurrentDirectory);
    });
    m_Menus = std::make_unique<ExplorerMenus>(ExplorerMenus::Parts{
        *this, *this, *m_Tree, *m_Files, *m_Engine, m_Pump, m_Prompter, *m_Names,
        [this] { return m_CurrentDirectory; }, [this] { return m_Closing; }});
    connect(m_DumpButton, &QPushButton::clicked, this, [this] { m_Engine->nandDump(); });
    connect(m_ExitButton, &QPushButton::clicked, this, [this] {
        m_Closing = true;
        m_Engine->exit();
    });
}

FsExplorerDialog::~FsExplorerDialog() {
    m_QuietTimer.stop();
    m_Silence->stop();
    m_Menus.reset();
    // A window torn down without its closing exchange (the program ends) must still not leave
    // its engine on the link's stack.
    m_Engine.reset();
}

void FsExplorerDialog::start() {
    m_Silence->start();
    m_Engine->open();
}

const std::string& FsExplorerDialog::logText() const {
    return m_Log->text();
}

bool FsExplorerDialog::copying() const {
    return m_Menus->copying();
}

QString FsExplorerDialog::nodePath(const QTreeWidgetItem* node) {
    QString path = node->text(0);
    for (const QTreeWidgetItem* up = node->parent(); up; up = up->parent()) {
        QString parent = up->text(0);
        if (!parent.endsWith(QLatin1Char('/')))
            parent += QLatin1Char('/');
        path = parent + path;
    }
    return path;
}

QTreeWidgetItem* FsExplorerDialog::nodeAt(const std::string& path) const {
    QTreeWidgetItem* root = m_Tree->topLevelItem(0);
    if (path == "/" || path.empty())
        return root;
    const QString wanted = m_Names->shown(path);
    for (QTreeWidgetItemIterator it(m_Tree); *it; ++it)
        if (nodePath(*it) == wanted)
            return *it;
    return nullptr;
}

void FsExplorerDialog::appendLog(std::string_view text) {
    m_Log->appendLog(m_Names->shown(std::string(text)).toStdString());
    showLogEnd();
}

void FsExplorerDialog::setLogText(const std::string& text) {
    m_Log->setLogText(m_Names->shown(text).toStdString());
    showLogEnd();
}

void FsExplorerDialog::showLogEnd() {
    // The explorer's log is a short report of the exchange running now (a replaced log is a
    // file's status or the dump's count): its newest line is the news, always in view.
    m_LogView->moveCursor(QTextCursor::End);
    m_LogView->ensureCursorVisible();
    QScrollBar* vertical = m_LogView->verticalScrollBar();
    vertical->setValue(vertical->maximum());
}

void FsExplorerDialog::setProgressClock(
    std::function<std::chrono::steady_clock::time_point()> now) {
    m_Log->setClock(std::move(now));
}

void FsExplorerDialog::setProgressRange(std::uint32_t total) {
    m_Log->setProgressRange(total);
}

void FsExplorerDialog::setProgressPos(std::uint32_t position) {
    m_Log->setProgressPos(position);
}

void FsExplorerDialog::messageBox(const std::string& text, MessageIcon icon) {
    PromptHold prompt(m_Pump);
    m_Prompter.message(this, fromStd(text), icon, {});
}

bool FsExplorerDialog::askYesNo(const std::string& text) {
    PromptHold prompt(m_Pump);
    // The explorer's one question is "Sure to Delete?".
    return m_Prompter.askYesNo(this, fromStd(text), DefaultAnswer::No);
}

std::string FsExplorerDialog::chooseSaveFile(const SaveFileRequest& request) {
    PromptHold prompt(m_Pump);
    return m_Prompter.saveFile(this, saveDialogFor(request)).toStdString();
}

void FsExplorerDialog::addDirectoryNode(const std::string& parentPath, const std::string& name) {
    QTreeWidgetItem* parent = nodeAt(parentPath);
    if (!parent)
        return;
    auto* node = new QTreeWidgetItem(QStringList{m_Names->shown(name)});
    int at = 0;
    while (at < parent->childCount() && parent->child(at)->text(0) < node->text(0))
        ++at;
    parent->insertChild(at, node);
    parent->setExpanded(true);
}

void FsExplorerDialog::addFileLine(const std::string& text) {
    // The line ends with the CR LF the name travels with; a row shows the name alone, on one
    // line, with any control character made visible. The engine's text stays with the item
    // for the file commands.
    std::string name = text;
    while (!name.empty() && (name.back() == '\n' || name.back() == '\r'))
        name.pop_back();
    auto* item = new QListWidgetItem(fromStd(printableName(m_Names->shown(name).toStdString())));
    item->setData(Qt::UserRole, QByteArray::fromStdString(text));
    m_Files->addItem(item);
}

void FsExplorerDialog::clearFileList() {
    m_Files->clear();
}

void FsExplorerDialog::setWorkingControlsEnabled(bool enabled) {
    m_Tree->setEnabled(enabled);
    m_Files->setEnabled(enabled);
    m_DumpButton->setEnabled(enabled);
}

void FsExplorerDialog::setTreeEnabled(bool enabled) {
    m_Tree->setEnabled(enabled);
}

void FsExplorerDialog::closeExplorer() {
    m_QuietTimer.stop();
    m_Silence->stop();
    accept();
}

void FsExplorerDialog::startQuietTimer(int milliseconds) {
    m_QuietTimer.start(milliseconds);
}

void FsExplorerDialog::stopQuietTimer() {
    m_QuietTimer.stop();
}

void FsExplorerDialog::reject() {
    if (!m_Engine->isOpen()) {
        QDialog::reject();
        return;
    }
    m_Closing = true;
    m_Engine->exit();
}

}  // namespace zrk
