#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>

#include "PhoneDriver.h"
#include "PtyHost.h"
#include "sim/PhoneSimulator.h"

namespace zrk::sim::test {
namespace {

using namespace std::chrono_literals;

template <typename Condition>
bool eventually(Condition condition) {
    const auto end = std::chrono::steady_clock::now() + 30s;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(2ms);
    }
    return true;
}

// Connect request to the boot ROM's acknowledgement of the identification.
void handshake(PtyHost& host) {
    ASSERT_TRUE(host.waitFor(0x81));
    ASSERT_TRUE(host.write({0x44}));
    ASSERT_TRUE(host.waitFor(0x44));
    ASSERT_TRUE(host.write({0x51}));
    const Bytes challenge = host.read(16);
    ASSERT_EQ(challenge.size(), 16u);
    Bytes reply{0x44};
    const auto id = customerId();
    reply.insert(reply.end(), id.begin(), id.end());
    ASSERT_TRUE(host.write(cat(reply, challenge)));
    ASSERT_EQ(host.read(1), Bytes{0x4F});
}

// The handshake, then the pre-loader loaded and started: the phone waits for the speed index.
void upToThePreLoader(PtyHost& host) {
    handshake(host);
    const auto pre = preLoaderImage();
    ASSERT_TRUE(host.write({0x53, 0x00, 0x00, 0x00, 0x0C}));
    ASSERT_EQ(host.read(1), Bytes{0x4F});
    for (std::size_t i = 0; i < pre.size(); i += 4) {
        ASSERT_TRUE(host.write({0x4C, 0x00, pre[i], pre[i + 1], pre[i + 2], pre[i + 3]}));
        ASSERT_EQ(host.read(1), Bytes{0x4F}) << "word " << i / 4;
    }
    ASSERT_TRUE(host.write({0x53, 0x00, 0x00, 0x00, 0x0C, 0x4A}));
    ASSERT_EQ(host.read(2), (Bytes{0x4F, 0xAB}));
}

TEST(PhoneSimulator, BringUpThroughTheTerminalWithTheBaudSwitch) {
    PhoneSimulator sim;
    ASSERT_TRUE(sim.start());
    PtyHost host;
    ASSERT_TRUE(host.open(sim.slavePath(), B115200));
    upToThePreLoader(host);

    // The speed byte, the close, the reopen at the new speed.
    ASSERT_TRUE(host.write({0x03}));
    host.close();
    // A host reopens half a second later; here: as soon as the phone has seen the close.
    ASSERT_TRUE(eventually([&] { return !sim.hostOpen(); }));
    EXPECT_EQ(sim.counters().powerCycles, 0);
    ASSERT_TRUE(host.open(sim.slavePath(), B921600));
    ASSERT_TRUE(host.write({0xD9}));
    ASSERT_EQ(host.read(1), Bytes{0x03});
    const auto boot = bootLoaderImage();
    ASSERT_TRUE(host.write(cat({0xD4}, be32(static_cast<std::uint32_t>(boot.size())))));
    ASSERT_EQ(host.read(1), Bytes{0x3D});
    for (std::size_t at = 0; at < boot.size(); at += 2048) {
        ASSERT_TRUE(host.write({0xF7}));
        ASSERT_EQ(host.read(1), Bytes{0xF7});
        const Bytes chunk(boot.begin() + static_cast<long>(at),
                          boot.begin() + static_cast<long>(std::min(at + 2048, boot.size())));
        ASSERT_TRUE(host.write(chunk));
        ASSERT_EQ(host.read(1), Bytes{sum(chunk)});
    }
    ASSERT_TRUE(host.write({0xFF}));
    ASSERT_EQ(host.read(1), Bytes{0xAB});
    ASSERT_TRUE(host.write({0xD0, 0x10, 0x00, 0x00, 0x00, 0xD1}));
    EXPECT_EQ(host.read(9), (Bytes{0x10, 0x00, 0xEC, 0x22, 0xFC, 0x00, 0x01, 0x00, 0x00}));

    // Erase through the line, then Stop: the phone powers off and offers again, flash kept.
    sim.preloadNor(0x20000, {1, 2, 3, 4});
    ASSERT_TRUE(host.write(cat({0xD5}, be32(0x30000))));
    ASSERT_EQ(host.read(1), Bytes{0x03});
    host.close();
    ASSERT_TRUE(sim.waitFor([](const PhoneCounters& c) { return c.sessions == 1; }, 30s));
    EXPECT_EQ(sim.counters().loaderStarts, 1);
    ASSERT_TRUE(host.open(sim.slavePath(), B115200));
    EXPECT_TRUE(host.waitFor(0x81));
    EXPECT_EQ(sim.norRange(0x20000, 4), (Bytes{1, 2, 3, 4}));
    EXPECT_EQ(sim.violationCount(), 0u) << sim.summary();
}

TEST(PhoneSimulator, WrongSpeedIsGarbageBothWays) {
    PhoneSimulator sim;
    ASSERT_TRUE(sim.start());
    PtyHost host;
    ASSERT_TRUE(host.open(sim.slavePath(), B230400));
    const Bytes heard = host.read(1);
    ASSERT_EQ(heard.size(), 1u);
    EXPECT_NE(heard[0], 0x81) << "the host listens at the wrong speed";
    ASSERT_TRUE(host.write({0x44}));
    ASSERT_TRUE(eventually([&] { return sim.violationCount() > 0; }));
    const auto v = sim.violations();
    EXPECT_NE(v.front().context.find("230400"), std::string::npos) << v.front().context;
}

TEST(PhoneSimulator, QuickCloseAndReopenStillPowersOff) {
    PhoneSimulator sim;
    ASSERT_TRUE(sim.start());
    PtyHost host;
    ASSERT_TRUE(host.open(sim.slavePath(), B115200));
    ASSERT_TRUE(host.waitFor(0x81));
    ASSERT_TRUE(host.write({0x44}));
    ASSERT_TRUE(host.waitFor(0x44));
    host.close();
    ASSERT_TRUE(host.open(sim.slavePath(), B115200));
    ASSERT_TRUE(host.waitFor(0x81)) << "a fresh boot ROM, not one waiting for the grant's ack";
    EXPECT_TRUE(eventually([&] { return sim.counters().sessions == 1; }));
}

// Holds the simulator's thread in one of its reader hooks, once armed, until the test has done
// what a host does while a loaded machine keeps the simulator from running.
class ReaderGate {
  public:
    ~ReaderGate() { release(); }
    void arm() { m_Armed = true; }
    void hold() {
        if (!m_Armed.exchange(false))
            return;
        std::unique_lock lock(m_Lock);
        m_Held = true;
        m_Changed.notify_all();
        m_Changed.wait(lock, [&] { return m_Released; });
    }
    bool waitUntilHeld() {
        std::unique_lock lock(m_Lock);
        return m_Changed.wait_for(lock, 30s, [&] { return m_Held; });
    }
    void release() {
        std::lock_guard lock(m_Lock);
        m_Released = true;
        m_Changed.notify_all();
    }

