#include "app/CodePageChoice.h"

#include <QMenu>

#include "app/LinkPump.h"
#include "app/Prompter.h"
#include "app/SettingsStore.h"
#include "filesystem/CodePage.h"
#include "ui_MainWindow.h"

namespace zrk {

CodePageChoice::CodePageChoice(Ui::MainWindow& ui, SettingsStore& settings, Prompter& prompter,
                               LinkPump& pump, QWidget& parent,
                               std::function<void(const std::string&)> note)
    : m_Ui(ui),
      m_Settings(settings),
      m_Prompter(prompter),
      m_Pump(pump),
      m_Parent(parent),
      m_Note(std::move(note)) {
    m_Ui.qixPathField->setContextMenuPolicy(Qt::CustomContextMenu);
    QObject::connect(m_Ui.qixPathField, &QWidget::customContextMenuRequested, &m_Parent,
                     [this](const QPoint& at) { showMenu(m_Ui.qixPathField, at); });
    m_Ui.qixButton->setContextMenuPolicy(Qt::CustomContextMenu);
    QObject::connect(m_Ui.qixButton, &QWidget::customContextMenuRequested, &m_Parent,
                     [this](const QPoint& at) { showMenu(m_Ui.qixButton, at); });
    QObject::connect(m_Ui.codePageButton, &QPushButton::clicked, &m_Parent, [this] { choose(); });
}

void CodePageChoice::showMenu(QWidget* source, const QPoint& position) {
    QMenu menu(&m_Parent);
    menu.addAction(QObject::tr("Code page of the .cfg names..."), [this] { choose(); });
    menu.exec((source ? source : m_Ui.qixPathField)->mapToGlobal(position));
}

void CodePageChoice::choose() {
    PromptHold prompt(m_Pump);
    const QString locale = QString::fromStdString(localeCodePageName());
    const auto answer = m_Prompter.askText(
        &m_Parent, QObject::tr("Code page"),
        QObject::tr("Code page the .cfg file's names are written in, such as CP1252 or CP949\n"
                    "(empty for this system's %1):")
            .arg(locale),
        m_Settings.readString(QStringLiteral("CodePage")));
    if (!answer)
        return;
    const QString name = answer->trimmed();
    std::string error;
    if (!name.isEmpty() && !CodePage::open(name.toStdString(), &error)) {
        m_Prompter.message(&m_Parent, QObject::tr("This system cannot convert that code page."),
                           MessageIcon::Warning, QString::fromStdString(error));
        return;
    }
    m_Settings.writeString(QStringLiteral("CodePage"), name);
    show();
    m_Note("** Names in .cfg files are read as " + (name.isEmpty() ? locale : name).toStdString() +
           "\r\n");
}

void CodePageChoice::store(const std::string& codePage) {
    m_Settings.writeString(QStringLiteral("CodePage"), QString::fromStdString(codePage));
    show();
}

std::string CodePageChoice::stored() const {
    return m_Settings.readString(QStringLiteral("CodePage")).toStdString();
}

void CodePageChoice::show() {
    const QString stored = m_Settings.readString(QStringLiteral("CodePage"));
    const QString name = stored.isEmpty() ? QString::fromStdString(localeCodePageName()) : stored;
    m_Ui.codePageButton->setText(name);
    m_Ui.codePageButton->setToolTip(
        (stored.isEmpty() ? QObject::tr("Code page of the .cfg names: %1, this system's")
                          : QObject::tr("Code page of the .cfg names: %1"))
            .arg(name) +
        QObject::tr("\nClick to choose the one the .cfg files were written in"));
}

}  // namespace zrk
