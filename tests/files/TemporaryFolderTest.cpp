#include "files/TemporaryFolder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

#include "support/Environment.h"
#include "support/TempDir.h"

namespace zrk {
namespace {

namespace fs = std::filesystem;

// Where the system looks first for its folder for temporary files.
#ifdef _WIN32
constexpr const char* kTemporaryVariable = "TMP";
#else
constexpr const char* kTemporaryVariable = "TMPDIR";
#endif

class TemporaryFolderTest : public testing::Test {
  protected:
    void SetUp() override {
        if (const char* tmp = std::getenv(kTemporaryVariable))
            m_Saved = tmp;
    }
    void TearDown() override {
        if (m_Saved)
            test::setEnvironment(kTemporaryVariable, *m_Saved);
        else
            test::unsetEnvironment(kTemporaryVariable);
    }

  private:
    std::optional<std::string> m_Saved;
};

TEST_F(TemporaryFolderTest, EachCallMakesANewEmptyPrivateFolder) {
    const test::TempDir parent;
    const fs::path base = fs::path(parent.file("x")).parent_path();
    test::setEnvironment(kTemporaryVariable, base.string());
    const auto first = makeTemporaryFolder("zrk410-verify-");
    const auto second = makeTemporaryFolder("zrk410-verify-");
    ASSERT_TRUE(first && second);
    EXPECT_NE(*first, *second);
    for (const auto& folder : {*first, *second}) {
        EXPECT_EQ(fs::path(folder).parent_path(), base);
        EXPECT_EQ(fs::path(folder).filename().string().rfind("zrk410-verify-", 0), 0u);
        EXPECT_TRUE(fs::is_directory(folder));
        EXPECT_TRUE(fs::is_empty(folder));
#ifndef _WIN32  // Windows keeps who may enter in the folder's ACL, inherited from its parent
        EXPECT_EQ(fs::status(folder).permissions() & fs::perms::all, fs::perms::owner_all);
#endif
    }
}

// A TMPDIR naming a folder that is gone (or a file) is a refusal the caller can report, where
// the standard library would throw.
TEST_F(TemporaryFolderTest, NoUsableTemporaryFolderIsARefusal) {
    const test::TempDir parent;
    test::setEnvironment(kTemporaryVariable, parent.file("gone"));
    EXPECT_FALSE(makeTemporaryFolder("zrk410-verify-"));
    const std::string file = parent.write("a-file", {1});
    test::setEnvironment(kTemporaryVariable, file);
    EXPECT_FALSE(makeTemporaryFolder("zrk410-verify-"));
}

}  // namespace
}  // namespace zrk
