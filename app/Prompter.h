#pragma once
// Every modal question the window asks goes through here: message boxes, yes/no, the file
// dialogs, a line of text, and running a modal dialog. The program uses QtPrompter; tests
// script the answers, so no test ever waits on a real modal window.
#include <QString>
#include <QStringList>
#include <memory>
#include <optional>

#include "engine/DownloaderView.h"

class QDialog;
class QMessageBox;
class QWidget;

namespace zrk {

// The answer Enter gives to a yes/no question.
enum class DefaultAnswer { Yes, No };

struct FileDialogRequest {
    QString title;
    QStringList nameFilters;  // Qt form, "cla file (*.cla)"; the first is preselected
    QString defaultSuffix;    // without the dot
    QString initialPath;      // a file (its folder is opened and its name offered) or empty
};

class Prompter {
  public:
    virtual ~Prompter() = default;
    // detail: a second paragraph under the text (the cause of a failure and its fix), or empty.
    virtual void message(QWidget* parent, const QString& text, MessageIcon icon,
                         const QString& detail) = 0;
    // A question whose Yes loses something (a format, a delete, a half-written flash) has No
    // as its default, so that Enter keeps the work.
    virtual bool askYesNo(QWidget* parent, const QString& text, DefaultAnswer defaultAnswer) = 0;
    // Empty when cancelled.
    virtual QString openFile(QWidget* parent, const FileDialogRequest& request) = 0;
    virtual QString saveFile(QWidget* parent, const FileDialogRequest& request) = 0;
    // An existing folder; empty when cancelled (and where nothing can ask).
    virtual QString chooseFolder(QWidget* parent, const QString& title) {
        (void)parent;
        (void)title;
        return {};
    }
    // nullopt when cancelled.
    virtual std::optional<QString> askText(QWidget* parent, const QString& title,
                                           const QString& label, const QString& initial) = 0;
    // Runs the dialog modally; QDialog::Accepted or QDialog::Rejected.
    virtual int runDialog(QDialog& dialog) = 0;
};

class QtPrompter : public Prompter {
  public:
    void message(QWidget* parent, const QString& text, MessageIcon icon,
                 const QString& detail) override;
    bool askYesNo(QWidget* parent, const QString& text, DefaultAnswer defaultAnswer) override;
    QString openFile(QWidget* parent, const FileDialogRequest& request) override;
    QString saveFile(QWidget* parent, const FileDialogRequest& request) override;
    QString chooseFolder(QWidget* parent, const QString& title) override;
    std::optional<QString> askText(QWidget* parent, const QString& title, const QString& label,
                                   const QString& initial) override;
    int runDialog(QDialog& dialog) override;
};

// The box askYesNo shows (also drawn for the pictures of the window).
std::unique_ptr<QMessageBox> questionBox(QWidget* parent, const QString& text,
                                         DefaultAnswer defaultAnswer);

// Message boxes size themselves by their text; a short text would cut the program's name in
// the title bar. Widens the box to show its whole title.
void fitTitle(QMessageBox& box);

// "cla file (*.cla)|*.cla|all files (*.*)|*.*||" -> {"cla file (*.cla)", "all files (*)"}.
// Each description keeps its text; the patterns between the bars decide what is listed.
QStringList qtNameFilters(const QString& barSeparatedFilter);

// The protocol's save-file request (".hex" and a bar-separated filter) as a save dialog.
FileDialogRequest saveDialogFor(const SaveFileRequest& request);

}  // namespace zrk
