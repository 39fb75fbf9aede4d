#include "app/dialogs/FsExplorerDialog.h"

#include <QDir>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QTreeWidget>

#include "app/DialogUnits.h"
#include "app/LinkPump.h"
#include "app/LogPane.h"
#include "app/Prompter.h"
#include "engine/SafeText.h"
#include "filesystem/CodePage.h"
#include "filesystem/explorer/ExplorerEngine.h"
#include "filesystem/explorer/FolderPull.h"
#include "serial/SerialLink.h"

namespace zrk {
namespace {

QString fromStd(const std::string& text) {
    return QString::fromStdString(text);
}

// How often a wait's silence is looked at: a small part of any limit worth setting.
constexpr int kSilenceTickMs = 250;

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
    if (auto names = CodePage::open(codePage.name(), nullptr))
        m_Names = std::make_unique<CodePage>(std::move(*names));
    m_Engine = std::make_unique<ExplorerEngine>(m_Link, *this, std::move(codePage));

    auto* root = new QTreeWidgetItem(m_Tree, QStringList{QStringLiteral("/")});
    m_Tree->addTopLevelItem(root);

    m_QuietTimer.setSingleShot(true);
    connect(&m_QuietTimer, &QTimer::timeout, this,
            [this] { m_Pump.runWhenFree([this] { m_Engine->onQuietTimer(); }); });
    m_SilenceClock = [] { return std::chrono::steady_clock::now(); };
    m_SilenceTimer.setInterval(kSilenceTickMs);
    connect(&m_SilenceTimer, &QTimer::timeout, this, &FsExplorerDialog::checkSilence);
    connect(m_Tree, &QTreeWidget::itemSelectionChanged, this, [this] {
        const auto selected = m_Tree->selectedItems();
        if (selected.isEmpty() || m_Closing)
            return;
        m_CurrentDirectory = local(nodePath(selected.front()));
        m_Engine->listDirectory(m_CurrentDirectory);
    });
    connect(m_Files, &QWidget::customContextMenuRequested, this, &FsExplorerDialog::showFileMenu);
    m_Tree->setContextMenuPolicy(Qt::CustomContextMenu);
    m_Tree->viewport()->installEventFilter(this);
    connect(m_Tree, &QWidget::customContextMenuRequested, this, &FsExplorerDialog::showFolderMenu);
    connect(m_DumpButton, &QPushButton::clicked, this, [this] { m_Engine->nandDump(); });
    connect(m_ExitButton, &QPushButton::clicked, this, [this] {
        m_Closing = true;
        m_Engine->exit();
    });
}

FsExplorerDialog::~FsExplorerDialog() {
    m_QuietTimer.stop();
    m_SilenceTimer.stop();
    m_Copy.reset();
    // A window torn down without its closing exchange (the program ends) must still not leave
    // its engine on the link's stack.
    m_Engine.reset();
}

void FsExplorerDialog::start() {
    m_Silence.restart(m_Link.repliesAccepted(), m_SilenceClock());
    m_SilenceTimer.start();
    m_Engine->open();
}

void FsExplorerDialog::setSilenceLimit(std::chrono::milliseconds limit) {
    m_Silence.setLimit(limit);
}

void FsExplorerDialog::setSilenceClock(std::function<std::chrono::steady_clock::time_point()> now) {
    m_SilenceClock = std::move(now);
    m_Silence.restart(m_Link.repliesAccepted(), m_SilenceClock());
}

void FsExplorerDialog::checkSilence() {
    const auto now = m_SilenceClock();
    const std::uint64_t accepted = m_Link.repliesAccepted();
    // Nothing is awaited while idle, and while a prompt is open the phone's news wait for the
    // answer: neither time counts.
    if (!m_Engine->isOpen() || m_Engine->state() == ExplorerEngine::State::EXPLORER_IDLE ||
        m_Pump.holding()) {
        m_Silence.restart(accepted, now);
        return;
    }
    if (!m_Silence.silent(accepted, now))
        return;
    m_Silence.restart(accepted, now);
    const auto seconds = std::chrono::ceil<std::chrono::seconds>(m_Silence.limit()).count();
    const std::string note = m_Engine->onSilence(seconds);
    if (!note.empty() && m_MainLogNote)
        m_MainLogNote(note);
}

const std::string& FsExplorerDialog::logText() const {
    return m_Log->text();
}

bool FsExplorerDialog::copying() const {
    return m_Copy && m_Copy->running();
}

QString FsExplorerDialog::shown(const std::string& text) const {
    if (m_Names)
        if (auto utf8 = m_Names->toUtf8(text))
            return fromStd(*utf8);
    return fromStd(text);
}

std::string FsExplorerDialog::local(const QString& text) const {
    const std::string utf8 = text.toStdString();
    if (m_Names)
        if (auto converted = m_Names->fromUtf8(utf8))
            return *converted;
    return utf8;
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
    const QString wanted = shown(path);
    for (QTreeWidgetItemIterator it(m_Tree); *it; ++it)
        if (nodePath(*it) == wanted)
            return *it;
    return nullptr;
}

void FsExplorerDialog::appendLog(const std::string& text) {
    m_Log->appendLog(shown(text).toStdString());
    showLogEnd();
}

void FsExplorerDialog::setLogText(const std::string& text) {
    m_Log->setLogText(shown(text).toStdString());
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
    auto* node = new QTreeWidgetItem(QStringList{shown(name)});
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
    auto* item = new QListWidgetItem(fromStd(printableName(shown(name).toStdString())));
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
    m_SilenceTimer.stop();
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

std::string FsExplorerDialog::selectedFilePath() const {
    const QListWidgetItem* item = m_Files->currentItem();
    std::string path = m_CurrentDirectory;
    if (path.empty() || path.back() != '/')
        path += '/';
    return path + (item ? item->data(Qt::UserRole).toByteArray().toStdString() : std::string());
}

void FsExplorerDialog::showFileMenu(const QPoint& position) {
    const QListWidgetItem* item = m_Files->currentItem();
    if (!item || !item->isSelected() || !m_Files->isEnabled())
        return;
    QMenu menu(this);
    QAction* title = menu.addAction(QStringLiteral("< %1 >").arg(item->text()));
    title->setEnabled(false);
    menu.addSeparator();
    const std::string path = selectedFilePath();
    menu.addAction(QStringLiteral("Dump..."), this, [this, path] { m_Engine->readOut(path); });
    menu.addAction(QStringLiteral("Delete"), this, [this, path] { m_Engine->deleteFile(path); });
    menu.addSeparator();
    menu.addAction(QStringLiteral("Status"), this, [this, path] { m_Engine->fileStatus(path); });
    menu.exec(m_Files->viewport()->mapToGlobal(position));
}

bool FsExplorerDialog::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_Tree->viewport() &&
        (event->type() == QEvent::MouseButtonPress ||
         event->type() == QEvent::MouseButtonDblClick) &&
        static_cast<QMouseEvent*>(event)->button() == Qt::RightButton)
        return true;
    return QDialog::eventFilter(watched, event);
}

