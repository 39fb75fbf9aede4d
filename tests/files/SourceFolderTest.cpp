// A folder read through its descriptor: what it lists, and that neither a link standing where
// a folder or file was nor a FIFO is ever followed or waited on.
#include "files/SourceFolder.h"

#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/stat.h>
#endif

#include <algorithm>
#include <filesystem>

#include "files/RegularFileReader.h"
#include "support/PlantedLink.h"
#include "support/TempDir.h"

namespace zrk {
namespace {

namespace fs = std::filesystem;

TEST(SourceFolder, ListsWhatIsThereAndFollowsNoLinkAtAnyLevel) {
    test::TempDir dir;
    fs::create_directories(dir.file("top/sub"));
    fs::create_directories(dir.file("elsewhere"));
    dir.write("top/sub/a.txt", {1, 2, 3});
    dir.write("elsewhere/a.txt", {9, 9, 9});
    ZRK_PLANT_LINK_OR_SKIP(dir.file("elsewhere"), dir.file("top/linked"), true);
    ZRK_PLANT_LINK_OR_SKIP(dir.file("elsewhere/a.txt"), dir.file("top/sub/b.txt"));
#ifndef _WIN32
    ASSERT_EQ(::mkfifo(dir.file("top/sub/pipe").c_str(), 0600), 0);
#endif

    std::string why;
    auto top = SourceFolder::open(dir.file("top") + "/", &why);
    ASSERT_TRUE(top) << why;
    std::vector<SourceEntry> entries;
    ASSERT_TRUE(top->list(&entries, &why)) << why;
    std::sort(entries.begin(), entries.end(),
              [](const SourceEntry& a, const SourceEntry& b) { return a.name < b.name; });
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].name, "linked");
    EXPECT_TRUE(entries[0].link);
    EXPECT_EQ(entries[1].name, "sub");
    EXPECT_EQ(entries[1].kind, FileKind::Directory);

    EXPECT_FALSE(top->enter("linked", &why));
    EXPECT_NE(why.find("symbolic link"), std::string::npos) << why;
    auto sub = top->enter("sub", &why);
    ASSERT_TRUE(sub) << why;
    EXPECT_EQ(sub->identity(), entries[1].identity);
    EXPECT_EQ(fs::path(sub->pathOf("a.txt")).lexically_normal(),
              fs::path(dir.file("top/sub/a.txt")).lexically_normal());

    RegularFileReader reader;
    FileIdentity identity;
    ASSERT_TRUE(sub->openFile("a.txt", reader, &identity, &why)) << why;
    EXPECT_EQ(reader.size(), 3u);
    std::uint8_t bytes[8] = {};
    EXPECT_EQ(reader.read(bytes, sizeof bytes), 3);
    EXPECT_EQ(bytes[0], 1);
    EXPECT_FALSE(sub->openFile("b.txt", reader, &identity, &why));
    EXPECT_NE(why.find("symbolic link"), std::string::npos) << why;
#ifndef _WIN32
    EXPECT_FALSE(sub->openFile("pipe", reader, &identity, &why));  // returns at once
#endif
    EXPECT_FALSE(reader.isOpen());

    // The folder named itself must be one, not a link to one.
    EXPECT_FALSE(SourceFolder::open(dir.file("top/linked"), &why));
    EXPECT_NE(why.find("symbolic link"), std::string::npos) << why;
    EXPECT_FALSE(SourceFolder::open(dir.file("top/sub/a.txt"), &why));
}

}  // namespace
}  // namespace zrk
