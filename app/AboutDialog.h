#pragma once
// "About Downloader": the release history, newest version first, to read and copy.
#include <QDialog>
#include <memory>

namespace Ui {
class AboutDialog;
}

namespace zrk {

class AboutDialog : public QDialog {
    Q_OBJECT
  public:
    explicit AboutDialog(QWidget* parent = nullptr);
    ~AboutDialog() override;

    // The text as shown, with line ends in the display's form.
    QString shownText() const;

  private:
    std::unique_ptr<Ui::AboutDialog> m_Ui;
};

}  // namespace zrk
