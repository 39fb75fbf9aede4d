#pragma once
// A code page and a .cfg made in a test, for the checks that read names: both known good.
#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "filesystem/CodePage.h"
#include "filesystem/QixConfig.h"

namespace zrk::test {

inline CodePage openCodePage(const std::string& name) {
    return std::move(*CodePage::open(name, nullptr));
}

// The entries after a version line, as a .cfg of an empty image.
inline QixConfig qixConfig(const std::string& entries) {
    auto result = checkQixConfigText("QIXVERSION : 0123456789ABCDEF\r\n" + entries, 0);
    EXPECT_TRUE(result.ok()) << result.logText << result.messageText;
    return std::move(*result.config);
}

}  // namespace zrk::test
