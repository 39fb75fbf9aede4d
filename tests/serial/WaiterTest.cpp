#include "serial/Waiter.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <thread>

#include "serial/InterruptSource.h"
#include "support/TempDir.h"

namespace zrk {
namespace {

// A wake-up from another thread ends a wait with no timeout, and one sent before the wait
// began is not lost; it is taken, not reported as a device.
TEST(Waiter, WakeUpsEndAWaitAndAreNotReported) {
    Waiter waiter;
    Waiter::Ready ready[4];
    waiter.wake();
    EXPECT_EQ(waiter.wait(ready, -1), 0);
    EXPECT_EQ(waiter.wait(ready, 0), 0);  // taken by the first wait

    std::thread other([&] { waiter.wake(); });
    EXPECT_EQ(waiter.wait(ready, -1), 0);
    other.join();
}

TEST(Waiter, ReportsReadyDevicesByTagAndRefusesRegularFiles) {
    Waiter waiter;
    int pipes[2];
    ASSERT_EQ(::pipe(pipes), 0);
    ASSERT_TRUE(waiter.watch(Waitable(pipes[0]), 7));
    Waiter::Ready ready[4];
    EXPECT_EQ(waiter.wait(ready, 0), 0);
    ASSERT_EQ(::write(pipes[1], "x", 1), 1);
    ASSERT_EQ(waiter.wait(ready, -1), 1);
    EXPECT_EQ(ready[0].tag, 7u);
    EXPECT_EQ(ready[0].events, WaitEvent::Readable);

    waiter.unwatch(Waitable(pipes[0]));
    EXPECT_EQ(waiter.wait(ready, 0), 0);
    ::close(pipes[0]);
    ::close(pipes[1]);
    waiter.unwatch(Waitable(pipes[0]));  // closed already: harmless

    test::TempDir dir;
    const std::string path = dir.write("regular", {1});
    std::FILE* file = std::fopen(path.c_str(), "rb");
    ASSERT_NE(file, nullptr);
    EXPECT_FALSE(waiter.watch(Waitable(::fileno(file)), 8));
    std::fclose(file);
}

// A device whose other side went away must say so, not only that it is readable: the link
// reads nothing from it, and without the hang-up it would be asked again for ever.
TEST(Waiter, ReportsAHangUpAsSuch) {
    Waiter waiter;
    int pipes[2];
    ASSERT_EQ(::pipe(pipes), 0);
    ASSERT_TRUE(waiter.watch(Waitable(pipes[0]), 3));
    ::close(pipes[1]);
    Waiter::Ready ready[4];
    ASSERT_EQ(waiter.wait(ready, -1), 1);
    EXPECT_EQ(ready[0].tag, 3u);
    EXPECT_TRUE(ready[0].events.has(WaitEvent::HungUp));
    EXPECT_FALSE(ready[0].events.has(WaitEvent::Error));
    waiter.unwatch(Waitable(pipes[0]));
    ::close(pipes[0]);
}

std::atomic<int> g_HookCalls{0};
std::atomic<int> g_EarlierHandlerCalls{0};

void countHook(void* context) {
    g_HookCalls.fetch_add(1);
    static_cast<Waiter*>(context)->wake();
}

void earlierHandler(int) {
    g_EarlierHandlerCalls.fetch_add(1);
}

// Each of the three requests is heard (flag, descriptor, hook); the handling that was there
// before comes back at the end, and a new source starts uninterrupted.
TEST(InterruptSource, HearsEachStopRequestAndRestoresTheEarlierHandling) {
    struct sigaction earlier {};
    earlier.sa_handler = earlierHandler;
    sigemptyset(&earlier.sa_mask);
    struct sigaction saved[3];
    const int signals[] = {SIGINT, SIGTERM, SIGHUP};
    for (int i = 0; i < 3; ++i)
        ASSERT_EQ(::sigaction(signals[i], &earlier, &saved[i]), 0);

    for (const int signal : signals) {
        Waiter waiter;
        g_HookCalls = 0;
        InterruptSource source(true, countHook, &waiter);
        EXPECT_FALSE(source.interrupted());
        ASSERT_TRUE(waiter.watch(source.waitable(), 1));
        ::raise(signal);
        EXPECT_TRUE(source.interrupted());
        EXPECT_EQ(g_HookCalls.load(), 1);
        Waiter::Ready ready[2];
        ASSERT_EQ(waiter.wait(ready, -1), 1);
        EXPECT_EQ(ready[0].tag, 1u);
        source.drain();
        EXPECT_EQ(waiter.wait(ready, 0), 0);
    }
    EXPECT_EQ(g_EarlierHandlerCalls.load(), 0);
    ::raise(SIGTERM);
    EXPECT_EQ(g_EarlierHandlerCalls.load(), 1);
    {
        InterruptSource source(false);
        EXPECT_FALSE(source.interrupted());
    }
    for (int i = 0; i < 3; ++i)
        ::sigaction(signals[i], &saved[i], nullptr);
}

}  // namespace
}  // namespace zrk
