#pragma once
// A check box drawn as a push button: it stays down while checked, and its caption wraps onto
// as many centred lines as the button's width needs (a plain QPushButton never wraps).
#include <QPushButton>

namespace zrk {

class WrappingToggleButton : public QPushButton {
    Q_OBJECT
  public:
    explicit WrappingToggleButton(QWidget* parent = nullptr);

  protected:
    void paintEvent(QPaintEvent* event) override;
};

}  // namespace zrk
