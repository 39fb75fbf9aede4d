#include "serial/PortAccess.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include "support/TempDir.h"

namespace zrk {
namespace {

DeviceAccess port(UserId owner, GroupId group, std::uint16_t permissions) {
    DeviceAccess device;
    device.kind = DeviceAccess::Kind::CharacterDevice;
    device.owner = owner;
    device.group = group;
    device.permissions = permissions;
    return device;
}

Identity user(UserId uid, GroupId gid, std::vector<GroupId> groups = {}) {
    Identity who;
    who.uid = uid;
    who.gid = gid;
    who.groups = std::move(groups);
    who.userName = "operator";
    return who;
}

// Only the first class the user falls in counts: bits that let the group or everyone in do not
// help an owner whose own bits forbid, which is how the kernel will judge the open.
TEST(PortAccess, TheFirstClassTheUserFallsInDecides) {
    // The owner.
    EXPECT_TRUE(mayReadWrite(port(1000, 20, 0600), user(1000, 1000)));
    EXPECT_FALSE(mayReadWrite(port(1000, 20, 0400), user(1000, 1000)));
    EXPECT_FALSE(mayReadWrite(port(1000, 20, 0066), user(1000, 20)));
    // The group, as the primary one or one of the login's others.
    EXPECT_TRUE(mayReadWrite(port(0, 20, 0660), user(1000, 20)));
    EXPECT_TRUE(mayReadWrite(port(0, 20, 0660), user(1000, 1000, {24, 20})));
    EXPECT_FALSE(mayReadWrite(port(0, 20, 0620), user(1000, 20)));
    EXPECT_FALSE(mayReadWrite(port(0, 20, 0606), user(1000, 1000, {20})));
    // Everyone else.
    EXPECT_FALSE(mayReadWrite(port(0, 20, 0660), user(1000, 1000, {24})));
    EXPECT_TRUE(mayReadWrite(port(0, 20, 0666), user(1000, 1000)));
    EXPECT_FALSE(mayReadWrite(port(0, 20, 0664), user(1000, 1000)));
    // Root opens anything.
    EXPECT_TRUE(mayReadWrite(port(1000, 20, 0), user(0, 0)));

    EXPECT_TRUE(groupMayReadWrite(port(0, 20, 0660)));
    EXPECT_FALSE(groupMayReadWrite(port(0, 20, 0646)));
}

TEST(PortAccess, ModeTextShowsTheKindAndTheNineBits) {
    EXPECT_EQ(modeText(port(0, 20, 0660)), "crw-rw----");
    DeviceAccess folder = port(0, 0, 0755);
    folder.kind = DeviceAccess::Kind::Directory;
    EXPECT_EQ(modeText(folder), "drwxr-xr-x");
    DeviceAccess file = port(0, 0, 0);
    file.kind = DeviceAccess::Kind::Regular;
    EXPECT_EQ(modeText(file), "----------");
}

// What the system says of a file reaches the judgement unchanged: its owner, group, bits and
// kind, and a link is seen as itself only when asked.
TEST(PortAccess, DeviceAccessReadsTheFileAndFollowsLinksWhenAsked) {
    test::TempDir dir;
    const std::string path = dir.write("ttyFAKE", {1});
    ASSERT_EQ(::chown(path.c_str(), 0, 20), 0);
    ASSERT_EQ(::chmod(path.c_str(), 04640), 0);  // setuid is no permission bit of ours
    ASSERT_EQ(::symlink(path.c_str(), dir.file("link").c_str()), 0);

    const auto file = deviceAccess(dir.file("link"));
    ASSERT_TRUE(file);
    EXPECT_EQ(file->kind, DeviceAccess::Kind::Regular);
    EXPECT_EQ(file->owner, 0u);
    EXPECT_EQ(file->group, 20u);
    EXPECT_EQ(file->permissions, 0640);

    const auto link = deviceAccess(dir.file("link"), false);
    ASSERT_TRUE(link);
    EXPECT_EQ(link->kind, DeviceAccess::Kind::Link);

    EXPECT_EQ(deviceAccess("/dev/null")->kind, DeviceAccess::Kind::CharacterDevice);
    EXPECT_FALSE(deviceAccess(dir.file("missing")));
}

TEST(PortAccess, GroupNamesAndNumbersGoBothWays) {
    const std::optional<GroupId> root = groupNamed("root");
    ASSERT_TRUE(root);
    EXPECT_EQ(*root, 0u);
    EXPECT_EQ(groupName(0), "root");
    EXPECT_FALSE(groupNamed("no-such-group-here"));
    // A number without a name is shown as the number.
    EXPECT_EQ(groupName(4000000000u), "gid 4000000000");
}

}  // namespace
}  // namespace zrk
