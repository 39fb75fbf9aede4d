#include "files/TemporaryFolder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

#include "support/TempDir.h"

namespace zrk {
namespace {

namespace fs = std::filesystem;

class TemporaryFolderTest : public testing::Test {
  protected:
    void SetUp() override {
        if (const char* tmp = std::getenv("TMPDIR"))
            m_Saved = tmp;
    }
    void TearDown() override {
        if (m_Saved)
            ::setenv("TMPDIR", m_Saved->c_str(), 1);
        else
            ::unsetenv("TMPDIR");
    }

  private:
    std::optional<std::string> m_Saved;
};

TEST_F(TemporaryFolderTest, EachCallMakesANewEmptyPrivateFolder) {
    const test::TempDir parent;
    const fs::path base = fs::path(parent.file("x")).parent_path();
    ::setenv("TMPDIR", base.c_str(), 1);
    const auto first = makeTemporaryFolder("zrk410-verify-");
    const auto second = makeTemporaryFolder("zrk410-verify-");
    ASSERT_TRUE(first && second);
    EXPECT_NE(*first, *second);
    for (const auto& folder : {*first, *second}) {
        EXPECT_EQ(fs::path(folder).parent_path(), base);
        EXPECT_EQ(fs::path(folder).filename().string().rfind("zrk410-verify-", 0), 0u);
        EXPECT_TRUE(fs::is_directory(folder));
        EXPECT_TRUE(fs::is_empty(folder));
        EXPECT_EQ(fs::status(folder).permissions() & fs::perms::all, fs::perms::owner_all);
    }
}

// A TMPDIR naming a folder that is gone (or a file) is a refusal the caller can report, where
// the standard library would throw.
TEST_F(TemporaryFolderTest, NoUsableTemporaryFolderIsARefusal) {
    const test::TempDir parent;
    ::setenv("TMPDIR", parent.file("gone").c_str(), 1);
    EXPECT_FALSE(makeTemporaryFolder("zrk410-verify-"));
    const std::string file = parent.write("a-file", {1});
    ::setenv("TMPDIR", file.c_str(), 1);
    EXPECT_FALSE(makeTemporaryFolder("zrk410-verify-"));
}

}  // namespace
}  // namespace zrk
