#pragma once
// The port list's box: it shows the COM name alone, as it always did, while its open list
// shows each name with the device it stands for and that device's identity. Opening the list
// asks its owner to look for devices first, so a cable plugged in a moment ago is there.
#include <QComboBox>
#include <functional>

namespace zrk {

class PortComboBox : public QComboBox {
    Q_OBJECT
  public:
    // Item data: the device and identity shown after the name in the open list.
    static constexpr int kDetailRole = Qt::UserRole + 1;

    explicit PortComboBox(QWidget* parent = nullptr);

    void setBeforePopup(std::function<void()> hook) { m_BeforePopup = std::move(hook); }
    void showPopup() override;

  private:
    std::function<void()> m_BeforePopup;
};

}  // namespace zrk
