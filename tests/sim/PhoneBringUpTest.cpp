#include <gtest/gtest.h>

#include "PhoneDriver.h"

namespace zrk::sim::test {
namespace {

using namespace std::chrono_literals;

TEST(PhoneBringUp, WholeExchangeFromConnectRequestToFlashId) {
    PhoneDriver d;
    d.open();
    EXPECT_EQ(d.output(), Bytes{0x81});
    EXPECT_EQ(d.advance(49ms), Bytes{});
    EXPECT_EQ(d.advance(1ms), Bytes{0x81}) << "the boot ROM repeats every 50 ms";
    EXPECT_EQ(d.send({0x44}), Bytes{0x44});
    EXPECT_EQ(d.advance(200ms), Bytes{}) << "no connect request while the grant is pending";
    const Bytes challenge = d.send({0x51});
    ASSERT_EQ(challenge.size(), 16u);

    PhoneDriver twin;  // the same seed gives the same challenge
    twin.open();
    twin.send({0x44});
    EXPECT_EQ(twin.send({0x51}), challenge);

    Bytes reply{0x44};
    const auto id = customerId();
    reply.insert(reply.end(), id.begin(), id.end());
    // Split arbitrarily, as a host's writes may be.
    EXPECT_EQ(d.send(Bytes(reply.begin(), reply.end())), Bytes{});
    EXPECT_EQ(d.send(Bytes(challenge.begin(), challenge.begin() + 5)), Bytes{});
    EXPECT_EQ(d.send(Bytes(challenge.begin() + 5, challenge.end())), Bytes{0x4F});
    EXPECT_EQ(d.send({0x54, 0x10}), Bytes{0x4F});
    EXPECT_EQ(d.send({0x53, 0x00, 0x00, 0x00, 0x0C}), Bytes{0x4F});
    const auto pre = preLoaderImage();
    for (std::size_t i = 0; i < pre.size(); i += 4)
        ASSERT_EQ(d.send({0x4C, 0x00, pre[i], pre[i + 1], pre[i + 2], pre[i + 3]}), Bytes{0x4F});
    EXPECT_EQ(d.send({0x53, 0x00, 0x00, 0x00, 0x0C}), Bytes{0x4F});
    EXPECT_EQ(d.send({0x4A}), Bytes{0xAB});
    EXPECT_EQ(d.phone.counters().preLoaderCrc, phoneCrc32(0, pre.data(), pre.size()));

    // Speed index 2, the baud switch's close and reopen, the echo.
    EXPECT_EQ(d.send({0x02}), Bytes{});
    EXPECT_EQ(d.phone.uartBaud(), 460800u);
    d.close();
    EXPECT_EQ(d.phone.counters().powerCycles, 0) << "the switch's close is no power-off";
    d.open();
    EXPECT_EQ(d.output(), Bytes{});
    EXPECT_EQ(d.send({0xD9}), Bytes{0x02});

    const auto boot = bootLoaderImage();
    const Bytes size = be32(static_cast<std::uint32_t>(boot.size()));
    EXPECT_EQ(d.send(cat({0xD4}, size)), Bytes{sum(size)});
    std::size_t at = 0;
    for (; at < boot.size(); at += 2048) {
        ASSERT_EQ(d.send({0xF7}), Bytes{0xF7});
        const Bytes chunk(boot.begin() + static_cast<long>(at),
                          boot.begin() + static_cast<long>(std::min(at + 2048, boot.size())));
        ASSERT_EQ(d.send(chunk), Bytes{sum(chunk)});
    }
    EXPECT_EQ(d.send({0xFF}), Bytes{0xAB});
    EXPECT_EQ(d.send({0xD0, 0x10, 0x00, 0x00, 0x00}), Bytes{0x10});
    EXPECT_EQ(d.send({0xD1}), (Bytes{0x00, 0xEC, 0x22, 0xFC, 0x00, 0x01, 0x00, 0x00}));
    EXPECT_EQ(d.phone.counters().bootLoaderCrc, phoneCrc32(0, boot.data(), boot.size()));
    EXPECT_TRUE(d.phone.violations().empty()) << d.phone.violations().front().context;
}

TEST(PhoneBringUp, LateConnectReplyIsSkippedAndTheConnectionOfferedAgain) {
    PhoneDriver d;
    d.open();
    d.output();
    d.advance(50ms);
    EXPECT_EQ(d.send({0x44}), Bytes{0x44});
    EXPECT_EQ(d.send({0x44}), Bytes{}) << "a second, late 44h is skipped";
    // The host missed the grant; the boot ROM gives up waiting and offers again.
    EXPECT_EQ(d.advance(Phone::kGrantTimeout), Bytes{0x81});
    EXPECT_EQ(d.send({0x44}), Bytes{0x44});
    EXPECT_EQ(d.send({0x51}).size(), 16u);
    EXPECT_TRUE(d.phone.violations().empty());
}

TEST(PhoneBringUp, WrongIdentificationIsRefusedAndRecorded) {
    PhoneDriver d;
    d.open();
    d.send({0x44});
    Bytes challenge = d.send({0x51});
    challenge[3] ^= 1;
    const auto id = customerId();
    Bytes reply{0x44};
    reply.insert(reply.end(), id.begin(), id.end());
    EXPECT_EQ(d.send(cat(reply, challenge)), Bytes{0x45});
    ASSERT_EQ(d.phone.violations().size(), 1u);
    EXPECT_EQ(d.phone.violations()[0].offset, 22u);  // the reply's last byte
    EXPECT_NE(d.phone.violations()[0].context.find("challenge"), std::string::npos);
}

TEST(PhoneBringUp, ShortPreLoaderAndWrongBootLoaderSizeAreViolations) {
    PhoneDriver d;
    d.open();
    d.send({0x44});
    const Bytes challenge = d.send({0x51});
    const auto id = customerId();
    Bytes reply{0x44};
    reply.insert(reply.end(), id.begin(), id.end());
    d.send(cat(reply, challenge));
    d.send({0x53, 0x00, 0x00, 0x00, 0x0C, 0x4C, 0x00, 1, 2, 3, 4});
    // One word is short of a pre-loader, and the address was not set back before the jump.
    EXPECT_EQ(d.send({0x4A}), Bytes{0xAB});
    ASSERT_EQ(d.phone.violations().size(), 2u);
    EXPECT_NE(d.phone.violations()[1].context.find("jump to 0x0C000004"), std::string::npos);
    d.send({0x03});
    d.close();
    d.open();
    d.send({0xD9});
    EXPECT_EQ(d.send(cat({0xD4}, be32(4096))), Bytes{0x10});
    EXPECT_EQ(d.phone.violations().size(), 3u);
}

TEST(PhoneBringUp, FaultsShowAsTheHostWouldSeeThem) {
    SimOptions options;
    options.faults.noiseBytes = 40;
    options.faults.wrongSpeedEcho = true;
    options.flashId = {0x22, 0xFC, 0x00, 0xEC, 0, 0, 0, 0};
    PhoneDriver d(options);
    d.open();
    const Bytes first = d.output();
    ASSERT_EQ(first.size(), 41u);
    EXPECT_EQ(first.back(), 0x81);
    for (std::size_t i = 0; i + 1 < first.size(); ++i)
        EXPECT_NE(first[i], 0x81) << "noise must not look like a connect request";
    d.close();
    d.open();
    EXPECT_EQ(d.output().size(), 41u) << "every power-up brings its noise";

    PhoneDriver e(options);
    e.throughBootRom();
    e.send({0x01});
    e.close();
    e.open();
    EXPECT_EQ(e.send({0xD9}), Bytes{0x02});
    PhoneDriver f(options);
    const Bytes id = f.bringUp();
    EXPECT_EQ(Bytes(id.begin(), id.begin() + 4), (Bytes{0x22, 0xFC, 0x00, 0xEC}));
}

TEST(PhoneBringUp, ClosingOutsideTheBaudSwitchPowersOffAndKeepsTheFlash) {
    PhoneDriver d;
    d.bringUp();
    d.nor.write(0x1000, Bytes{1, 2, 3}.data(), 3);
    d.close();
    EXPECT_EQ(d.phone.counters().powerCycles, 1);
    EXPECT_EQ(d.phone.counters().sessions, 1);
    EXPECT_EQ(d.phone.uartBaud(), 115200u);
    d.open();
    EXPECT_EQ(d.output(), Bytes{0x81});
    EXPECT_EQ(d.nor.read(0x1000, 3), (Bytes{1, 2, 3}));

    // A close during the boot-loader upload is a power-off too, not a baud switch.
    d.throughBootRom();
    d.send({0x03});
    d.close();
    d.open();
    d.send({0xD9, 0xD4});
    d.close();
    EXPECT_EQ(d.phone.counters().powerCycles, 2);
    // A host that opens and closes without a word is no session.
    d.open();
    d.close();
    EXPECT_EQ(d.phone.counters().sessions, 2);
    EXPECT_EQ(d.phone.counters().powerCycles, 3);
}

TEST(PhoneBringUp, BytesAfterPowerOnAreViolations) {
    PhoneDriver d;
    d.bringUp();
    EXPECT_EQ(d.send({0xFD}), Bytes{});
    EXPECT_TRUE(d.phone.violations().empty());
    d.send({0xD9});
    EXPECT_EQ(d.phone.violations().size(), 1u);
}

}  // namespace
}  // namespace zrk::sim::test
