// The downloader's own port against the simulator: exclusive open, flushes, the even parity
// of the boot ROM stage and the close and reopen of the baud switch must all suit the phone.
#include <gtest/gtest.h>

#include <thread>

#include "PhoneDriver.h"
#include "serial/CommPort.h"
#include "serial/PortMap.h"
#include "sim/PhoneSimulator.h"

namespace zrk::sim::test {
namespace {

using namespace std::chrono_literals;

constexpr int kPort = 20;

Bytes readQueue(CommPort& port, std::size_t count) {
    Bytes got;
    const auto end = std::chrono::steady_clock::now() + 30s;
    while (got.size() < count && std::chrono::steady_clock::now() < end) {
        std::uint8_t b;
        if (port.receiveQueue().pop(b))
            got.push_back(b);
        else
            std::this_thread::sleep_for(1ms);
    }
    return got;
}

bool skipUntil(CommPort& port, std::uint8_t value) {
    const auto end = std::chrono::steady_clock::now() + 30s;
    while (std::chrono::steady_clock::now() < end) {
        const Bytes b = readQueue(port, 1);
        if (!b.empty() && b[0] == value)
            return true;
    }
    return false;
}

void write(CommPort& port, const Bytes& bytes) {
    ASSERT_EQ(port.write(bytes.data(), bytes.size()), bytes.size());
}

TEST(CommPortCompatibility, BootRomAndBaudSwitchThroughTheRealPort) {
    PhoneSimulator sim;
    ASSERT_TRUE(sim.start());
    portMap().setDevice(kPort, sim.slavePath());
    CommPort port;
    ASSERT_TRUE(port.open(kPort, 115200));
    ASSERT_TRUE(port.setLineFormat(115200, 8, Parity::Even, 0));
    ASSERT_TRUE(skipUntil(port, 0x81));
    write(port, {0x44});
    ASSERT_TRUE(skipUntil(port, 0x44));
    write(port, {0x51});
    const Bytes challenge = readQueue(port, 16);
    ASSERT_EQ(challenge.size(), 16u);
    Bytes reply{0x44};
    const auto id = customerId();
    reply.insert(reply.end(), id.begin(), id.end());
    write(port, cat(reply, challenge));
    ASSERT_EQ(readQueue(port, 1), Bytes{0x4F});
    const auto pre = preLoaderImage();
    for (const Bytes& command : {Bytes{0x54, 0x10}, Bytes{0x53, 0x00, 0x00, 0x00, 0x0C}}) {
        write(port, command);
        ASSERT_EQ(readQueue(port, 1), Bytes{0x4F});
    }
    for (std::size_t i = 0; i < pre.size(); i += 4) {
        write(port, {0x4C, 0x00, pre[i], pre[i + 1], pre[i + 2], pre[i + 3]});
        ASSERT_EQ(readQueue(port, 1), Bytes{0x4F});
    }
    write(port, {0x53, 0x00, 0x00, 0x00, 0x0C});
    ASSERT_EQ(readQueue(port, 1), Bytes{0x4F});
    write(port, {0x4A});
    ASSERT_EQ(readQueue(port, 1), Bytes{0xAB});

    write(port, {0x03});
    port.close();
    // The host pauses half a second before it reopens; here: until the phone saw the close.
    const auto end = std::chrono::steady_clock::now() + 30s;
    while (sim.hostOpen() && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(1ms);
    ASSERT_TRUE(port.open(kPort, 921600)) << "the reopen must not be refused";
    write(port, {0xD9});
    EXPECT_EQ(readQueue(port, 1), Bytes{0x03});
    port.close();
    portMap().setDevice(kPort, "");
    EXPECT_EQ(sim.violationCount(), 0u) << sim.summary();
}

}  // namespace
}  // namespace zrk::sim::test
