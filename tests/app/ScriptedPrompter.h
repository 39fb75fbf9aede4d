#pragma once
// Answers the window's questions from a script and records what was asked.
#include <QDialog>
#include <deque>
#include <functional>
#include <optional>

#include "app/Prompter.h"

namespace zrk::test {

class ScriptedPrompter : public Prompter {
  public:
    struct Message {
        QString text;
        QString detail;
        MessageIcon icon = MessageIcon::None;
    };

    void message(QWidget*, const QString& text, MessageIcon icon, const QString& detail) override {
        messages.push_back({text, detail, icon});
        if (onMessage)
            onMessage();
    }
    bool askYesNo(QWidget* parent, const QString& text, DefaultAnswer defaultAnswer) override {
        questions.push_back(text);
        defaults.push_back(defaultAnswer);
        if (onQuestion)
            return onQuestion(parent, text, defaultAnswer);
        return yes;
    }
    QString openFile(QWidget*, const FileDialogRequest& request) override {
        openRequests.push_back(request);
        return take(openAnswers);
    }
    QString saveFile(QWidget*, const FileDialogRequest& request) override {
        saveRequests.push_back(request);
        return take(saveAnswers);
    }
    QString chooseFolder(QWidget*, const QString& title) override {
        folderTitles << title;
        return take(folderAnswers);
    }
    std::optional<QString> askText(QWidget*, const QString&, const QString&,
                                   const QString& initial) override {
        textInitials.push_back(initial);
        if (textAnswers.empty())
            return std::nullopt;
        auto answer = textAnswers.front();
        textAnswers.pop_front();
        return answer;
    }
    // The script may work the dialog (click, double-click) before it answers.
    int runDialog(QDialog& dialog) override {
        ++dialogsRun;
        lastDialogTitle = dialog.windowTitle();
        return onDialog ? onDialog(dialog) : QDialog::Rejected;
    }

    QStringList messageTexts() const {
        QStringList out;
        for (const auto& m : messages)
            out << m.text;
        return out;
    }

    std::vector<Message> messages;
    std::function<void()> onMessage;
    QStringList questions;
    std::vector<DefaultAnswer> defaults;
    bool yes = true;
    // Answers the questions instead of yes (a real message box, say).
    std::function<bool(QWidget*, const QString&, DefaultAnswer)> onQuestion;
    std::deque<QString> openAnswers;
    std::vector<FileDialogRequest> openRequests;
    std::deque<QString> saveAnswers;
    std::vector<FileDialogRequest> saveRequests;
    std::deque<QString> folderAnswers;
    QStringList folderTitles;
    std::deque<std::optional<QString>> textAnswers;
    QStringList textInitials;
    std::function<int(QDialog&)> onDialog;
    int dialogsRun = 0;
    QString lastDialogTitle;

  private:
    static QString take(std::deque<QString>& answers) {
        if (answers.empty())
            return {};
        QString answer = answers.front();
        answers.pop_front();
        return answer;
    }
};

}  // namespace zrk::test