void FsExplorerDialog::showFolderMenu(const QPoint& position) {
    QTreeWidgetItem* node = m_Tree->itemAt(position);
    if (!node || !m_Tree->isEnabled() || copying() || m_Closing)
        return;
    const QString path = nodePath(node);
    QMenu menu(this);
    QAction* title = menu.addAction(QStringLiteral("< %1 >").arg(path));
    title->setEnabled(false);
    menu.addSeparator();
    const QString name = node->parent() ? node->text(0) : QString();
    menu.addAction(QStringLiteral("Copy folder to PC..."), this,
                   [this, path, name] { copyFolder(local(path), name); });
    menu.exec(m_Tree->viewport()->mapToGlobal(position));
}

void FsExplorerDialog::copyFolder(const std::string& phonePath, const QString& shownName) {
    QString folder;
    {
        PromptHold prompt(m_Pump);
        folder = m_Prompter.chooseFolder(
            this, QStringLiteral("Copy '%1' into the folder").arg(shown(phonePath)));
    }
    if (folder.isEmpty())
        return;
    // A directory lands in a folder of its own name, as a dragged folder would; the root's
    // contents go straight into the folder chosen.
    if (!shownName.isEmpty())
        folder = QDir(folder).filePath(shownName);
    if (!m_Copy) {
        m_Copy = std::make_unique<FolderPull>(*m_Engine);
        m_Copy->onEnd = [this](const FolderCopySummary& summary, const OperationOutcome& outcome) {
            folderCopied(summary, outcome);
        };
    }
    setWorkingControlsEnabled(false);
    m_Copy->start(phonePath, folder.toStdString());
}

void FsExplorerDialog::folderCopied(const FolderCopySummary& summary,
                                    const OperationOutcome& outcome) {
    if (m_Closing)
        return;  // EXIT stopped it; the window is on its way out
    setWorkingControlsEnabled(true);
    if (outcome.completed()) {
        messageBox("Folder copied!", MessageIcon::Information);
    } else if (!summary.stopped) {
        messageBox(std::to_string(summary.failures.size()) +
                       " files or folders could not be copied; the log names them.",
                   MessageIcon::Warning);
    }
}

}  // namespace zrk
