#pragma once
// The production station: one recipe, the ports to serve, Start all and Stop all, and a tile per
// port. Each port runs on a runner of its own; the window only drains their news on a timer, so
// eight busy cables cost it a few events a second each, never their bytes.
#include <QDialog>
#include <QStringList>
#include <memory>
#include <vector>

#include "station/PortRunner.h"

class QCheckBox;
class QComboBox;
class QGridLayout;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QTimer;

namespace zrk {

class Prompter;
class SettingsStore;
class StationTile;

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
    const std::vector<StationTile*>& tiles() const { return m_Tiles; }
    // The controls as a run leaves them (recipe and ports locked, Stop all enabled).
    void setRunning(bool on);
    const QString& portLog(int index) const { return m_Logs.at(static_cast<std::size_t>(index)); }
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
    QWidget* buildPorts();
    QWidget* buildRecipe();
    QWidget* buildRun();
    void fillPorts();
    void fitPortsToText();
    void chooseFile(QLineEdit* field, QLabel* info, const QString& title, const QString& filter);
    void describe(QLineEdit* field, QLabel* info, const QString& role);
    void applyMode();
    void storeRecipe();
    void loadRecipe();
    void clearTiles();
    void showLog(int index);
    void endRunners();

    SettingsStore& m_Settings;
    Prompter& m_Prompter;
    QListWidget* m_Ports;
    QPushButton* m_AddDevice;
    QComboBox* m_Mode;
    QLineEdit* m_Bin;
    QLabel* m_BinInfo;
    QPushButton* m_BinButton;
    QLineEdit* m_Qix;
    QLabel* m_QixInfo;
    QPushButton* m_QixButton;
    QCheckBox* m_UseStart;
    QLineEdit* m_StartAddress;
    QLineEdit* m_CodePage;
    QCheckBox* m_Verify;
    QCheckBox* m_PowerOn;
    QComboBox* m_Speed;
    QCheckBox* m_Loop;
    QLineEdit* m_ReportFolder;
    QPushButton* m_ReportButton;
    QPushButton* m_StartAll;
    QPushButton* m_StopAll;
    QPushButton* m_SaveReport;
    QLabel* m_Status;
    QGridLayout* m_TileGrid;
    QWidget* m_Recipe;
    QTimer* m_Timer;

    station::EventQueue m_Events;
    std::vector<std::unique_ptr<station::PortRunner>> m_Runners;
    std::vector<StationTile*> m_Tiles;
    std::vector<QString> m_Logs;
    report::TimePoint m_Started{};
};

}  // namespace zrk
