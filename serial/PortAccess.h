#pragma once
// Whether a user may open a device for reading and writing, judged from its owner, group and
// permission bits, and what to run when not. The user is given, not taken from the process, so
// that a program running as root can still answer for the operator it serves. The ids and bits
// are our own types: the system's are met only in serial/posix/.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace zrk {

using UserId = std::uint32_t;
using GroupId = std::uint32_t;

struct Identity {
    UserId uid = 0;
    GroupId gid = 0;              // the primary group
    std::vector<GroupId> groups;  // the groups this login has now (getgroups)
    std::string userName;
};

// Who owns a device and who may do what with it, as its file says.
struct DeviceAccess {
    enum class Kind { Regular, CharacterDevice, BlockDevice, Directory, Link, Fifo, Socket };
    // Read, write and search for the owner, the group and everyone else, in the classic octal
    // layout: 0660 lets the owner and the group read and write, nobody else anything.
    enum Permission : std::uint16_t {
        kOwnerRead = 0400,
        kOwnerWrite = 0200,
        kOwnerSearch = 0100,
        kGroupRead = 040,
        kGroupWrite = 020,
        kGroupSearch = 010,
        kOtherRead = 04,
        kOtherWrite = 02,
        kOtherSearch = 01,
    };
    Kind kind = Kind::Regular;
    UserId owner = 0;
    GroupId group = 0;
    std::uint16_t permissions = 0;  // Permission bits, nothing else
};

// The device the path leads to, links followed (or the link itself with followLinks false);
// nothing when there is none.
std::optional<DeviceAccess> deviceAccess(const std::string& path, bool followLinks = true);

// The process's own user.
Identity currentIdentity();
// A user from the password database with the groups it would have at its next login (the
// group database's members), for checking on behalf of someone else.
bool identityOfUser(const std::string& name, Identity* identity);

bool mayReadWrite(const DeviceAccess& device, const Identity& who);
// The device's group may read and write it.
bool groupMayReadWrite(const DeviceAccess& device);

// The groups the group database lists the user in (besides the primary one): those it gets
// at its next login, which may differ from the ones it has now.
bool isListedMember(const Identity& who, GroupId group);

std::string groupName(GroupId gid);
// The group of that name; nothing when the group database has none.
std::optional<GroupId> groupNamed(const std::string& name);
std::string userNameOf(UserId uid);
// "crw-rw----"
std::string modeText(const DeviceAccess& device);

}  // namespace zrk
