#pragma once
// The port list: COM1..COM20, each standing for a device path (the stored choice of the
// "Ports" settings group, else /dev/ttyS<n-1>). Its tooltip names the device; its context menu
// sets another one.
#include <QObject>
#include <QString>

class QComboBox;
class QPoint;
class QWidget;

namespace zrk {

class LinkPump;
class PortMap;
class Prompter;
class SettingsStore;

class PortList : public QObject {
  public:
    PortList(QComboBox& list, PortMap& ports, SettingsStore& settings, Prompter& prompter,
             LinkPump& pump, QWidget& window);

    void updateToolTips();
    // Asks for the device COMn stands for and stores it; empty restores the default.
    void editDevice(int portNumber);
    // COM1 is the given device for this run: the map points there and the list selects COM1,
    // neither of them stored.
    void useDevice(const QString& device);

  private:
    void showMenu(const QPoint& position);

    QComboBox& m_List;
    PortMap& m_Ports;
    SettingsStore& m_Settings;
    Prompter& m_Prompter;
    LinkPump& m_Pump;
    QWidget& m_Window;
};

}  // namespace zrk
