#include "serial/CommPort.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "serial/PortMap.h"
#include "serial/PseudoTerminal.h"
#include "serial/TestLinkSink.h"
#include "serial/posix/LineSettings.h"

namespace zrk {
namespace {

using namespace std::chrono_literals;

class CommPortOnPty : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(pty.open());
        portMap().setDevice(1, pty.slavePath());
    }
    void TearDown() override { portMap().setDevice(1, ""); }

    // Reads exactly n bytes from the phone's end, or what came within the time limit.
    std::vector<std::uint8_t> readFromMaster(std::size_t n, std::chrono::milliseconds limit = 5s) {
        std::vector<std::uint8_t> out;
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (out.size() < n && std::chrono::steady_clock::now() < deadline) {
            pollfd p{pty.masterFd(), POLLIN, 0};
            if (::poll(&p, 1, 20) <= 0)
                continue;
            std::uint8_t buf[4096];
            const ssize_t got = ::read(pty.masterFd(), buf, std::min(sizeof buf, n - out.size()));
            if (got > 0)
                out.insert(out.end(), buf, buf + got);
        }
        return out;
    }
    void writeToMaster(const std::uint8_t* data, std::size_t n) {
        std::size_t done = 0;
        while (done < n) {
            const ssize_t w = ::write(pty.masterFd(), data + done, n - done);
            if (w > 0) {
                done += static_cast<std::size_t>(w);
            } else {
                pollfd p{pty.masterFd(), POLLOUT, 0};
                ::poll(&p, 1, 20);
            }
        }
    }

    PseudoTerminal pty;
    test::TestLinkSink owner;
};

TEST_F(CommPortOnPty, OpensClosesAndReopens) {
    CommPort port;
    port.setEventSink(&owner);
    ASSERT_TRUE(port.open(1, 115200));
    EXPECT_TRUE(port.isConnected());
    EXPECT_EQ(port.m_DeviceName, pty.slavePath());
    port.close();
    EXPECT_FALSE(port.isConnected());
    ASSERT_TRUE(port.open(1, 921600));
    EXPECT_EQ(pty.slaveBaud(), 921600u);
}

TEST_F(CommPortOnPty, ASecondOpenerIsRefused) {
    CommPort first, second;
    ASSERT_TRUE(first.open(1, 115200));
    EXPECT_FALSE(second.open(1, 115200));
    EXPECT_EQ(second.lastOpenFailure().kind, OpenFailure::Kind::InUse);
    EXPECT_FALSE(second.isConnected());
    first.close();
    EXPECT_TRUE(second.open(1, 115200));
}

TEST_F(CommPortOnPty, FailedOpenLeavesThePortClosedAndReusable) {
    CommPort port;
    port.setEventSink(&owner);
    portMap().setDevice(1, "/nonexistent/tty");
    EXPECT_FALSE(port.open(1, 115200));
    EXPECT_FALSE(port.isConnected());
    EXPECT_EQ(port.lastOpenFailure().kind, OpenFailure::Kind::NotFound);
    portMap().setDevice(1, pty.slavePath());
    EXPECT_TRUE(port.open(1, 115200));
}

TEST_F(CommPortOnPty, TheSpeedIsVisibleFromThePhonesSide) {
    CommPort port;
    port.setEventSink(&owner);
    ASSERT_TRUE(port.open(1, 115200));
    EXPECT_EQ(pty.slaveBaud(), 115200u);
    ASSERT_TRUE(port.setLineFormat(115200, 8, Parity::Even, 0));
    EXPECT_EQ(pty.slaveBaud(), 115200u);
    port.close();
    ASSERT_TRUE(port.open(1, 460800));
    EXPECT_EQ(pty.slaveBaud(), 460800u);
}

