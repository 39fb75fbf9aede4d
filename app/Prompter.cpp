#include "app/Prompter.h"

#include <QApplication>
#include <QDialog>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontMetrics>
#include <QGridLayout>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>

namespace zrk {
namespace {

QMessageBox::Icon toQt(MessageIcon icon) {
    switch (icon) {
        case MessageIcon::Information:
            return QMessageBox::Information;
        case MessageIcon::Warning:
            return QMessageBox::Warning;
        case MessageIcon::Error:
            return QMessageBox::Critical;
        case MessageIcon::None:
            break;
    }
    return QMessageBox::NoIcon;
}

QString runFileDialog(QWidget* parent, const FileDialogRequest& request,
                      QFileDialog::AcceptMode mode) {
    QFileDialog dialog(parent, request.title);
    dialog.setAcceptMode(mode);
    dialog.setFileMode(mode == QFileDialog::AcceptOpen ? QFileDialog::ExistingFile
                                                       : QFileDialog::AnyFile);
    dialog.setNameFilters(request.nameFilters);
    if (!request.nameFilters.isEmpty())
        dialog.selectNameFilter(request.nameFilters.first());
    dialog.setDefaultSuffix(request.defaultSuffix);
    // A full path opens its folder with the file offered, the natural reading of "start here".
    if (!request.initialPath.isEmpty()) {
        const QFileInfo info(request.initialPath);
        dialog.setDirectory(info.absolutePath());
        dialog.selectFile(info.fileName());
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().first();
}

}  // namespace

void QtPrompter::message(QWidget* parent, const QString& text, MessageIcon icon,
                         const QString& detail) {
    QMessageBox box(toQt(icon), QApplication::applicationDisplayName(), text, QMessageBox::Ok,
                    parent);
    if (!detail.isEmpty())
        box.setInformativeText(detail);
    fitTitle(box);
    box.exec();
}

std::unique_ptr<QMessageBox> questionBox(QWidget* parent, const QString& text,
                                         DefaultAnswer defaultAnswer) {
    auto box =
        std::make_unique<QMessageBox>(QMessageBox::Question, QApplication::applicationDisplayName(),
                                      text, QMessageBox::Yes | QMessageBox::No, parent);
    // Left to itself the box makes Yes the default.
    box->setDefaultButton(defaultAnswer == DefaultAnswer::Yes ? QMessageBox::Yes : QMessageBox::No);
    box->setEscapeButton(QMessageBox::No);
    fitTitle(*box);
    return box;
}

bool QtPrompter::askYesNo(QWidget* parent, const QString& text, DefaultAnswer defaultAnswer) {
    return questionBox(parent, text, defaultAnswer)->exec() == QMessageBox::Yes;
}

QString QtPrompter::openFile(QWidget* parent, const FileDialogRequest& request) {
    return runFileDialog(parent, request, QFileDialog::AcceptOpen);
}

QString QtPrompter::saveFile(QWidget* parent, const FileDialogRequest& request) {
    return runFileDialog(parent, request, QFileDialog::AcceptSave);
}

QString QtPrompter::chooseFolder(QWidget* parent, const QString& title) {
    return QFileDialog::getExistingDirectory(parent, title);
}

std::optional<QString> QtPrompter::askText(QWidget* parent, const QString& title,
                                           const QString& label, const QString& initial) {
    QInputDialog dialog(parent);
    dialog.setWindowTitle(title);
    dialog.setLabelText(label);
    dialog.setTextValue(initial);
    // The label above the field can run to several lines; the field is named by the title.
    for (QLineEdit* field : dialog.findChildren<QLineEdit*>())
        field->setAccessibleName(title);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return dialog.textValue();
}

int QtPrompter::runDialog(QDialog& dialog) {
    return dialog.exec();
}

void fitTitle(QMessageBox& box) {
    // The box fixes its own size from its layout when shown, so a minimum width on the box
    // itself is overridden; a spacer across the layout is honoured. The allowance is the title
    // bar's icon and buttons.
    auto* grid = qobject_cast<QGridLayout*>(box.layout());
    if (!grid)
        return;
    const QFontMetrics metrics(box.font());
    const int width = metrics.horizontalAdvance(box.windowTitle()) + 8 * metrics.height();
    grid->addItem(new QSpacerItem(width, 0, QSizePolicy::Minimum, QSizePolicy::Minimum),
                  grid->rowCount(), 0, 1, grid->columnCount());
}

QStringList qtNameFilters(const QString& barSeparatedFilter) {
    const QStringList parts = barSeparatedFilter.split(QLatin1Char('|'));
    QStringList filters;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        const QString description = parts[i].trimmed();
        if (description.isEmpty())
            break;  // the "||" that ends the list
        QStringList patterns = parts[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts);
        for (QString& pattern : patterns) {
            pattern = pattern.trimmed();
            if (pattern == QLatin1String("*.*"))
                pattern = QStringLiteral("*");  // every file, also those without a dot
        }
        // Qt reads the patterns from the parentheses, so the description is rebuilt around
        // the real ones instead of trusting the text it carries.
        QString name = description;
        const int paren = name.indexOf(QLatin1Char('('));
        if (paren >= 0)
            name = name.left(paren).trimmed();
        filters << QStringLiteral("%1 (%2)").arg(name, patterns.join(QLatin1Char(' ')));
    }
    return filters;
}

FileDialogRequest saveDialogFor(const SaveFileRequest& request) {
    FileDialogRequest dialog;
    dialog.title = QObject::tr("Save as");
    dialog.nameFilters = qtNameFilters(QString::fromStdString(request.filter));
    dialog.defaultSuffix = QString::fromStdString(request.defaultExtension);
    if (dialog.defaultSuffix.startsWith(QLatin1Char('.')))
        dialog.defaultSuffix.remove(0, 1);
    return dialog;
}

}  // namespace zrk
