#include "app/dialogs/StationTiles.h"

#include <QDialog>
#include <QGridLayout>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>

#include "app/Prompter.h"

namespace zrk {

namespace {
constexpr qsizetype kLogChars = 2 * 1024 * 1024;  // a port's log beyond this loses its oldest half
constexpr int kTileColumns = 4;
}  // namespace

StationTiles::StationTiles(QWidget& window, Prompter& prompter)
    : m_Window(window), m_Prompter(prompter) {
    auto* tilesHost = new QWidget;
    m_Grid = new QGridLayout(tilesHost);
    m_Grid->setContentsMargins(0, 0, 0, 0);
    m_Grid->setAlignment(Qt::AlignTop | Qt::AlignLeft);
    m_Area = new QScrollArea;
    m_Area->setWidget(tilesHost);
    m_Area->setWidgetResizable(true);
    m_Area->setAccessibleName(tr("Port tiles"));
}

StationTile* StationTiles::add(const QString& port, const QString& device,
                               std::function<void(std::size_t)> stopped) {
    auto* tile = new StationTile(port, device);
    const int index = static_cast<int>(m_Tiles.size());
    m_Grid->addWidget(tile, index / kTileColumns, index % kTileColumns);
    connect(tile, &StationTile::logRequested, this, [this, index] { showLog(index); });
    connect(tile, &StationTile::stopRequested, this,
            [stopped = std::move(stopped), index] { stopped(static_cast<std::size_t>(index)); });
    m_Tiles.push_back(tile);
    m_Logs.emplace_back();
    return tile;
}

void StationTiles::clear() {
    for (StationTile* tile : m_Tiles)
        delete tile;
    m_Tiles.clear();
    m_Logs.clear();
}

void StationTiles::apply(const station::StationEvent& e, StationTile::Clock::time_point now) {
    const auto index = static_cast<std::size_t>(e.port);
    if (index >= m_Tiles.size())
        return;
    StationTile& tile = *m_Tiles[index];
    switch (e.kind) {
        case station::StationEvent::Kind::State:
            tile.setState(e.state, now);
            break;
        case station::StationEvent::Kind::Progress:
            tile.setProgress(e.position, e.total, e.rate, e.unit);
            break;
        case station::StationEvent::Kind::Log: {
            QString& log = m_Logs[index];
            log += QString::fromStdString(e.text);
            if (log.size() > kLogChars)
                log.remove(0, log.size() / 2);
            break;
        }
        case station::StationEvent::Kind::Flash:
            tile.setFlash(QString::fromStdString(e.text));
            break;
        case station::StationEvent::Kind::Phone:
            tile.setPhone(*e.phone);
            break;
        case station::StationEvent::Kind::Ended:
            tile.setEnded(e.state, QString::fromStdString(e.text));
            break;
    }
}

void StationTiles::tick(StationTile::Clock::time_point now) {
    for (StationTile* tile : m_Tiles)
        tile->tick(now);
}

void StationTiles::showLog(int index) {
    if (index < 0 || static_cast<std::size_t>(index) >= m_Tiles.size())
        return;
    QDialog dialog(&m_Window);
    const QString port = m_Tiles[static_cast<std::size_t>(index)]->accessibleName();
    dialog.setWindowTitle(tr("Log: %1").arg(port));
    auto* text = new QPlainTextEdit(&dialog);
    text->setReadOnly(true);
    text->setAccessibleName(tr("Log of %1").arg(port));
    // The engine ends its lines with CR LF; a plain text view wants LF.
    QString log = m_Logs[static_cast<std::size_t>(index)];
    log.remove(QLatin1Char('\r'));
    text->setPlainText(log);
    text->moveCursor(QTextCursor::End);
    auto* close = new QPushButton(tr("Close"), &dialog);
    connect(close, &QPushButton::clicked, &dialog, &QDialog::accept);
    auto* v = new QVBoxLayout(&dialog);
    v->addWidget(text);
    v->addWidget(close);
    dialog.resize(720, 480);
    m_Prompter.runDialog(dialog);
}

}  // namespace zrk
