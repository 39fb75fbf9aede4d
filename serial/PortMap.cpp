#include "serial/PortMap.h"

#include <cctype>

namespace zrk {

std::string PortMap::portName(int portNumber) {
    return "COM" + std::to_string(portNumber);
}

std::string PortMap::defaultDevice(int portNumber) {
    return systemPortDevice(portNumber);
}

std::optional<int> PortMap::parsePortName(const std::string& name) {
    if (name.size() < 4 || name.size() > 5)
        return std::nullopt;
    for (int i = 0; i < 3; ++i) {
        if (std::toupper(static_cast<unsigned char>(name[i])) != "COM"[i])
            return std::nullopt;
    }
    int number = 0;
    for (std::size_t i = 3; i < name.size(); ++i) {
        if (!std::isdigit(static_cast<unsigned char>(name[i])))
            return std::nullopt;
        number = number * 10 + (name[i] - '0');
    }
    if (name[3] == '0' || number < kFirstPort || number > kLastPort)
        return std::nullopt;
    return number;
}

void PortMap::setDevice(int portNumber, const std::string& path) {
    if (portNumber < kFirstPort || portNumber > kLastPort)
        return;
    m_Overrides[portNumber] = path;
    m_Adapters[portNumber].clear();
}

std::string PortMap::device(int portNumber) const {
    if (portNumber >= kFirstPort && portNumber <= kLastPort && !m_Overrides[portNumber].empty())
        return m_Overrides[portNumber];
    return defaultDevice(portNumber);
}

bool PortMap::isOverridden(int portNumber) const {
    return portNumber >= kFirstPort && portNumber <= kLastPort && !m_Overrides[portNumber].empty();
}

void PortMap::setAdapter(int portNumber, const std::string& key) {
    if (portNumber >= kFirstPort && portNumber <= kLastPort)
        m_Adapters[portNumber] = key;
}

std::string PortMap::adapter(int portNumber) const {
    if (portNumber < kFirstPort || portNumber > kLastPort)
        return {};
    return m_Adapters[portNumber];
}

std::vector<int> PortMap::follow(const std::vector<SerialDevice>& present) {
    std::vector<int> changed;
    for (int n = kFirstPort; n <= kLastPort; ++n) {
        if (m_Adapters[n].empty())
            continue;
        for (const SerialDevice& d : present) {
            if (adapterKey(d) == m_Adapters[n] && m_Overrides[n] != d.path) {
                m_Overrides[n] = d.path;
                changed.push_back(n);
            }
        }
    }
    return changed;
}

std::vector<int> PortMap::nameNewAdapters(const std::vector<SerialDevice>& present) {
    std::vector<int> given;
    auto isFree = [&](int n) {
        if (!m_Overrides[n].empty() || !m_Adapters[n].empty())
            return false;
        for (const SerialDevice& d : present)
            if (d.path == defaultDevice(n))
                return false;
        return true;
    };
    for (const SerialDevice& d : usbAdapters(present)) {
        const std::string key = adapterKey(d);
        // Named already: by its key, or by its path where the name is not another adapter's
        // (that one was here before and left its path behind).
        bool named = false;
        for (int n = kFirstPort; n <= kLastPort; ++n)
            named = named || (!key.empty() && m_Adapters[n] == key) ||
                    (device(n) == d.path && (m_Adapters[n].empty() || m_Adapters[n] == key));
        if (named)
            continue;
        for (int n = kFirstPort; n <= kLastPort; ++n) {
            if (isFree(n)) {
                m_Overrides[n] = d.path;
                m_Adapters[n] = key;
                given.push_back(n);
                break;
            }
        }
    }
    return given;
}

std::optional<int> PortMap::nameOf(const std::string& device) const {
    for (int n = kFirstPort; n <= kLastPort; ++n)
        if (this->device(n) == device)
            return n;
    return std::nullopt;
}

std::string nameAndDevice(int portNumber, const std::string& devicePath) {
    const std::string name = PortMap::portName(portNumber);
    if (devicePath == name || devicePath == "\\\\.\\" + name)
        return name;
    return name + "  " + devicePath;
}

std::string portLine(const PortMap& map, const SerialDevice& device) {
    const auto name = map.nameOf(device.path);
    return (name ? nameAndDevice(*name, device.path) : device.path) + "  " + identityText(device);
}

std::vector<std::string> presentPortLines(const PortMap& map,
                                          const std::vector<SerialDevice>& present) {
    std::vector<std::string> lines;
    for (const SerialDevice& d : present)
        if (d.kind != SerialKind::PseudoTerminal)
            lines.push_back(portLine(map, d));
    return lines;
}

PortMap& portMap() {
    static PortMap map;
    return map;
}

}  // namespace zrk
