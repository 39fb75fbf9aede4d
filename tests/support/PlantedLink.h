#pragma once
// Symbolic links planted by a test. Windows makes them only for an administrator or in
// developer mode (and Wine not at all in some versions): a test that needs one is skipped
// there, saying why, instead of failing.
#include <gtest/gtest.h>

#include <filesystem>
#include <system_error>

namespace zrk::test {

inline bool plantLink(const std::filesystem::path& target, const std::filesystem::path& at,
                      bool folder = false) {
    std::error_code error;
    if (folder)
        std::filesystem::create_directory_symlink(target, at, error);
    else
        std::filesystem::create_symlink(target, at, error);
    return !error;
}

}  // namespace zrk::test

// Skips the running test on Windows when the system would not make the link; elsewhere that
// is a failure.
#ifdef _WIN32
#define ZRK_LINK_REFUSED() GTEST_SKIP() << "this system does not let the test make symbolic links"
#else
#define ZRK_LINK_REFUSED() FAIL() << "cannot make a symbolic link"
#endif
#define ZRK_PLANT_LINK_OR_SKIP(...)               \
    do {                                          \
        if (!::zrk::test::plantLink(__VA_ARGS__)) \
            ZRK_LINK_REFUSED();                   \
    } while (false)
