#include "engine/TextFormat.h"
#include "filesystem/explorer/ExplorerEngine.h"

namespace zrk {
namespace {

std::uint32_t be32(const std::uint8_t* p) {
    return std::uint32_t{p[0]} << 24 | std::uint32_t{p[1]} << 16 | std::uint32_t{p[2]} << 8 | p[3];
}

std::int16_t be16(const std::uint8_t* p) {
    return static_cast<std::int16_t>(static_cast<std::uint16_t>(p[0] << 8 | p[1]));
}

std::string dateTimeLine(std::uint32_t v) {
    return formatText(
        "%04lu:%02lu:%02lu %02lu:%02lu:%02lu \r\n", 1980ul + (v >> 25),
        static_cast<unsigned long>(v >> 21 & 0x0F), static_cast<unsigned long>(v >> 16 & 0x1F),
        static_cast<unsigned long>(v >> 11 & 0x1F), static_cast<unsigned long>(v >> 5 & 0x3F),
        static_cast<unsigned long>(v & 0x1F));
}

}  // namespace

FileStatusRecord FileStatusRecord::decode(const std::uint8_t* b) {
    FileStatusRecord r;
    r.mode = be32(b);
    r.inode = be32(b + 4);
    r.deviceId = be16(b + 8);
    r.dummy = be16(b + 10);
    r.size = static_cast<std::int32_t>(be32(b + 12));
    r.accessTime = be32(b + 16);
    r.modificationTime = be32(b + 20);
    r.statusChangeTime = be32(b + 24);
    return r;
}

std::vector<std::string> FileStatusRecord::report() const {
    // The access time holds a date alone, in the low half; every bit above the day and month
    // counts towards its year.
    const std::uint32_t a = accessTime;
    // Signed fields print widened with their sign, as the phone's own tools show them.
    const auto widened = [](std::int16_t v) {
        return static_cast<unsigned int>(static_cast<std::int32_t>(v));
    };
    return {
        formatText("\n*File mode : 0x%x \r\n", mode),
        formatText("*File i node : 0x%x \r\n", inode),
        formatText("*File dev ID: 0x%x \r\n", widened(deviceId)),
        formatText("*File dummy entry : 0x%x \r\n", widened(dummy)),
        formatText("*File size : %d byte\r\n", size),
        formatText("*File last access time : 0x%x \r\n", accessTime),
        formatText("%04lu:%02lu:%02lu \r\n", 1980ul + (a >> 9),
                   static_cast<unsigned long>(a >> 5 & 0x0F), static_cast<unsigned long>(a & 0x1F)),
        formatText("*File last modification time : 0x%x \r\n", modificationTime),
        dateTimeLine(modificationTime),
        formatText("*File last status change time : 0x%x \r\n", statusChangeTime),
        dateTimeLine(statusChangeTime),
    };
}

std::string explorerNodePath(const std::vector<std::string>& texts) {
    if (texts.empty())
        return {};
    // Built from the node upwards: each parent adds a separator unless its text ends in one.
    std::string path = texts.back();
    for (std::size_t i = texts.size() - 1; i-- > 0;) {
        std::string parent = texts[i];
        if (parent.empty() || parent.back() != '/')
            parent += '/';
        path = parent + path;
    }
    return path;
}

}  // namespace zrk
