#include "fuzz/OpenDescriptors.h"

#include <fcntl.h>
#include <unistd.h>

#include <vector>

#include <gtest/gtest.h>

namespace zrk::fuzz {
namespace {

int openNull() {
    return ::open("/dev/null", O_RDONLY | O_CLOEXEC);
}

TEST(Descriptors, SeesAFileLeftOpenAndForgetsItOnceClosed) {
    Descriptors held;
    ASSERT_TRUE(held.take());
    EXPECT_TRUE(held.unchanged());
    EXPECT_TRUE(held.unchangedExactly());

    const int leaked = openNull();
    ASSERT_GE(leaked, 0);
    EXPECT_FALSE(held.unchanged());
    EXPECT_FALSE(held.unchangedExactly());

    ::close(leaked);
    EXPECT_TRUE(held.unchanged());
    EXPECT_TRUE(held.unchangedExactly());
}

// What a count cannot see: one file closed and another left open in its stead.
TEST(Descriptors, SeesADescriptorSwappedForAnotherOfTheSameCount) {
    const int mine = openNull();
    ASSERT_GE(mine, 0);
    Descriptors held;
    ASSERT_TRUE(held.take());

    const int other = openNull();
    ASSERT_GE(other, 0);
    ::close(mine);
    EXPECT_FALSE(held.unchanged());
    EXPECT_FALSE(held.unchangedExactly());
    ::close(other);
}

TEST(Descriptors, SeesAHeldDescriptorClosedBySomeoneElse) {
    const int mine = openNull();
    ASSERT_GE(mine, 0);
    Descriptors held;
    ASSERT_TRUE(held.take());
    ::close(mine);
    EXPECT_FALSE(held.unchanged());
    EXPECT_FALSE(held.unchangedExactly());
}

// The poll watches the lowest free numbers only: a file left open beyond them, which takes
// more files open at once than it watches, is for the exact list at the input's end.
TEST(Descriptors, TheExactListSeesALeakBeyondTheWatchedNumbers) {
    Descriptors held;
    ASSERT_TRUE(held.take());
    std::vector<int> crowd;
    for (std::size_t i = 0; i <= Descriptors::kWatchedFree; ++i) {
        crowd.push_back(openNull());
        ASSERT_GE(crowd.back(), 0);
    }
    const int leaked = crowd.back();
    crowd.pop_back();
    for (const int fd : crowd)
        ::close(fd);
    EXPECT_TRUE(held.unchanged());
    EXPECT_FALSE(held.unchangedExactly());
    ::close(leaked);
    EXPECT_TRUE(held.unchangedExactly());
}

// An input's end looks closely only now and then: a leak in the watched numbers is seen at
// every end, one beyond them within kExactEvery ends.
TEST(Descriptors, EveryEndSeesALeakAndTheExactListComesRound) {
    Descriptors held;
    ASSERT_TRUE(held.take());
    const int leaked = openNull();
    ASSERT_GE(leaked, 0);
    for (std::size_t i = 0; i < 2 * Descriptors::kExactEvery; ++i)
        EXPECT_FALSE(held.unchangedAtEnd()) << i;
    ::close(leaked);
    EXPECT_TRUE(held.unchangedAtEnd());

    std::vector<int> crowd;
    for (std::size_t i = 0; i <= Descriptors::kWatchedFree; ++i)
        crowd.push_back(openNull());
    const int beyond = crowd.back();
    crowd.pop_back();
    for (const int fd : crowd)
        ::close(fd);
    bool seen = false;
    for (std::size_t i = 0; i < Descriptors::kExactEvery; ++i)
        seen = !held.unchangedAtEnd() || seen;
    EXPECT_TRUE(seen);
    ::close(beyond);
}

TEST(Descriptors, NothingTakenIsNeverUnchanged) {
    Descriptors none;
    EXPECT_FALSE(none.unchanged());
    EXPECT_FALSE(none.unchangedExactly());
}

}  // namespace
}  // namespace zrk::fuzz
