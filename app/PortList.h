#pragma once
// The port list: COM1..COM20, each standing for a device path (the stored choice of the
// "Ports" settings group, else /dev/ttyS<n-1>). Its open list shows each name with its device
// and, for a device present, who made it; a USB adapter plugged in gets the first free name,
// kept for it in the settings. "Map..." beside the list (and its context menu) sets another
// device for the chosen name.
#include <QObject>
#include <QString>
#include <string>
#include <vector>

#include "serial/SerialDevices.h"

class QPoint;
class QPushButton;
class QWidget;

namespace zrk {

class LinkPump;
class PortComboBox;
class PortMap;
class Prompter;
class SettingsStore;

class PortList : public QObject {
  public:
    PortList(PortComboBox& list, QPushButton& mapButton, PortMap& ports, SettingsStore& settings,
             Prompter& prompter, LinkPump& pump, QWidget& window);

    // Looks for the devices present, names new adapters, follows those that moved, and shows
    // the result. Runs each time the list opens.
    void refresh();
    void updateToolTips();
    // Asks for the device COMn stands for and stores it; empty restores the default.
    void editDevice(int portNumber);
    // COM1 is the given device for this run: the map points there and the list selects COM1,
    // neither of them stored.
    void useDevice(const QString& device);
    // The devices present as of the last look, a line each with their names.
    std::vector<std::string> presentLines() const;
    // For a START whose device is not there: what is present now and how to use it.
    std::vector<std::string> missingDeviceHelp(int portNumber);

  private:
    void showMenu(const QPoint& position);
    void store(int portNumber);

    PortComboBox& m_List;
    QPushButton& m_MapButton;
    PortMap& m_Ports;
    SettingsStore& m_Settings;
    Prompter& m_Prompter;
    LinkPump& m_Pump;
    QWidget& m_Window;
    std::vector<SerialDevice> m_Present;
};

}  // namespace zrk
