#include "serial/PortAccess.h"

#include <grp.h>
#include <pwd.h>
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
std::vector<gid_t> listedGroups(const std::string& name, gid_t primary) {
    int count = 64;
    std::vector<gid_t> groups(static_cast<std::size_t>(count));
    if (::getgrouplist(name.c_str(), primary, groups.data(), &count) < 0) {
        groups.resize(static_cast<std::size_t>(count));
        if (::getgrouplist(name.c_str(), primary, groups.data(), &count) < 0)
            return {primary};
    }
    groups.resize(static_cast<std::size_t>(std::max(count, 0)));
    return groups;
}

}  // namespace

std::string userNameOf(uid_t uid) {
    passwd entry{};
    passwd* found = nullptr;
    auto buffer = lookupBuffer();
    if (::getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found) == 0 && found)
        return found->pw_name;
    return "uid " + std::to_string(uid);
}

std::string groupName(gid_t gid) {
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
        me.groups.resize(static_cast<std::size_t>(count));
        const int got = ::getgroups(count, me.groups.data());
        me.groups.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
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

bool mayReadWrite(const struct stat& st, const Identity& who) {
    constexpr mode_t kOwner = S_IRUSR | S_IWUSR, kGroup = S_IRGRP | S_IWGRP,
                     kOther = S_IROTH | S_IWOTH;
    if (who.uid == 0)
        return true;
    if (who.uid == st.st_uid)
        return (st.st_mode & kOwner) == kOwner;
    const bool inGroup = who.gid == st.st_gid || std::find(who.groups.begin(), who.groups.end(),
                                                           st.st_gid) != who.groups.end();
    if (inGroup)
        return (st.st_mode & kGroup) == kGroup;
    return (st.st_mode & kOther) == kOther;
}

bool isListedMember(const Identity& who, gid_t gid) {
    if (who.gid == gid)
        return true;
    const auto groups = listedGroups(who.userName, who.gid);
    return std::find(groups.begin(), groups.end(), gid) != groups.end();
}

std::string modeText(mode_t mode) {
    std::string text(10, '-');
    text[0] = S_ISCHR(mode)    ? 'c'
              : S_ISBLK(mode)  ? 'b'
              : S_ISDIR(mode)  ? 'd'
              : S_ISLNK(mode)  ? 'l'
              : S_ISFIFO(mode) ? 'p'
              : S_ISSOCK(mode) ? 's'
                               : '-';
    const char* letters = "rwxrwxrwx";
    for (int i = 0; i < 9; ++i)
        if (mode & (1u << (8 - i)))
            text[static_cast<std::size_t>(i + 1)] = letters[i];
    return text;
}

}  // namespace zrk
