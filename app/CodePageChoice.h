#pragma once
// The code page the .cfg names are written in, as the window keeps it: the button beside the
// QIX path shows it, its menu and click ask for another, and a yes to the engine's offer stores
// the one the names fit.
#include <QPoint>
#include <functional>
#include <string>

class QWidget;

namespace Ui {
class MainWindow;
}

namespace zrk {

class LinkPump;
class Prompter;
class SettingsStore;

class CodePageChoice {
  public:
    CodePageChoice(Ui::MainWindow& ui, SettingsStore& settings, Prompter& prompter, LinkPump& pump,
                   QWidget& parent, std::function<void(const std::string&)> note);

    // Asks for the code page (empty: the locale's) and stores it, refusing a name this system
    // cannot convert.
    void choose();
    void showMenu(QWidget* source, const QPoint& position);
    void store(const std::string& codePage);
    // The stored name; empty for the locale's.
    std::string stored() const;
    // The button shows the stored one or the locale's.
    void show();

  private:
    Ui::MainWindow& m_Ui;
    SettingsStore& m_Settings;
    Prompter& m_Prompter;
    LinkPump& m_Pump;
    QWidget& m_Parent;
    std::function<void(const std::string&)> m_Note;
};

}  // namespace zrk
