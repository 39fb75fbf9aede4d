#include "app/AboutDialog.h"

#include <QScrollBar>

#include "app/DialogUnits.h"
#include "app/ReleaseNotes.h"
#include "ui_AboutDialog.h"

namespace zrk {

AboutDialog::AboutDialog(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint),
      m_Ui(std::make_unique<Ui::AboutDialog>()) {
    m_Ui->setupUi(this);
    setFont(sansFont());
    m_Ui->notesField->setFont(fixedFont(12));
    m_Ui->notesField->setAccessibleName(QStringLiteral("Release notes"));
    applyDialogUnits(this);
    QString text = ReleaseNotes::text();
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    m_Ui->notesField->setPlainText(text);
    m_Ui->notesField->verticalScrollBar()->setValue(0);
    m_Ui->okButton->setFocus();
}

AboutDialog::~AboutDialog() = default;

QString AboutDialog::shownText() const {
    return m_Ui->notesField->toPlainText();
}

}  // namespace zrk
