#include "cli/StoredSettings.h"

#include <QSettings>

#include "serial/PortMap.h"

namespace zrk::cli {

StoredSettings readStoredSettings() {
    StoredSettings stored;
    QSettings settings("KEPLA Tools", "ZR-K410 Downloader");
    settings.beginGroup("Setting");
    const int port = settings.value("COM", 0).toInt();
    const int speed = settings.value("SPEED", 0).toInt();
    settings.endGroup();
    stored.portIndex = port >= 0 && port < PortMap::kLastPort ? port : 0;
    stored.speedIndex = speed >= 0 && speed <= 3 ? speed : 0;
    settings.beginGroup("Ports");
    for (int n = PortMap::kFirstPort; n <= PortMap::kLastPort; ++n) {
        const QString path =
            settings.value(QString::fromStdString(PortMap::portName(n))).toString();
        if (!path.isEmpty())
            stored.portDevices[n] = path.toStdString();
    }
    settings.endGroup();
    return stored;
}

}  // namespace zrk::cli
