#include "serial/PortAccess.h"

#include <algorithm>

namespace zrk {

namespace {

bool allOf(std::uint16_t permissions, std::uint16_t wanted) {
    return (permissions & wanted) == wanted;
}

char kindLetter(DeviceAccess::Kind kind) {
    switch (kind) {
        case DeviceAccess::Kind::CharacterDevice:
            return 'c';
        case DeviceAccess::Kind::BlockDevice:
            return 'b';
        case DeviceAccess::Kind::Directory:
            return 'd';
        case DeviceAccess::Kind::Link:
            return 'l';
        case DeviceAccess::Kind::Fifo:
            return 'p';
        case DeviceAccess::Kind::Socket:
            return 's';
        case DeviceAccess::Kind::Regular:
            break;
    }
    return '-';
}

}  // namespace

bool groupMayReadWrite(const DeviceAccess& device) {
    return allOf(device.permissions, DeviceAccess::kGroupRead | DeviceAccess::kGroupWrite);
}

// Only the first class that matches counts, as the system judges it: an owner whose own bits
// forbid is refused even where the group's or everyone's would let in.
bool mayReadWrite(const DeviceAccess& device, const Identity& who) {
    if (who.uid == 0)
        return true;
    if (who.uid == device.owner)
        return allOf(device.permissions, DeviceAccess::kOwnerRead | DeviceAccess::kOwnerWrite);
    const bool inGroup = who.gid == device.group || std::find(who.groups.begin(), who.groups.end(),
                                                              device.group) != who.groups.end();
    if (inGroup)
        return groupMayReadWrite(device);
    return allOf(device.permissions, DeviceAccess::kOtherRead | DeviceAccess::kOtherWrite);
}

std::string modeText(const DeviceAccess& device) {
    std::string text(10, '-');
    text[0] = kindLetter(device.kind);
    const char* letters = "rwxrwxrwx";
    for (int i = 0; i < 9; ++i)
        if (device.permissions & (1u << (8 - i)))
            text[static_cast<std::size_t>(i + 1)] = letters[i];
    return text;
}

}  // namespace zrk
