// START in the window against the phone simulator: the loader phase at every speed, and each
// way a bring-up can end badly, each leaving a window that START can use again.
#include <QCheckBox>
#include <chrono>
#include <optional>

#include "SimWindowFixture.h"
#include "engine/Checksums.h"
#include "engine/TargetImages.h"
#include "support/EngineProbe.h"

namespace zrk::test {
namespace {

class WindowBringUp : public SimWindowFixture {};

class WindowBringUpAtSpeed : public WindowBringUp, public ::testing::WithParamInterface<int> {};

TEST_P(WindowBringUpAtSpeed, StartReachesTheLoaderPhase) {
    const char* rates[] = {"115200", "230400", "460800", "921600"};
    startPhone();
    chooseSpeed(GetParam());
    ASSERT_TRUE(bringUp()) << log();

    EXPECT_EQ(text("flashNameField"), "LMR20TQ55P");
    EXPECT_EQ(controls(), kLoaderLayout);
    EXPECT_TRUE(
        log().starts_with("** Wait for Connect Request from Mobile...\r\n** (POWER ON the PHONE!)"
                          "\r\n** Send '0x44' to KEPLA Chip\r\n"));
    EXPECT_TRUE(logHas(std::string("Change Baudrate 115200 -> ") + rates[GetParam()] + "... OK!"));
    EXPECT_TRUE(logHas("Detected (LMR20TQ55P)\r\n"));
    EXPECT_TRUE(log().ends_with(kClosingText));
    // The boot-loader's bar is emptied once the flash is known.
    EXPECT_EQ(progress().maximum(), 317792);
    EXPECT_EQ(progress().value(), 0);
    EXPECT_TRUE(prompter.messages.empty());
    EXPECT_EQ(sim->violationCount(), 0u) << sim->summary();
}

INSTANTIATE_TEST_SUITE_P(AllSpeeds, WindowBringUpAtSpeed, ::testing::Values(0, 1, 2, 3));

TEST_F(WindowBringUp, AWrongSpeedEchoShowsItsBoxAndStopsTheLink) {
    sim::SimOptions options;
    options.faults.wrongSpeedEcho = true;
    startPhone(options);
    chooseSpeed(2);
    ASSERT_FALSE(bringUp());
    ASSERT_EQ(prompter.messages.size(), 1u);
    EXPECT_EQ(prompter.messages[0].text, "Fail to change the baudrate of target!");
    EXPECT_TRUE(logHas("** Fail to change the baudrate ("));
    EXPECT_TRUE(log().ends_with("\r\n** Close COM port\r\n"));
    EXPECT_EQ(controls(), kUnconnectedLayout);
    EXPECT_EQ(EngineProbe::context(engine()).loaderReady(), 0);

    // Nothing is left half-open: START opens the port again and meets the same phone.
    ASSERT_FALSE(bringUp());
    EXPECT_EQ(lastMessage(), "Fail to change the baudrate of target!");
    EXPECT_EQ(controls(), kUnconnectedLayout);
}

TEST_F(WindowBringUp, AnUnknownFlashSaysSoAndStopsTheLink) {
    sim::SimOptions options;
    options.flashId = {0x22, 0xFC, 0x00, 0xEC, 0x12, 0x34, 0x56, 0x78};
    startPhone(options);
    ASSERT_FALSE(bringUp());
    ASSERT_EQ(prompter.messages.size(), 1u);
    EXPECT_EQ(prompter.messages[0].text, "Unknown Flash!");
    EXPECT_TRUE(
        logHas("not supported FLASH(ManuID:22fc,DevID1:ec)\r\n\r\n** There is nothing to "
               "do because of unknown FLASH.\r\n"));
    EXPECT_TRUE(log().ends_with("\r\n** Close COM port\r\n"));
    EXPECT_EQ(text("flashNameField"), "");
    EXPECT_EQ(controls(), kUnconnectedLayout);

    // START brings the same phone up again and meets the same flash.
    ASSERT_FALSE(bringUp());
    EXPECT_EQ(lastMessage(), "Unknown Flash!");
    EXPECT_EQ(controls(), kUnconnectedLayout);
    EXPECT_EQ(sim->violationCount(), 0u) << sim->summary();
}

TEST_F(WindowBringUp, APulledCableIsReportedAndTheWindowIsUnconnected) {
    sim::SimOptions options;
    options.faults.hangUpAfter = 60000;  // in the middle of the boot-loader
    startPhone(options);
    click("startButton");
    ASSERT_TRUE(pumpUntil([&] { return linkStopped(); })) << log();
    EXPECT_TRUE(sim->hungUp());
    EXPECT_TRUE(logHas("** Lost the connection to the phone"));
    EXPECT_TRUE(log().ends_with("\r\n** Close COM port\r\n"));
    EXPECT_EQ(controls(), kUnconnectedLayout);
    EXPECT_EQ(progress().value(), 0);
    EXPECT_EQ(EngineProbe::context(engine()).loaderReady(), 0);
    EXPECT_TRUE(prompter.messages.empty());
}

TEST_F(WindowBringUp, StopDuringEitherUploadThenStartUploadsAfresh) {
    sim::SimOptions options;
    options.latency = std::chrono::milliseconds(1);  // long enough uploads to stop in
    startPhone(options);
    chooseSpeed(3);

    click("startButton");
    ASSERT_TRUE(pumpUntil([&] { return engine().exchange() == "send the pre-loader's words"; }));
    click("stopButton");
    EXPECT_EQ(controls(), kUnconnectedLayout);

    click("startButton");
    ASSERT_TRUE(pumpUntil([&] {
        return engine().exchange() == "send a boot-loader chunk" && progress().value() > 0;
    }));
    EXPECT_EQ(progress().maximum(), 317792);
    EXPECT_LT(progress().value(), 317792);
    click("stopButton");
    EXPECT_EQ(controls(), kUnconnectedLayout);
    EXPECT_EQ(progress().value(), 0);

    ASSERT_TRUE(bringUp()) << log();
    EXPECT_EQ(controls(), kLoaderLayout);
    // Both programs arrived whole, from their first byte, and started once.
    const auto pre = preLoaderImage();
    const auto boot = bootLoaderImage();
    const auto counters = sim->counters();
    EXPECT_EQ(counters.preLoaderCrc, crc32(pre.data(), pre.size()));
    EXPECT_EQ(counters.bootLoaderCrc, crc32(boot.data(), boot.size()));
    EXPECT_EQ(counters.loaderStarts, 1);
    EXPECT_EQ(sim->violationCount(), 0u) << sim->summary();
}

// From the link's close to its reopening at 921600, by the port's own notes.
class OpenCloseTimes : public TraceSink {
  public:
    using Clock = std::chrono::steady_clock;
    void traceBlock(TraceDirection, const std::uint8_t*, std::size_t) override {}
    void traceNote(const std::string& text) override {
        std::lock_guard lock(m_Lock);
        if (text.starts_with("close "))
            m_Closed = Clock::now();
        else if (text.starts_with("open ") && text.ends_with(" at 921600") && m_Closed)
            m_Pauses.push_back(Clock::now() - *m_Closed);  // START opens at 115200
    }
    std::vector<Clock::duration> pauses() const {
        std::lock_guard lock(m_Lock);
        return m_Pauses;
    }

