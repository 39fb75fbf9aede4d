#include "serial/PortMap.h"

#include <cctype>

namespace zrk {

std::string PortMap::portName(int portNumber) {
    return "COM" + std::to_string(portNumber);
}

std::string PortMap::defaultDevice(int portNumber) {
    return "/dev/ttyS" + std::to_string(portNumber - 1);
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
}

std::string PortMap::device(int portNumber) const {
    if (portNumber >= kFirstPort && portNumber <= kLastPort && !m_Overrides[portNumber].empty())
        return m_Overrides[portNumber];
    return defaultDevice(portNumber);
}

bool PortMap::isOverridden(int portNumber) const {
    return portNumber >= kFirstPort && portNumber <= kLastPort && !m_Overrides[portNumber].empty();
}

PortMap& portMap() {
    static PortMap map;
    return map;
}

}  // namespace zrk
