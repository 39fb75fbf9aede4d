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
        const QString adapter =
            settings.value(QString::fromStdString(PortMap::portName(n)) + ".adapter").toString();
        if (!adapter.isEmpty())
            stored.portAdapters[n] = adapter.toStdString();
    }
    settings.endGroup();
    if (!stored.portAdapters.empty()) {
        PortMap ports;
        for (const auto& [number, key] : stored.portAdapters)
            ports.setAdapter(number, key);
        for (int n : ports.follow(listSerialDevices()))
            stored.portDevices[n] = ports.device(n);
    }
    return stored;
}

PortMap portMapOf(const StoredSettings& stored) {
    PortMap ports;
    for (const auto& [number, path] : stored.portDevices)
        ports.setDevice(number, path);
    for (const auto& [number, key] : stored.portAdapters)
        ports.setAdapter(number, key);
    return ports;
}

void storePortBinding(int portNumber, const std::string& device, const std::string& adapter) {
    QSettings settings("KEPLA Tools", "ZR-K410 Downloader");
    settings.beginGroup("Ports");
    const QString name = QString::fromStdString(PortMap::portName(portNumber));
    settings.setValue(name, QString::fromStdString(device));
    if (adapter.empty())
        settings.remove(name + ".adapter");
    else
        settings.setValue(name + ".adapter", QString::fromStdString(adapter));
    settings.endGroup();
    settings.sync();
}

}  // namespace zrk::cli
