// The Windows wait set and stop requests: events reported by tag, several at once without one
// starving the rest, wake-ups from another thread, and Ctrl-Break heard through the console.
#include <gtest/gtest.h>
#include <windows.h>

#include <thread>
#include <vector>

#include "serial/InterruptSource.h"
#include "serial/SerialDevices.h"
#include "serial/Waiter.h"

namespace zrk {
namespace {

struct Event {
    HANDLE handle = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ~Event() { ::CloseHandle(handle); }
    Waitable waitable() const { return Waitable(reinterpret_cast<std::intptr_t>(handle)); }
};

TEST(WindowsWaiter, ReportsEverySetEventByTagAndForgetsAnUnwatchedOne) {
    Waiter waiter;
    Event first, second, third;
    ASSERT_TRUE(waiter.watch(first.waitable(), 1));
    ASSERT_TRUE(waiter.watch(second.waitable(), 2));
    ASSERT_TRUE(waiter.watch(third.waitable(), 3));
    Waiter::Ready ready[4];
    EXPECT_EQ(waiter.wait(ready, 0), 0);

    // The system names only the first set handle; the later ones must be reported too, or a
    // busy first port would starve the others.
    ::SetEvent(second.handle);
    ::SetEvent(third.handle);
    ASSERT_EQ(waiter.wait(ready, -1), 2);
    EXPECT_EQ(ready[0].tag, 2u);
    EXPECT_EQ(ready[1].tag, 3u);
    EXPECT_EQ(ready[0].events, WaitEvent::Readable);

    waiter.unwatch(second.waitable());
    ::ResetEvent(third.handle);
    EXPECT_EQ(waiter.wait(ready, 0), 0);
    // Only as many as there is room for.
    ::SetEvent(first.handle);
    ::SetEvent(third.handle);
    EXPECT_EQ(waiter.wait(std::span<Waiter::Ready>(ready, 1), 0), 1);
}

TEST(WindowsWaiter, AWakeUpFromAnotherThreadEndsAWaitAndIsNotReported) {
    Waiter waiter;
    Event device;
    ASSERT_TRUE(waiter.watch(device.waitable(), 5));
    Waiter::Ready ready[2];
    waiter.wake();
    EXPECT_EQ(waiter.wait(ready, -1), 0);
    EXPECT_EQ(waiter.wait(ready, 0), 0);
    std::thread other([&] { waiter.wake(); });
    EXPECT_EQ(waiter.wait(ready, -1), 0);
    other.join();
}

TEST(WindowsWaiter, RefusesMoreHandlesThanTheSystemWaitsOn) {
    Waiter waiter;
    std::vector<Event> events(MAXIMUM_WAIT_OBJECTS);
    std::size_t watched = 0;
    for (std::size_t i = 0; i < events.size(); ++i)
        watched += waiter.watch(events[i].waitable(), i + 1) ? 1 : 0;
    // One place is the wake-up's.
    EXPECT_EQ(watched, static_cast<std::size_t>(MAXIMUM_WAIT_OBJECTS - 1));
    EXPECT_FALSE(waiter.watch(Waitable(), 99));
}

TEST(WindowsPorts, FromCom10OnAPortIsOpenedInTheDeviceNamespace) {
    EXPECT_EQ(systemPortDevice(1), "COM1");
    EXPECT_EQ(systemPortDevice(9), "COM9");
    EXPECT_EQ(systemPortDevice(10), "\\\\.\\COM10");
    EXPECT_EQ(systemPortDevice(20), "\\\\.\\COM20");
}

TEST(WindowsInterrupt, CtrlBreakIsHeardAsAStopRequestAndWakesTheWait) {
    Waiter waiter;
    InterruptSource source(true);
    ASSERT_TRUE(waiter.watch(source.waitable(), 1));
    EXPECT_FALSE(source.interrupted());
    // Every process on the console hears it; without a console there is nothing to send it to.
    if (!::GenerateConsoleCtrlEvent(CTRL_BREAK_EVENT, 0))
        GTEST_SKIP() << "no console to raise Ctrl-Break on (error " << ::GetLastError() << ")";
    Waiter::Ready ready[2];
    // The handler runs on a thread of the system's; the wait is bounded, not timed.
    int got = 0;
    for (int attempt = 0; attempt < 100 && got == 0; ++attempt)
        got = waiter.wait(ready, 100);
    ASSERT_EQ(got, 1);
    EXPECT_EQ(ready[0].tag, 1u);
    EXPECT_TRUE(source.interrupted());
    source.drain();
    EXPECT_EQ(waiter.wait(ready, 0), 0);
}

}  // namespace
}  // namespace zrk
