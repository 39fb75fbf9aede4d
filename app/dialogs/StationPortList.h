#pragma once
// The ports the station serves, each with a check box: the cables plugged in first, by their
// names where they have one, then the names whose device is not here, then the device paths
// added by hand. The checked ones are kept in the settings from one run to the next.
#include <QObject>
#include <QString>
#include <vector>

#include "station/PortRunner.h"

class QGroupBox;
class QListWidget;
class QPushButton;
class QWidget;

namespace zrk {

class Prompter;
class SettingsStore;

class StationPortList : public QObject {
  public:
    // window: the parent of the device path question.
    StationPortList(QWidget& window, const SettingsStore& settings, Prompter& prompter);

    QGroupBox* box() const { return m_Box; }
    // A device path served as a port of its own; checked.
    void addDevicePath(const QString& path);
    // Checks or clears a port by its name ("COM3" or a device path).
    void setPortChecked(const QString& name, bool on);
    // The list and its button, as a run leaves them.
    void setEnabled(bool on);
    std::vector<station::PortTarget> checkedTargets() const;
    void store(SettingsStore& settings) const;

  private:
    void fill(const SettingsStore& settings);
    void fitToText();

    QWidget& m_Window;
    Prompter& m_Prompter;
    QGroupBox* m_Box;
    QListWidget* m_Ports;
    QPushButton* m_AddDevice;
};

}  // namespace zrk
