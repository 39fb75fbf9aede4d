#include "filesystem/FileSystemPackets.h"

#include "filesystem/FileSystemStates.h"

namespace zrk::fs {

namespace {

void putLittleEndian32(std::uint8_t* out, std::uint32_t value) {
    for (int i = 0; i < 4; ++i)
        out[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

}  // namespace

std::array<std::uint8_t, kTimePacketSize> timePacket(const std::tm& local) {
    std::array<std::uint8_t, kTimePacketSize> packet{};
    packet[0] = CMD_SET_TIME;
    const int fields[] = {local.tm_sec,  local.tm_min,     local.tm_hour,
                          local.tm_mday, local.tm_mon + 1, local.tm_year + 1900};
    for (std::size_t i = 0; i < 6; ++i)
        putLittleEndian32(packet.data() + 4 + 4 * i, static_cast<std::uint32_t>(fields[i]));
    return packet;
}

std::vector<std::uint8_t> namePacket(std::uint8_t command, const std::string& utf8Name) {
    std::vector<std::uint8_t> packet{command, static_cast<std::uint8_t>(utf8Name.size() >> 8),
                                     static_cast<std::uint8_t>(utf8Name.size())};
    packet.insert(packet.end(), utf8Name.begin(), utf8Name.end());
    return packet;
}

}  // namespace zrk::fs