  private:
    mutable std::mutex m_Lock;
    std::optional<Clock::time_point> m_Closed;
    std::vector<Clock::duration> m_Pauses;
};

// The phone needs the whole pause to move to the new speed; a timer that fires a little early
// reopens too soon now and then, so several bring-ups are timed.
TEST_F(WindowBringUp, TheSpeedChangeKeepsThePortClosedForHalfASecond) {
    startPhone();
    OpenCloseTimes times;
    port.setTrace(&times);
    chooseSpeed(3);
    for (int run = 0; run < 3; ++run) {
        ASSERT_TRUE(bringUp()) << log();
        click("stopButton");
        ASSERT_TRUE(pumpUntil([&] { return linkStopped(); }));
    }
    const auto pauses = times.pauses();
    ASSERT_EQ(pauses.size(), 3u);
    for (const auto pause : pauses)
        EXPECT_GE(pause, std::chrono::milliseconds(500))
            << std::chrono::duration_cast<std::chrono::microseconds>(pause).count() << " us";
}

TEST_F(WindowBringUp, AutoDownLoaderDownloadsRightAfterIdentification) {
    startPhone();
    Bytes image(2 * 65536 + 100);
    for (std::size_t i = 0; i < image.size(); ++i)
        image[i] = static_cast<std::uint8_t>(i * 7 + (i >> 9));
    pickImage(image);
    click("autoDownloadBox");
    ASSERT_TRUE(w<QCheckBox>("autoDownloadBox")->isChecked());

    click("startButton");
    // No DOWNLOAD click: identification presses it.
    ASSERT_TRUE(pumpUntil([&] { return !prompter.messages.empty(); })) << log();
    EXPECT_EQ(lastMessage(), "Download completed!");
    EXPECT_TRUE(logHas("** Start Downloading BINARY file **\r\n"));
    EXPECT_TRUE(nor(0, image.size()) == image);
    EXPECT_EQ(controls(), kLoaderLayout);
    EXPECT_EQ(sim->counters().firmwareDownloads, 1);
    EXPECT_EQ(sim->violationCount(), 0u) << sim->summary();
}

}  // namespace
}  // namespace zrk::test