TEST(CommPortLine, BuildsRawEightBitsWithTheGivenParityAndNoFlowControl) {
    termios cooked{};
    cooked.c_cflag = CRTSCTS | CSTOPB | CS7;
    cooked.c_iflag = IXON | ICRNL;
    cooked.c_lflag = ICANON | ECHO;
    auto even = buildLineSettings(cooked, 115200, 8, Parity::Even, 0);
    ASSERT_TRUE(even);
    EXPECT_EQ(even->c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_TRUE(even->c_cflag & PARENB);
    EXPECT_FALSE(even->c_cflag & PARODD);
    EXPECT_FALSE(even->c_cflag & CSTOPB);
    EXPECT_FALSE(even->c_cflag & CRTSCTS);
    EXPECT_FALSE(even->c_iflag & (IXON | ICRNL));
    EXPECT_FALSE(even->c_lflag & (ICANON | ECHO));
    EXPECT_EQ(even->c_cc[VMIN], 0);
    EXPECT_EQ(even->c_cc[VTIME], 0);
    EXPECT_EQ(cfgetospeed(&*even), static_cast<speed_t>(B115200));

    auto none = buildLineSettings(cooked, 921600, 8, Parity::None, 0);
    ASSERT_TRUE(none);
    EXPECT_FALSE(none->c_cflag & PARENB);
    EXPECT_EQ(cfgetispeed(&*none), static_cast<speed_t>(B921600));

    EXPECT_FALSE(buildLineSettings(cooked, 123456, 8, Parity::None, 0));
    EXPECT_FALSE(buildLineSettings(cooked, 115200, 9, Parity::None, 0));
}

TEST_F(CommPortOnPty, AByteWrittenJustBeforeCloseIsNotLost) {
    // The baud switch writes the speed byte and closes the port at once.
    for (int round = 0; round < 20; ++round) {
        CommPort port;
        port.setEventSink(&owner);
        ASSERT_TRUE(port.open(1, 115200));
        const std::uint8_t speed = static_cast<std::uint8_t>(round & 3);
        ASSERT_EQ(port.write(&speed, 1), 1u);
        port.close();
        const auto got = readFromMaster(1, 2s);
        ASSERT_EQ(got.size(), 1u) << "round " << round;
        EXPECT_EQ(got[0], speed);
    }
}

TEST_F(CommPortOnPty, StaleInputIsFlushedAtOpen) {
    // Bytes sent before anyone opened the port are not the phone's answer to anything.
    {
        CommPort port;
        port.setEventSink(&owner);
        ASSERT_TRUE(port.open(1, 115200));
        port.close();
    }
    const std::uint8_t stale[] = {1, 2, 3};
    writeToMaster(stale, sizeof stale);
    std::this_thread::sleep_for(50ms);
    CommPort port;
    port.setEventSink(&owner);
    ASSERT_TRUE(port.open(1, 115200));
    const std::uint8_t fresh[] = {0x81};
    writeToMaster(fresh, 1);
    ASSERT_TRUE(owner.waitFor([&] { return port.m_QueueRead.count() >= 1; }));
    std::uint8_t b = 0;
    ASSERT_TRUE(port.m_QueueRead.pop(b));
    EXPECT_EQ(b, 0x81);
    EXPECT_EQ(port.m_QueueRead.count(), 0);
}

TEST_F(CommPortOnPty, BytesLeftQueuedByAStoppedLinkAreNotReadAfterTheNextOpen) {
    // An old 81h 44h pair must not start a false handshake after START.
    CommPort port;
    port.setEventSink(&owner);
    ASSERT_TRUE(port.open(1, 115200));
    const std::uint8_t old[] = {0x81, 0x44};
    writeToMaster(old, sizeof old);
    ASSERT_TRUE(owner.waitFor([&] { return port.m_QueueRead.count() == 2; }));
    port.close();
    ASSERT_TRUE(port.open(1, 115200));
    EXPECT_EQ(port.m_QueueRead.count(), 0);
}

TEST_F(CommPortOnPty, TenMegabytesArriveCompleteAndInOrder) {
    CommPort port;
    port.setEventSink(&owner);
    ASSERT_TRUE(port.open(1, 921600));
    constexpr std::size_t kTotal = 10u << 20;
    std::thread phone([&] {
        std::vector<std::uint8_t> chunk(8192);
        for (std::size_t sent = 0; sent < kTotal; sent += chunk.size()) {
            for (std::size_t i = 0; i < chunk.size(); ++i)
                chunk[i] = static_cast<std::uint8_t>((sent + i) * 7 + ((sent + i) >> 11));
            writeToMaster(chunk.data(), chunk.size());
        }
    });
    std::size_t received = 0;
    bool inOrder = true;
    std::uint8_t buf[4096];
    const auto deadline = std::chrono::steady_clock::now() + 120s;
    while (received < kTotal && std::chrono::steady_clock::now() < deadline) {
        // The consumer is slow on purpose now and then, so the queue fills and the watcher
        // has to wait for room instead of dropping a burst.
        if ((received / 4096) % 64 == 0)
            std::this_thread::sleep_for(1ms);
        const std::size_t n = port.m_QueueRead.popBlock(buf, sizeof buf);
        for (std::size_t i = 0; i < n; ++i) {
            const std::size_t k = received + i;
            inOrder &= buf[i] == static_cast<std::uint8_t>(k * 7 + (k >> 11));
        }
        received += n;
        if (n == 0)
            owner.waitFor([&] { return port.m_QueueRead.count() > 0; }, 10ms);
    }
    phone.join();
    EXPECT_EQ(received, kTotal);
    EXPECT_TRUE(inOrder);
}

TEST_F(CommPortOnPty, BlockModeNotifiesOnlyForAWholeDumpBlock) {
    CommPort port;
    port.setEventSink(&owner);
    ASSERT_TRUE(port.open(1, 921600));
    port.setBlockMode(8193);
    std::vector<std::uint8_t> block(8192, 0x42);
    const int before = owner.posts();
    writeToMaster(block.data(), block.size());
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    while (port.m_QueueRead.count() < 8192 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(1ms);
    ASSERT_EQ(port.m_QueueRead.count(), 8192);
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(owner.posts(), before);
    const std::uint8_t checksum = 0;
    writeToMaster(&checksum, 1);
    EXPECT_TRUE(owner.waitFor([&] { return owner.dataPosts > before; }, 5s));
    EXPECT_EQ(port.m_QueueRead.count(), 8193);
}

TEST_F(CommPortOnPty, NormalModeNotifiesForEveryBurst) {
    CommPort port;
    port.setEventSink(&owner);
    ASSERT_TRUE(port.open(1, 115200));
    const std::uint8_t one = 0x4F;
    writeToMaster(&one, 1);
    EXPECT_TRUE(owner.waitFor([&] { return owner.dataPosts >= 1; }));
}

TEST_F(CommPortOnPty, AHangUpReachesTheLinksSink) {
    CommPort port;
    port.setEventSink(&owner);
    ASSERT_TRUE(port.open(1, 115200));
    pty.close();  // the phone's side goes away, as an unplugged adapter does
    EXPECT_TRUE(owner.waitFor([&] { return !owner.lostReasons.empty(); }));
    port.close();  // joins the watcher, which has already ended
    EXPECT_FALSE(port.isConnected());
}

TEST_F(CommPortOnPty, ReadOnTheSinksThreadNothingReadsUntilAskedAndAHangUpEndsThePolling) {
    CommPort port;
    port.setEventSink(&owner);
    ASSERT_TRUE(port.setReadOnSinkThread(true));
    ASSERT_TRUE(port.open(1, 921600));
    port.setBlockMode(2049);
    // The reading thread delivers what readInput calls news itself; nothing is posted for it.
    int news = 0;
    const auto pollOnce = [&] {
        const SerialLink::InputWait wait = port.inputWait();
        if (!wait.device.valid())
            return false;
        pollfd p{static_cast<int>(wait.device.native()), POLLIN, 0};
        if (::poll(&p, 1, 5000) <= 0)
            return false;
        WaitEvents events;
        if (p.revents & POLLIN)
            events |= WaitEvent::Readable;
        if (p.revents & POLLHUP)
            events |= WaitEvent::HungUp;
        if (p.revents & POLLERR)
            events |= WaitEvent::Error;
        news = port.readInput(events) ? 1 : 0;
        return true;
    };
    const std::vector<std::uint8_t> page(2049, 0x5A);
    writeToMaster(page.data(), 2048);
    // No watcher: the bytes wait in the driver, however long, until the sink's thread reads.
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(port.m_QueueRead.count(), 0);
    while (port.m_QueueRead.count() < 2048)
        ASSERT_TRUE(pollOnce());
    EXPECT_EQ(news, 0) << "not a whole page yet";
    EXPECT_EQ(owner.posts(), 0);
    writeToMaster(page.data() + 2048, 1);
    ASSERT_TRUE(pollOnce());
    EXPECT_EQ(news, 1);
    EXPECT_EQ(owner.posts(), 0);
    EXPECT_EQ(port.m_QueueRead.count(), 2049);

    pty.close();
    ASSERT_TRUE(pollOnce());
    EXPECT_EQ(owner.lostReasons.size(), 1u);
    EXPECT_FALSE(port.inputWait().device.valid()) << "a hung-up device polls ready for ever";
    port.close();
}

std::vector<std::uint8_t> countingBytes(std::size_t n) {
    std::vector<std::uint8_t> bytes(n);
    for (std::size_t i = 0; i < n; ++i)
        bytes[i] = static_cast<std::uint8_t>(i * 13 + (i >> 8));
    return bytes;
}

TEST_F(CommPortOnPty, AWriteLargerThanTheTerminalHoldsCompletesWhileThePhoneReads) {
    CommPort port;
    port.setEventSink(&owner);
    ASSERT_TRUE(port.open(1, 921600));
    const auto data = countingBytes(256 * 1024);
    std::vector<std::uint8_t> got;
    std::thread phone([&] { got = readFromMaster(data.size(), 60s); });
    EXPECT_EQ(port.write(data.data(), data.size()), data.size());
    phone.join();
    EXPECT_TRUE(got == data);
    EXPECT_FALSE(port.writeFailed());
    EXPECT_TRUE(owner.lostReasons.empty());
}

TEST_F(CommPortOnPty, AWriteThePhoneNeverTakesEndsShortAndLosesTheLink) {
    CommPort port;
    port.setEventSink(&owner);
    ASSERT_TRUE(port.open(1, 921600));
    // Far more than a pseudo-terminal buffers, and nobody reads the phone's side.
    const auto data = countingBytes(64 * 1024);
    const std::size_t sent = port.write(data.data(), data.size());
    ASSERT_GT(sent, 0u);
    ASSERT_LT(sent, data.size());
    EXPECT_TRUE(port.writeFailed());
    ASSERT_TRUE(owner.waitFor([&] { return !owner.lostReasons.empty(); }));
    EXPECT_EQ(owner.lostReasons.front(), "The phone stopped taking data: " + std::to_string(sent) +
                                             " of 65536 bytes were sent");

    // The link is gone: nothing more is sent and the loss is told once.
    const std::uint8_t more = 0x55;
    EXPECT_EQ(port.write(&more, 1), 0u);
    EXPECT_EQ(owner.lostReasons.size(), 1u);
    port.close();

    // The count is what the phone's side really has: the first bytes, in order, and no more.
    const auto got = readFromMaster(sent);
    ASSERT_EQ(got.size(), sent);
    EXPECT_TRUE(std::equal(got.begin(), got.end(), data.begin()));

    // A fresh opening writes again.
    ASSERT_TRUE(port.open(1, 921600));
    EXPECT_FALSE(port.writeFailed());
    const std::uint8_t hello[] = {0xA1, 0xA2, 0xA3};
    EXPECT_EQ(port.write(hello, sizeof hello), sizeof hello);
    EXPECT_EQ(readFromMaster(3), std::vector<std::uint8_t>(hello, hello + 3));
}

TEST_F(CommPortOnPty, CancelWritesEndsAStuckWrite) {
    CommPort port;
    port.setEventSink(&owner);
    // At 9600 baud this write's deadline is minutes away: only the cancel can end it soon.
    ASSERT_TRUE(port.open(1, 9600));
    const auto data = countingBytes(64 * 1024);
    std::thread stopper([&] {
        // Once the phone's side has bytes, the write is under way.
        int waiting = 0;
        while (::ioctl(pty.masterFd(), FIONREAD, &waiting) == 0 && waiting == 0) {
            pollfd p{pty.masterFd(), POLLIN, 0};
            ::poll(&p, 1, 20);
        }
        port.cancelWrites();
    });
    const std::size_t sent = port.write(data.data(), data.size());
    stopper.join();
    EXPECT_LT(sent, data.size());
    ASSERT_TRUE(owner.waitFor([&] { return !owner.lostReasons.empty(); }));
    EXPECT_EQ(owner.lostReasons.front(),
              "The write was cancelled: " + std::to_string(sent) + " of 65536 bytes were sent");
}

TEST_F(CommPortOnPty, ACancelHoldsUntilTheNextOpen) {
    // The signal may land between two writes; the next one must not start a long wait.
    CommPort port;
    port.setEventSink(&owner);
    ASSERT_TRUE(port.open(1, 115200));
    port.cancelWrites();
    const std::uint8_t one = 0x31;
    EXPECT_EQ(port.write(&one, 1), 0u);
    ASSERT_TRUE(owner.waitFor([&] { return !owner.lostReasons.empty(); }));
    EXPECT_EQ(owner.lostReasons.front(), "The write was cancelled: 0 of 1 bytes were sent");
    port.close();

    ASSERT_TRUE(port.open(1, 115200));
    EXPECT_EQ(port.write(&one, 1), 1u);
    EXPECT_EQ(readFromMaster(1), std::vector<std::uint8_t>{one});
    EXPECT_EQ(owner.lostReasons.size(), 1u);
}

TEST(CommPortClosed, CloseWithoutOpenOnlyClearsTheFlag) {
    CommPort port;
    port.close();
    EXPECT_FALSE(port.isConnected());
    const std::uint8_t b = 0;
    EXPECT_EQ(port.write(&b, 1), 0u);
}

}  // namespace
}  // namespace zrk
