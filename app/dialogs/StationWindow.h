#pragma once
// The production station: one recipe, the ports to serve, Start all and Stop all, and a tile per
// port. Each port runs on a runner of its own; the window only drains their news on a timer, so
// eight busy cables cost it a few events a second each, never their bytes. Its parts have rooms
// of their own: the recipe form (StationRecipeForm), the port list (StationPortList), the tiles
// with the ports' logs (StationTiles) and the report file (saveStationReport).
#include <QDialog>
#include <memory>
#include <vector>

#include "station/PortRunner.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTimer;

namespace zrk {

class Prompter;
class SettingsStore;
class StationPortList;
class StationRecipeForm;
class StationTile;
class StationTiles;

class StationWindow : public QDialog {
    Q_OBJECT
  public:
    StationWindow(SettingsStore& settings, Prompter& prompter, QWidget* parent = nullptr);
    ~StationWindow() override;

    // The recipe as the controls say it.
    station::Recipe recipe() const;
    void setRecipe(const station::Recipe& recipe);
    // A device path served as a port of its own ("add device path"); checked.
    void addDevicePath(const QString& path);
    // Checks or clears a port by its name ("COM3" or a device path).
    void setPortChecked(const QString& name, bool on);
    void setLoop(bool on);
    void setReportFolder(const QString& folder);

    void startAll();
    void stopAll();
    bool running() const;
    // Pictures and tests: tiles as they would be, without runners.
    StationTile* addTile(const QString& port, const QString& device);
    const std::vector<StationTile*>& tiles() const;
    // The controls as a run leaves them (recipe and ports locked, Stop all enabled).
    void setRunning(bool on);
    const QString& portLog(int index) const;
    // Takes the runners' news now (the timer does it every 100 ms).
    void drainEvents();
    void saveReport();
    // Every port of the current (or last) run with the phones it served so far.
    std::vector<report::PortRecord> records() const;

    // True when nothing is being written, or the person agrees to cut it short (default No).
    bool mayInterrupt();

    void reject() override;

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    QWidget* buildRun();
    void storeRecipe();
    void loadRecipe();
    // A tile's Stop: the phone under it, asked about during a write.
    void stopPort(std::size_t index);
    void endRunners();

    SettingsStore& m_Settings;
    Prompter& m_Prompter;
    std::unique_ptr<StationPortList> m_Ports;
    std::unique_ptr<StationRecipeForm> m_Recipe;
    std::unique_ptr<StationTiles> m_Tiles;
    QCheckBox* m_Loop;
    QLineEdit* m_ReportFolder;
    QPushButton* m_ReportButton;
    QPushButton* m_StartAll;
    QPushButton* m_StopAll;
    QPushButton* m_SaveReport;
    QLabel* m_Status;
    QTimer* m_Timer;

    station::EventQueue m_Events;
    std::vector<std::unique_ptr<station::PortRunner>> m_Runners;
    report::TimePoint m_Started{};
};

}  // namespace zrk
