#pragma once
// "Flash Sector Information": the NOR sectors of the active map, one line each, ticked one by
// one (double-click), all at once, inverted or as a From..To range. The ticks are the caller's
// flags, written in place; the ticks change only through this window's own buttons, never by
// clicking a check mark.
#include <QDialog>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace Ui {
class SectorSelectDialog;
}
class QListWidgetItem;

namespace zrk {

class SectorMap;

class SectorSelectDialog : public QDialog {
    Q_OBJECT
  public:
    using Warning = std::function<void(QWidget* parent, const QString& text)>;

    // flags: one per sector of the map (at least map.count()), 1 = selected.
    SectorSelectDialog(const SectorMap& map, std::vector<std::int32_t>& flags,
                       QWidget* parent = nullptr);
    ~SectorSelectDialog() override;

    // How "Selection Error!" is shown; a plain message box unless set.
    void setWarning(Warning warning) { m_Warning = std::move(warning); }

    // "%03d: 0x%07X ~ 0x%07X (%2dKBytes)" for sector i.
    static QString sectorLine(const SectorMap& map, int i);

    // START: with nothing ticked the window stays open and says so, so that the person can
    // still tick a sector.
    void accept() override;

  private:
    void warn(const QString& text);
    void toggle(QListWidgetItem* item);
    void setFlag(int i, std::int32_t value);
    void selectAll();
    void clearAll();
    void invert();
    void selectRange();

    std::unique_ptr<Ui::SectorSelectDialog> m_Ui;
    std::vector<std::int32_t>& m_Flags;
    int m_Count;
    Warning m_Warning;
};

}  // namespace zrk
