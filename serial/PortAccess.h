#pragma once
// Whether a user may open a device for reading and writing, judged from its mode bits, and
// what to run when not. The user is given, not taken from the process, so that a program
// running as root can still answer for the operator it serves.
#include <sys/stat.h>
#include <sys/types.h>

#include <string>
#include <vector>

namespace zrk {

struct Identity {
    uid_t uid = 0;
    gid_t gid = 0;              // the primary group
    std::vector<gid_t> groups;  // the groups this login has now (getgroups)
    std::string userName;
};

// The process's own user.
Identity currentIdentity();
// A user from the password database with the groups it would have at its next login (the
// group database's members), for checking on behalf of someone else.
bool identityOfUser(const std::string& name, Identity* identity);

bool mayReadWrite(const struct stat& st, const Identity& who);

// The groups the group database lists the user in (besides the primary one): those it gets
// at its next login, which may differ from the ones it has now.
bool isListedMember(const Identity& who, gid_t group);

std::string groupName(gid_t gid);
std::string userNameOf(uid_t uid);
// "crw-rw----"
std::string modeText(mode_t mode);

}  // namespace zrk
