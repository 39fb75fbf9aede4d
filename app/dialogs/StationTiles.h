#pragma once
// The station's tiles, four to a row under the controls: one per port of the run, each with the
// port's log behind it. The runners' news land here, on the tile or in the log of their port; a
// tile's click opens its log.
#include <QObject>
#include <QString>
#include <functional>
#include <vector>

#include "app/dialogs/StationTile.h"

class QGridLayout;
class QScrollArea;
class QWidget;

namespace zrk {

class Prompter;

class StationTiles : public QObject {
  public:
    // window: the parent of the log windows.
    StationTiles(QWidget& window, Prompter& prompter);

    // The scrolling area the tiles sit in, for the window's layout.
    QScrollArea* area() const { return m_Area; }
    // stopped: the tile's Stop was pressed (its index).
    StationTile* add(const QString& port, const QString& device,
                     std::function<void(std::size_t)> stopped);
    void clear();
    const std::vector<StationTile*>& tiles() const { return m_Tiles; }
    const QString& log(int index) const { return m_Logs.at(static_cast<std::size_t>(index)); }
    // One runner's news; a port without a tile is ignored.
    void apply(const station::StationEvent& event, StationTile::Clock::time_point now);
    // The elapsed times, once the news are in.
    void tick(StationTile::Clock::time_point now);

  private:
    void showLog(int index);

    QWidget& m_Window;
    Prompter& m_Prompter;
    QScrollArea* m_Area;
    QGridLayout* m_Grid;
    std::vector<StationTile*> m_Tiles;
    std::vector<QString> m_Logs;
};

}  // namespace zrk
