#include "serial/PortAccess.h"

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace zrk {

namespace {

std::vector<char> lookupBuffer() {
    const long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    return std::vector<char>(size > 0 ? static_cast<std::size_t>(size) * 4 : 65536);
}

// The primary group and every group the group database lists the user in.
std::vector<GroupId> listedGroups(const std::string& name, GroupId primary) {
    int count = 64;
    std::vector<gid_t> groups(static_cast<std::size_t>(count));
    if (::getgrouplist(name.c_str(), primary, groups.data(), &count) < 0) {
        groups.resize(static_cast<std::size_t>(count));
        if (::getgrouplist(name.c_str(), primary, groups.data(), &count) < 0)
            return {primary};
    }
    groups.resize(static_cast<std::size_t>(std::max(count, 0)));
    return {groups.begin(), groups.end()};
}

DeviceAccess::Kind kindOf(mode_t mode) {
    using Kind = DeviceAccess::Kind;
    return S_ISCHR(mode)    ? Kind::CharacterDevice
           : S_ISBLK(mode)  ? Kind::BlockDevice
           : S_ISDIR(mode)  ? Kind::Directory
           : S_ISLNK(mode)  ? Kind::Link
           : S_ISFIFO(mode) ? Kind::Fifo
           : S_ISSOCK(mode) ? Kind::Socket
                            : Kind::Regular;
}

}  // namespace

std::string userNameOf(UserId uid) {
    passwd entry{};
    passwd* found = nullptr;
    auto buffer = lookupBuffer();
    if (::getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found) == 0 && found)
        return found->pw_name;
    return "uid " + std::to_string(uid);
}

std::string groupName(GroupId gid) {
    group entry{};
    group* found = nullptr;
    // Groups with many members need more room than the size hint promises.
    for (std::size_t size = 65536; size <= (1u << 24); size *= 4) {
        std::vector<char> buffer(size);
        const int error = ::getgrgid_r(gid, &entry, buffer.data(), buffer.size(), &found);
        if (error == ERANGE)
            continue;
        if (error == 0 && found)
            return found->gr_name;
        break;
    }
    return "gid " + std::to_string(gid);
}

Identity currentIdentity() {
    Identity me;
    me.uid = ::geteuid();
    me.gid = ::getegid();
    const int count = ::getgroups(0, nullptr);
    if (count > 0) {
        std::vector<gid_t> groups(static_cast<std::size_t>(count));
        const int got = ::getgroups(count, groups.data());
        groups.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
        me.groups.assign(groups.begin(), groups.end());
    }
    me.userName = userNameOf(me.uid);
    return me;
}

bool identityOfUser(const std::string& name, Identity* identity) {
    passwd entry{};
    passwd* found = nullptr;
    auto buffer = lookupBuffer();
    if (::getpwnam_r(name.c_str(), &entry, buffer.data(), buffer.size(), &found) != 0 || !found)
        return false;
    Identity who;
    who.uid = found->pw_uid;
    who.gid = found->pw_gid;
    who.userName = found->pw_name;
    who.groups = listedGroups(who.userName, who.gid);
    *identity = std::move(who);
    return true;
}

bool isListedMember(const Identity& who, GroupId gid) {
    if (who.gid == gid)
        return true;
    const auto groups = listedGroups(who.userName, who.gid);
    return std::find(groups.begin(), groups.end(), gid) != groups.end();
}

std::optional<GroupId> groupNamed(const std::string& name) {
    group entry{};
    group* found = nullptr;
    for (std::size_t size = 65536; size <= (1u << 24); size *= 4) {
        std::vector<char> buffer(size);
        const int error = ::getgrnam_r(name.c_str(), &entry, buffer.data(), buffer.size(), &found);
        if (error == ERANGE)
            continue;
        if (error == 0 && found)
            return found->gr_gid;
        break;
    }
    return std::nullopt;
}

std::optional<DeviceAccess> deviceAccess(const std::string& path, bool followLinks) {
    struct stat st {};
    if ((followLinks ? ::stat(path.c_str(), &st) : ::lstat(path.c_str(), &st)) != 0)
        return std::nullopt;
    DeviceAccess device;
    device.kind = kindOf(st.st_mode);
    device.owner = st.st_uid;
    device.group = st.st_gid;
    device.permissions = static_cast<std::uint16_t>(st.st_mode & 0777);
    return device;
}

}  // namespace zrk
