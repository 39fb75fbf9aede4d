#include "serial/PortAccess.h"

#include <windows.h>

#include "serial/win32/WindowsText.h"

// Windows guards a COM port with the driver's own rules, not with owner, group and mode: a
// user may open any port nobody else holds. What the judgement needs is answered as "nothing
// to tell", so that the front ends fall back to opening the port and reading the answer.
namespace zrk {

std::optional<DeviceAccess> deviceAccess(const std::string&, bool) {
    return std::nullopt;
}

Identity currentIdentity() {
    Identity me;
    wchar_t name[256];
    DWORD length = sizeof name / sizeof name[0];
    if (::GetUserNameW(name, &length) && length > 0)
        me.userName = win32::utf8Of(std::wstring(name, length - 1));
    return me;
}

bool identityOfUser(const std::string& name, Identity* identity) {
    // Any user may open a free port: checking on behalf of another needs nothing of theirs.
    if (identity) {
        *identity = Identity{};
        identity->userName = name;
    }
    return !name.empty();
}

bool isListedMember(const Identity&, GroupId) {
    return false;
}

std::string groupName(GroupId) {
    return {};
}

std::optional<GroupId> groupNamed(const std::string&) {
    return std::nullopt;
}

std::string userNameOf(UserId) {
    return {};
}

}  // namespace zrk