  private:
    std::atomic<bool> m_Armed{false};
    std::mutex m_Lock;
    std::condition_variable m_Changed;
    bool m_Held = false;
    bool m_Released = false;
};

TEST(PhoneSimulatorLate, TheSpeedByteIsJudgedAtTheSpeedItWasSentAtNotAtTheReopensSpeed) {
    ReaderGate gate;
    PhoneSimulator sim;
    sim.setReaderHooks({{}, [&](const Bytes&) { gate.hold(); }});
    ASSERT_TRUE(sim.start());
    PtyHost host;
    ASSERT_TRUE(host.open(sim.slavePath(), B115200));
    upToThePreLoader(host);

    // The simulator has read the speed byte; before it judges it, the host has closed and
    // opened again at the new speed.
    gate.arm();
    ASSERT_TRUE(host.write({0x03}));
    const bool held = gate.waitUntilHeld();
    host.close();
    const bool reopened = host.open(sim.slavePath(), B921600);
    gate.release();
    ASSERT_TRUE(held);
    ASSERT_TRUE(reopened);

    ASSERT_TRUE(host.write({0xD9}));
    EXPECT_EQ(host.read(1), Bytes{0x03});
    EXPECT_EQ(sim.violationCount(), 0u) << sim.summary();
    EXPECT_EQ(sim.counters().powerCycles, 0);
}

TEST(PhoneSimulatorLate, BytesOfTwoOpeningsReadTogetherAreSplitAtTheBaudSwitch) {
    ReaderGate gate;
    PhoneSimulator sim;
    sim.setReaderHooks({[&] { gate.hold(); }, {}});
    ASSERT_TRUE(sim.start());
    PtyHost host;
    ASSERT_TRUE(host.open(sim.slavePath(), B115200));
    upToThePreLoader(host);

    // The simulator looks at nothing until the host has sent the speed byte, closed, opened
    // again at the new speed and sent its start byte: both bytes wait on the line together.
    gate.arm();
    ASSERT_TRUE(host.write({0x03}));
    const bool held = gate.waitUntilHeld();
    host.close();
    const bool reopened = host.open(sim.slavePath(), B921600);
    const bool started = reopened && host.write({0xD9});
    gate.release();
    ASSERT_TRUE(held);
    ASSERT_TRUE(started);

    EXPECT_EQ(host.read(1), Bytes{0x03});
    EXPECT_EQ(sim.violationCount(), 0u) << sim.summary();
    EXPECT_EQ(sim.counters().powerCycles, 0);
}

TEST(PhoneSimulatorLate, ALateReadStillCatchesAWrongSpeedWhenTheHostDidNotReopen) {
    ReaderGate gate;
    PhoneSimulator sim;
    sim.setReaderHooks({[&] { gate.hold(); }, {}});
    ASSERT_TRUE(sim.start());
    PtyHost host;
    // Opened, written and closed before the simulator looks: the speed it finds then is
    // still the one the byte was sent at.
    gate.arm();
    ASSERT_TRUE(host.open(sim.slavePath(), B230400));
    const bool held = gate.waitUntilHeld();
    const bool wrote = host.write({0x44});
    host.close();
    gate.release();
    ASSERT_TRUE(held);
    ASSERT_TRUE(wrote);

    ASSERT_TRUE(eventually([&] { return sim.violationCount() > 0; }));
    const auto v = sim.violations();
    EXPECT_NE(v.front().context.find("sent at 230400 baud"), std::string::npos)
        << v.front().context;
}

TEST(PhoneSimulator, PacedLineIsNeverFasterThanTheWire) {
    SimOptions options;
    options.pacing = true;
    PhoneSimulator sim(options);
    ASSERT_TRUE(sim.start());
    PtyHost host;
    ASSERT_TRUE(host.open(sim.slavePath(), B115200));
    handshake(host);
    constexpr int kPackets = 100;
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < kPackets; ++i) {
        ASSERT_TRUE(host.write({0x4C, 0x00, 1, 2, 3, 4}));
        ASSERT_EQ(host.read(1), Bytes{0x4F});
    }
    const auto elapsed = std::chrono::steady_clock::now() - start;
    // 6 bytes out and 1 back per packet, 10 bits each at 115200 baud.
    const auto wire = std::chrono::nanoseconds(kPackets * 7LL * 10 * 1'000'000'000 / 115200);
    EXPECT_GE(elapsed, wire);
}

TEST(PhoneSimulator, ReplyLatencyIsALowerBound) {
    SimOptions options;
    options.latency = 150ms;
    PhoneSimulator sim(options);
    ASSERT_TRUE(sim.start());
    PtyHost host;
    ASSERT_TRUE(host.open(sim.slavePath(), B115200));
    ASSERT_TRUE(host.waitFor(0x81));
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(host.write({0x44}));
    ASSERT_TRUE(host.waitFor(0x44));
    EXPECT_GE(std::chrono::steady_clock::now() - start, options.latency);
}

TEST(PhoneSimulator, HangUpFaultClosesTheLine) {
    SimOptions options;
    options.faults.hangUpAfter = 1;
    PhoneSimulator sim(options);
    ASSERT_TRUE(sim.start());
    PtyHost host;
    ASSERT_TRUE(host.open(sim.slavePath(), B115200));
    ASSERT_TRUE(host.waitFor(0x81));
    ASSERT_TRUE(host.write({0x44}));
    ASSERT_TRUE(eventually([&] { return sim.hungUp(); }));
    host.readUntil([](const Bytes&) { return false; });
    EXPECT_TRUE(host.hungUp());
    EXPECT_EQ(sim.counters().bytesReceived, 1u);
}

TEST(PhoneSimulator, TranscriptStateOutAndPreload) {
    namespace fs = std::filesystem;
    const fs::path dir = fs::temp_directory_path() / ("zrk-sim-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    SimOptions options;
    options.transcriptPath = (dir / "transcript.txt").string();
    {
        PhoneSimulator sim(options);
        ASSERT_TRUE(sim.start());
        sim.preloadNor(0x1FFE000, {0xAA, 0xBB});
        sim.addNandFile("/music/song.mp3", {9, 8, 7});
        PtyHost host;
        ASSERT_TRUE(host.open(sim.slavePath(), B115200));
        ASSERT_TRUE(host.waitFor(0x81));
        ASSERT_TRUE(host.write({0x44}));
        ASSERT_TRUE(host.waitFor(0x44));
        host.close();
        ASSERT_TRUE(eventually([&] { return sim.counters().powerCycles == 1; }));
        sim.stop();
        ASSERT_TRUE(sim.saveState((dir / "state").string()));
    }
    std::ifstream transcript(dir / "transcript.txt");
    std::stringstream text;
    text << transcript.rdbuf();
    EXPECT_NE(text.str().find(">> 0000  44"), std::string::npos) << text.str();
    EXPECT_NE(text.str().find("<< 0000  81"), std::string::npos);
    EXPECT_NE(text.str().find("power off"), std::string::npos);

    SimOptions again;
    again.preloadDir = (dir / "state").string();
    PhoneSimulator sim(again);
    ASSERT_TRUE(sim.start());
    EXPECT_EQ(sim.norRange(0x1FFE000, 3), (Bytes{0xAA, 0xBB, 0xFF}));
    EXPECT_EQ(sim.nandFile("/music/song.mp3"), (Bytes{9, 8, 7}));

    SimOptions missing;
    missing.preloadDir = (dir / "nowhere").string();
    PhoneSimulator broken(missing);
    std::string error;
    EXPECT_FALSE(broken.start(&error));
    EXPECT_NE(error.find("nowhere"), std::string::npos);
    sim.stop();
    fs::remove_all(dir);
}

}  // namespace
}  // namespace zrk::sim::test
