#pragma once
// The main window's choices as values bound to its controls: the port, the speed, the download
// mode and the boxes. They are read back from the controls and pushed to them all together,
// stored where a person expects them again next time, and handed to the engine as its choices.
#include <QObject>

#include "engine/DownloaderView.h"

namespace Ui {
class MainWindow;
}

namespace zrk {

class PortList;
class SettingsStore;

class BoundChoices : public QObject {
  public:
    // Nothing selected or checked yet; the user's changes are followed from now on.
    BoundChoices(Ui::MainWindow& ui, SettingsStore& settings, PortList& ports);

    // The values a window starts with: BIN mode, the stored verify box, port and speed (an
    // index outside its list falls back to the first entry).
    void loadStored();
    void readBack();
    void pushToControls();
    // Read back first; the image paths and the code page are not bound here.
    UserChoices read();

    int portIndex() const { return m_PortIndex; }
    // For this run only: not stored, not pushed.
    void setPortIndex(int index) { m_PortIndex = index; }
    int downloadMode() const { return m_DownloadMode; }
    bool autoDownload() const { return m_AutoDownload == 1; }
    bool useStartAddress() const { return m_UseStartNorAddress != 0; }

  private:
    void onPortChanged();
    void onSpeedChanged();
    void onVerifyBox();
    void onStartAddressBox();
    void applyDownloadMode();

    Ui::MainWindow& m_Ui;
    SettingsStore& m_Settings;
    PortList& m_Ports;
    int m_PortIndex = -1;
    int m_SpeedIndex = -1;
    int m_DownloadMode = -1;
    int m_PowerOnAfterDownload = 0;
    int m_VerifyAfterDownload = 0;  // settings key "VerifyAfterDownload"
    int m_AutoDownload = 0;
    int m_UseStartNorAddress = 0;
};

}  // namespace zrk
