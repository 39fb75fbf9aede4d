#pragma once
// One port of the station as a tile that can be read from across the bench: the port, where it
// stands, the progress with rate and time left, the flash, the last phone's PASS or FAIL with its
// cause, the counts and the elapsed time. A click (or Enter) asks for the port's full log.
#include <QFrame>
#include <chrono>

#include "station/StationEvents.h"

class QLabel;
class QProgressBar;
class QPushButton;

namespace zrk {

class StationTile : public QFrame {
    Q_OBJECT
  public:
    using Clock = std::chrono::steady_clock;

    StationTile(const QString& port, const QString& device, QWidget* parent = nullptr);

    void setDevice(const QString& device);
    void setState(station::PortState state, Clock::time_point now);
    void setProgress(std::uint64_t position, std::uint64_t total, double rate, ProgressUnit unit);
    void setFlash(const QString& name);
    void setPhone(const station::PhoneResult& phone);
    // The port ended; words say why when it was not a Stop.
    void setEnded(station::PortState state, const QString& words);
    // The elapsed time of the phone on the cable, once a second.
    void tick(Clock::time_point now);

    station::PortState state() const { return m_State; }
    QString resultText() const;
    QString causeText() const;
    QPushButton* stopButton() const { return m_Stop; }
    // What a screen reader says about the tile: the same as what it shows.
    QString summary() const;

  signals:
    void logRequested();
    void stopRequested();

  protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

  private:
    void refreshAccessible();
    void showResult(bool passed);

    QString m_Port;
    station::PortState m_State = station::PortState::Idle;
    Clock::time_point m_PhoneStarted{};
    bool m_Timing = false;
    QLabel* m_Title;
    QLabel* m_Stage;
    QProgressBar* m_Bar;
    QLabel* m_Rate;
    QLabel* m_Flash;
    QLabel* m_Result;
    QLabel* m_Cause;
    QLabel* m_Counts;
    QLabel* m_Elapsed;
    QPushButton* m_Stop;
};

}  // namespace zrk
