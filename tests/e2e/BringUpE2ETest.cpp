// START against the phone simulator through a real CommPort on a pseudo-terminal.
#include <gtest/gtest.h>

#include "e2e/SimulatedPhone.h"
#include "support/EngineProbe.h"

namespace zrk {
namespace {

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

TEST(BringUpE2E, ReachesTheLoaderPhaseAtEachSpeed) {
    const char* rates[] = {"115200", "230400", "460800", "921600"};
    for (int speed = 0; speed < 4; ++speed) {
        SCOPED_TRACE(rates[speed]);
        test::SimulatedPhone phone;
        phone.view.userChoices.speedIndex = speed;
        ASSERT_TRUE(phone.startSimulator());
        ASSERT_TRUE(phone.bringUp()) << phone.view.log;
        EXPECT_TRUE(contains(phone.view.log,
                             std::string("Change Baudrate 115200 -> ") + rates[speed] + "... OK!"));
        EXPECT_EQ(phone.view.flashName, "LMR20TQ55P");
        EXPECT_TRUE(phone.idle());
        EXPECT_EQ(phone.violations(), 0u) << phone.summary();
    }
}

TEST(BringUpE2E, IgnoresNoiseBeforeTheConnectRequest) {
    test::SimulatedPhone phone;
    sim::SimOptions options;
    options.faults.noiseBytes = 300;
    options.seed = 5;
    ASSERT_TRUE(phone.startSimulator(options));
    ASSERT_TRUE(phone.bringUp()) << phone.view.log;
    EXPECT_EQ(phone.violations(), 0u) << phone.summary();
}

TEST(BringUpE2E, AWrongSpeedEchoStopsTheLink) {
    test::SimulatedPhone phone;
    sim::SimOptions options;
    options.faults.wrongSpeedEcho = true;
    ASSERT_TRUE(phone.startSimulator(options));
    phone.engine.start(phone.view.userChoices);
    ASSERT_TRUE(phone.runUntil([&] { return !phone.view.messages.empty(); }));
    EXPECT_EQ(phone.view.messages[0], "Fail to change the baudrate of target!");
    EXPECT_TRUE(contains(phone.view.log, "** Fail to change the baudrate ("));
    EXPECT_FALSE(phone.port.isConnected());
    EXPECT_EQ(phone.view.events.back(), "stopped");
}

TEST(BringUpE2E, AnUnknownFlashStopsTheLink) {
    test::SimulatedPhone phone;
    sim::SimOptions options;
    options.flashId = {0x22, 0xFC, 0x00, 0xEC, 0x00, 0x01, 0x00, 0x00};
    ASSERT_TRUE(phone.startSimulator(options));
    EXPECT_FALSE(phone.bringUp());
    EXPECT_EQ(phone.view.messages, std::vector<std::string>{"Unknown Flash!"});
    EXPECT_TRUE(contains(phone.view.log, "not supported FLASH(ManuID:22fc,DevID1:ec)\r\n"));
    EXPECT_FALSE(phone.port.isConnected());
    EXPECT_EQ(phone.view.events.back(), "stopped");
}

TEST(BringUpE2E, StopDuringTheUploadThenStartBringsThePhoneUpAgain) {
    test::SimulatedPhone phone;
    ASSERT_TRUE(phone.startSimulator());
    phone.engine.start(phone.view.userChoices);
    // In the middle of the pre-loader's words.
    ASSERT_TRUE(
        phone.runUntil([&] { return phone.engine.exchange() == "send the pre-loader's words"; }));
    phone.engine.stop();
    EXPECT_FALSE(phone.port.isConnected());
    ASSERT_TRUE(phone.bringUp()) << phone.view.log;
    EXPECT_EQ(phone.violations(), 0u) << phone.summary();
}

TEST(BringUpE2E, APulledCableIsReportedAndStopsTheLink) {
    test::SimulatedPhone phone;
    // Hangs up in the middle of the boot-loader upload.
    sim::SimOptions options;
    options.faults.hangUpAfter = 60000;
    ASSERT_TRUE(phone.startSimulator(options));
    phone.engine.start(phone.view.userChoices);
    ASSERT_TRUE(phone.runUntil(
        [&] { return !phone.view.events.empty() && phone.view.events.back() == "stopped"; }));
    EXPECT_TRUE(contains(phone.view.log, "Lost the connection to the phone"));
    EXPECT_TRUE(contains(phone.view.log, "** Close COM port\r\n"));
    EXPECT_FALSE(phone.port.isConnected());
    EXPECT_EQ(EngineProbe::context(phone.engine).loaderReady(), 0);
}

}  // namespace
}  // namespace zrk
