#include "cli/StoredSettings.h"

#include "files/UserSettings.h"
#include "serial/PortMap.h"

namespace zrk::cli {
namespace {

// The window's store (app/SettingsStore): the same organisation and program name.
constexpr const char* kOrganisation = "KEPLA Tools";
constexpr const char* kApplication = "ZR-K410 Downloader";

}  // namespace

StoredSettings readStoredSettings() {
    StoredSettings stored;
    const UserSettings settings(kOrganisation, kApplication);
    const std::int64_t port = settings.number("Setting", "COM").value_or(0);
    const std::int64_t speed = settings.number("Setting", "SPEED").value_or(0);
    stored.portIndex = port >= 0 && port < PortMap::kLastPort ? static_cast<int>(port) : 0;
    stored.speedIndex = speed >= 0 && speed <= 3 ? static_cast<int>(speed) : 0;
    for (int n = PortMap::kFirstPort; n <= PortMap::kLastPort; ++n) {
        const std::string name = PortMap::portName(n);
        if (auto path = settings.text("Ports", name); path && !path->empty())
            stored.portDevices[n] = *path;
        if (auto adapter = settings.text("Ports", name + ".adapter"); adapter && !adapter->empty())
            stored.portAdapters[n] = *adapter;
    }
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

bool storePortBinding(int portNumber, const std::string& device, const std::string& adapter,
                      std::string* whyNot) {
    UserSettings settings(kOrganisation, kApplication);
    const std::string name = PortMap::portName(portNumber);
    settings.setText("Ports", name, device);
    if (adapter.empty())
        settings.remove("Ports", name + ".adapter");
    else
        settings.setText("Ports", name + ".adapter", adapter);
    return settings.save(whyNot);
}

}  // namespace zrk::cli
