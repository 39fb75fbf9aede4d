#pragma once
// The two image rows of the main window, the firmware and the file-system image: each is
// picked by its own button, kept in the settings, shown with its size, and its CRC-32 is shown
// on request. One row type serves both, so the two cannot drift apart.
#include <QString>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "engine/DownloaderView.h"

class QLineEdit;
class QWidget;

namespace Ui {
class MainWindow;
}

namespace zrk {

class LinkPump;
class Prompter;
class SettingsStore;

// A file's length as its size field shows it; nothing when it has none, and whyNot (if given)
// gets the reason in the system's words. Only a readable regular file has one: opening a FIFO
// to ask would wait for a writer.
std::optional<qint64> imageLength(const QString& path, std::string* whyNot = nullptr);

class ImageFiles {
  public:
    enum class Row { Firmware, FileSystem };
    struct Hooks {
        std::function<void(const std::string&, MessageIcon)> messageBox;  // the window's boxes
        std::function<void(const std::string&)> note;  // a line of the window's own in the log
        std::function<void()> unreadable;              // a CRC found no readable image
    };

    ImageFiles(Ui::MainWindow& ui, SettingsStore& settings, Prompter& prompter, LinkPump& pump,
               QWidget& parent, Hooks hooks);

    // The stored paths with the sizes of their files as they are now; checksums start empty,
    // and a file that went away leaves its size empty without a complaint.
    void loadStored();
    void pick(Row row);
    void showChecksum(Row row);

    const QString& binPath() const { return m_BinPath; }
    const QString& qixPath() const { return m_QixPath; }
    const QString& cfgPath() const { return m_CfgPath; }

  private:
    struct RowParts;
    RowParts parts(Row row);
    void logUnreadable(const QString& path);

    Ui::MainWindow& m_Ui;
    SettingsStore& m_Settings;
    Prompter& m_Prompter;
    LinkPump& m_Pump;
    QWidget& m_Parent;
    Hooks m_Hooks;
    QString m_BinPath;
    QString m_QixPath;
    QString m_CfgPath;
};

}  // namespace zrk
