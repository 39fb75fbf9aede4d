#pragma once
// The per-user settings: group "Setting" with the port and speed indices and the two image
// paths, and group "Ports" with the devices the user mapped COM names to.
#include <QSettings>
#include <QString>
#include <memory>

namespace zrk {

class SettingsStore {
  public:
    static constexpr const char* kOrganisation = "KEPLA Tools";
    static constexpr const char* kApplication = "ZR-K410 Downloader";

    SettingsStore();                                 // the user's store
    explicit SettingsStore(const QString& iniFile);  // a store in a file of its own (tests)

    // Absent values give 0 or empty.
    int readInt(const QString& key) const;
    QString readString(const QString& key) const;
    // Written through at once, so a crash right after a change keeps it. Failures are not
    // reported: the next run starts with the older value.
    void writeInt(const QString& key, int value);
    void writeString(const QString& key, const QString& value);

    // Group "Ports", key "COMn": the device for COMn; empty when it uses the default.
    QString portDevice(int portNumber) const;
    void setPortDevice(int portNumber, const QString& device);
    // Key "COMn.adapter": the USB adapter COMn is bound to (its serial number or socket), so
    // that the name follows it when it comes back under another path; empty when none.
    QString portAdapter(int portNumber) const;
    void setPortAdapter(int portNumber, const QString& adapter);

  private:
    std::unique_ptr<QSettings> m_Settings;
};

// The configuration file beside a file-system image: the image's path with its extension
// replaced by ".cfg". Only the file name's own extension counts, so a dot in a folder name is
// never taken for one; a name without an extension gets ".cfg" appended.
QString deriveCfgPath(const QString& qixPath);

}  // namespace zrk
