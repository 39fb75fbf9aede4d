// Bringing the phone up, fed as the phone would answer: the bytes the engine writes, its log
// and where each failure leaves the link.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <cerrno>
#include <optional>
#include <random>

#include "bringup/BaudSwitch.h"
#include "bringup/BringUp.h"
#include "bringup/BringUpStates.h"
#include "engine/OpenFailureText.h"
#include "engine/TargetImages.h"
#include "loader/LoaderStates.h"
#include "serial/PortAccess.h"
#include "support/EngineProbe.h"
#include "support/PhoneScript.h"
#include "support/TempDir.h"

namespace zrk {
namespace {

using Bytes = std::vector<std::uint8_t>;
using bringup::BringUpState;
using bringup::stateNumber;

const char* const kHappyLog =
    "** Wait for Connect Request from Mobile...\r\n** (POWER ON the PHONE!)\r\n"
    "** Send '0x44' to KEPLA Chip\r\n"
    "** Connection granted from KEPLA Chip\r\n"
    "** Received 16 bytes from KEPLA chip\r\n"
    "** Sending the customer ID and the same 16 bytes to KEPLA chip... OK!\r\n"
    "** Try to change Timeout !\r\n"
    "** Ok! Timout Changed(1600 mSecond) \r\n"
    "** Setting downloading address (SCRAM: 0x0C000000)... OK!\r\n\r\n"
    "** Downloading the pre-Loader (1780 bytes)... OK!\r\n"
    "** Set the start address of pre-Loader (SCRAM:0x0C000000)... OK!\r\n"
    "\r\nStart Pre-Loader... OK!\r\nTrying to change the baudrate...\r\n"
    "Change Baudrate 115200 -> 921600... OK!\r\n"
    "Downloading the Boot-Loader (317792 bytes)... OK!\r\n\r\n"
    "Jump to Boot-Loader (RAM:0x18000000)... OK!\r\n"
    "Sending the base address of CS0 (0x10000000)... OK!\r\n"
    "Checking FLASH ID... Detected (LMR20TQ55P)\r\n"
    "\r\n\r\n** Now you can do the followings. **\r\n\r\n1. Download the BINARY and/or QIX "
    "files\r\n2. Dump NOR-Flash\r\n3. Erase NOR-Flash\r\n4. Format Nand-Flash\r\n5. Dump QIX "
    "files\r\n6. Check the status of NAND-Flash\r\n";

class BringUpTest : public ::testing::Test {
  protected:
    BringUpTest() {
        view.userChoices.portIndex = 2;
        view.userChoices.speedIndex = 3;
    }
    test::BringUpReplies replies() {
        return test::bringUpReplies(EngineProbe::bringUp(engine).targetData(),
                                    view.userChoices.speedIndex);
    }
    // START, then the given replies in one notification.
    void startAndFeed(const Bytes& bytes) {
        engine.start(view.userChoices);
        test::feed(engine, link, bytes);
    }
    // Index in the pre-switch stream of the first pre-loader word acknowledgement.
    static constexpr std::size_t kFirstWordAck = 1 + 1 + 16 + 3;

    test::FakeLink link;
    test::RecordingView view;
    ProtocolEngine engine{link, view};
};

struct Outcome {
    Bytes written;
    std::vector<Bytes> writes;
    std::string log;
    std::vector<std::uint32_t> progress;
};

Outcome runBringUp(const test::Splitter& split) {
    test::FakeLink link;
    test::RecordingView view;
    view.userChoices.speedIndex = 3;
    ProtocolEngine engine{link, view};
    test::bringUpPhone(engine, link, view, split);
    EXPECT_EQ(EngineProbe::context(engine).loaderReady(), 1);
    EXPECT_EQ(EngineProbe::context(engine).state(), IDLE);
    return {link.written, link.writes, view.log, view.progressHistory};
}

TEST(BringUpSplits, AnySplitOfTheRepliesGivesTheSameBytesAndLog) {
    const Outcome whole = runBringUp({});
    EXPECT_EQ(whole.log, kHappyLog);
    const Outcome single = runBringUp([](std::size_t) { return 1; });
    std::mt19937 random(20261208);
    const Outcome arbitrary = runBringUp([&](std::size_t) { return random() % 40 + 1; });
    for (const Outcome* run : {&single, &arbitrary}) {
        EXPECT_EQ(run->written, whole.written);
        EXPECT_EQ(run->writes, whole.writes);
        EXPECT_EQ(run->log, whole.log);
        EXPECT_EQ(run->progress, whole.progress);
    }
}

TEST_F(BringUpTest, StartOpensAtRomSpeedWithEvenParityAndWaits) {
    engine.start(view.userChoices);
    ASSERT_EQ(link.opens.size(), 1u);
    EXPECT_EQ(link.opens[0].port, 3);
    EXPECT_EQ(link.opens[0].baud, 115200u);
    EXPECT_EQ(link.parity, Parity::Even);
    EXPECT_EQ(link.dataBits, 8);
    EXPECT_EQ(EngineProbe::context(engine).state(),
              stateNumber(BringUpState::WAIT_CONNECT_REQUEST));
    EXPECT_EQ(view.events, (std::vector<std::string>{"portOpened", "lock"}));
    // Noise and a running phone's chatter before the connect request are ignored, and are no
    // reply: a silence limit keeps running through them.
    const auto accepted = link.repliesAccepted();
    test::feed(engine, link, {0x00, 0x44, 0xFF, 0x4F, 0xAB, '$', 'G', 'P'});
    EXPECT_TRUE(link.written.empty());
    EXPECT_EQ(EngineProbe::context(engine).state(),
              stateNumber(BringUpState::WAIT_CONNECT_REQUEST));
    EXPECT_EQ(link.repliesAccepted(), accepted);
    test::feed(engine, link, {0x81});
    EXPECT_EQ(link.written, Bytes{0x44});
    EXPECT_GT(link.repliesAccepted(), accepted);
    EXPECT_EQ(view.log.substr(view.log.rfind("**")), "** Send '0x44' to KEPLA Chip\r\n");
}

TEST_F(BringUpTest, WhatCameInPlaceOfTheBootRomTellsSilenceTextAndNoiseApart) {
    using Verdict = WaitingLine::Verdict;
    const auto& line = EngineProbe::bringUp(engine).handshake().waitingLine();
    engine.start(view.userChoices);
    // The stray bytes of a cable plugged in are still silence.
    test::feed(engine, link, {0x00, 0xFF});
    EXPECT_EQ(line.verdict(), Verdict::Silent);
    const std::string nmea = "$GPGGA,123519,4807.038,N,01131.000,E,1*47\r\n";
    test::feed(engine, link, Bytes(nmea.begin(), nmea.end()));
    EXPECT_EQ(line.verdict(), Verdict::Text);
    EXPECT_TRUE(link.written.empty());

    // A new START forgets the last wait; a line stuck low is noise, not text.
    engine.stop();
    engine.start(view.userChoices);
    EXPECT_EQ(line.verdict(), Verdict::Silent);
    test::feed(engine, link, Bytes(64, 0x00));
    EXPECT_EQ(line.verdict(), Verdict::Noise);
    // The boot ROM's own request is no noise, and what follows it is the handshake's.
    const auto heard = line.bytes();
    test::feed(engine, link, {0x81});
    EXPECT_EQ(line.bytes(), heard);

    EXPECT_EQ(talkingLineWords("COM3", Verdict::Text),
              "COM3 is sending text that is not the phone's boot ROM; is this the right port?");
    EXPECT_EQ(talkingLineWords("COM3", Verdict::Silent), "");
}

TEST_F(BringUpTest, APortThatRefusesItsLineOrItsReaderSaysSoBeforeTheOpenFailure) {
    link.failOpens = 2;
    link.failure.kind = OpenFailure::Kind::LineRejected;
    engine.start(view.userChoices);
    link.failure.kind = OpenFailure::Kind::ThreadFailed;
    engine.start(view.userChoices);
    EXPECT_EQ(view.messages,
              (std::vector<std::string>{"Fail!!", "Port Initialization Failed!",
                                        "CreateThread Fail!!", "Port Initialization Failed!"}));
    ASSERT_EQ(view.outcomes.size(), 2u);
    EXPECT_EQ(view.outcomes[1].operation, Operation::BringUp);
    EXPECT_EQ(view.outcomes[1].cause, FailureCause::Port);
}

// Owners, groups and modes: what Windows ports have not.
#ifndef _WIN32
TEST_F(BringUpTest, AnOpenFailureNamesTheDeviceGivenAndTheFixThatWouldHelp) {
    // A port given by its device is named by it, not by the COM name it stands in for.
    test::TempDir dir;
    const std::string device = dir.write("ttyGIVEN", {1});
    ASSERT_EQ(::chown(device.c_str(), 0, 0), 0);
    ASSERT_EQ(::chmod(device.c_str(), 0600), 0);
    link.failOpens = 1;
    link.failure = {OpenFailure::Kind::PermissionDenied,
                    std::make_error_code(std::errc::permission_denied), device};
    engine.start(view.userChoices);
    EXPECT_NE(view.log.find("** " + device + " could not be opened: no permission to open " +
                            device + ": the device's group may not use it"),
              std::string::npos)
        << view.log;
    // Joining a group alone would not help a device only its owner may use: it is handed to
    // the serial ports' group first, and never opened to everyone.
    EXPECT_NE(view.log.find("hand it to the group dialout"), std::string::npos) << view.log;
    EXPECT_EQ(view.log.find("a+rw"), std::string::npos) << view.log;

    const gid_t dialout = 20;  // Debian's fixed number for the serial ports' group
    ASSERT_EQ(::chown(device.c_str(), 0, dialout), 0);
    ASSERT_EQ(::chmod(device.c_str(), 0660), 0);
    EXPECT_NE(describeOpenFailure(link.failure).find("join the group " + groupName(dialout)),
              std::string::npos);
}
#endif

TEST_F(BringUpTest, StartRefusesAnOpenPortAndReportsWhyAnOpenFailed) {
    link.failOpens = 1;
    engine.start(view.userChoices);
    EXPECT_EQ(view.messages, std::vector<std::string>{"Port Initialization Failed!"});
    EXPECT_NE(view.log.find("COM3 could not be opened"), std::string::npos);
    EXPECT_EQ(EngineProbe::context(engine).state(), INITIAL);
    EXPECT_TRUE(view.events.empty());

    engine.start(view.userChoices);
    engine.start(view.userChoices);
    EXPECT_EQ(view.messages.back(), "Port already opened!");
    EXPECT_EQ(link.opens.size(), 2u);

    // Stop: a START while the bring-up runs is refused, as the window offers none.
    engine.stop();
    ASSERT_FALSE(link.connected);
    link.rejectLineFormat = true;
    view.messages.clear();
    view.events.clear();
    EngineProbe::context(engine).setState(IDLE);
    engine.start(view.userChoices);
    EXPECT_EQ(view.messages, std::vector<std::string>{"DCB Creation Failed!"});
    EXPECT_EQ(EngineProbe::context(engine).state(), IDLE);
    EXPECT_TRUE(view.events.empty());
    // The port is given back, so START can try again instead of finding it "already opened".
    EXPECT_FALSE(link.connected);
    link.rejectLineFormat = false;
    engine.start(view.userChoices);
    EXPECT_EQ(view.messages.size(), 1u);
    EXPECT_TRUE(link.connected);
    EXPECT_EQ(EngineProbe::context(engine).state(),
              stateNumber(BringUpState::WAIT_CONNECT_REQUEST));
}

TEST_F(BringUpTest, ChallengeIsEchoedInOrderAfterTheCustomerId) {
    const Bytes challenge = test::sampleChallenge();
    engine.start(view.userChoices);
    test::feed(engine, link, {0x81, 0x44});
    link.takeWritten();
    // Split over notifications like a slow line would deliver it.
    test::feed(engine, link, challenge, [](std::size_t) { return 3; });
    ASSERT_EQ(link.writes.size(), 1u);
    Bytes expected{0x44};
    const auto id = customerId();
    expected.insert(expected.end(), id.begin(), id.end());
    expected.insert(expected.end(), challenge.begin(), challenge.end());
    EXPECT_EQ(link.writes[0], expected);
    EXPECT_EQ(EngineProbe::context(engine).state(), stateNumber(BringUpState::WAIT_ID_ACK));
}

TEST_F(BringUpTest, PreLoaderGoesAs445WordsAndTheLastAckLeadsToTheStartAddress) {
    const Bytes stream = replies().beforeSwitch;
    // Everything up to and including the 445th word acknowledgement.
    startAndFeed(Bytes(stream.begin(), stream.begin() + kFirstWordAck + 445));
    std::vector<Bytes> words;
    for (const auto& w : link.writes)
        if (w.size() == 6 && w[0] == 0x4C)
            words.push_back(w);
    ASSERT_EQ(words.size(), 445u);
    const auto image = preLoaderImage();
    for (std::size_t k = 0; k < words.size(); ++k) {
        ASSERT_EQ(words[k][1], 0x00);
        ASSERT_TRUE(std::equal(words[k].begin() + 2, words[k].end(), image.begin() + 4 * k))
            << "word " << k;
    }
    EXPECT_EQ(link.writes.back(), (Bytes{0x53, 0x00, 0x00, 0x00, 0x0C}));
    EXPECT_EQ(EngineProbe::context(engine).state(),
              stateNumber(BringUpState::WAIT_START_ADDRESS_ACK));
    test::feed(engine, link, {0x4F});
    EXPECT_EQ(link.writes.back(), Bytes{0x4A});
    EXPECT_EQ(EngineProbe::context(engine).state(),
              stateNumber(BringUpState::WAIT_PRELOADER_READY));
}

TEST_F(BringUpTest, BaudSwitchClosesReopensWithoutParityAndOnlyThenSendsStart) {
    const auto r = replies();
    startAndFeed(r.beforeSwitch);
    EXPECT_EQ(link.writes.back(), Bytes{3});  // the speed index, sent at the old speed
    EXPECT_FALSE(link.connected);
    EXPECT_EQ(view.timerStarts, std::vector<int>{500});
    EXPECT_EQ(EngineProbe::context(engine).state(), stateNumber(BringUpState::WAIT_SPEED_ECHO));

    // The first reopen fails: a retry is logged and nothing is sent.
    link.failOpens = 1;
    link.takeWritten();
    engine.onBaudTimer();
    EXPECT_TRUE(link.written.empty());
    EXPECT_EQ(view.timerStarts, (std::vector<int>{500, 500}));
    EXPECT_NE(view.log.find("** Retry the change of baudrate\r\n"), std::string::npos);

    engine.onBaudTimer();
    EXPECT_EQ(link.written, Bytes{0xD9});
    EXPECT_EQ(link.opens.back().port, 3);
    EXPECT_EQ(link.opens.back().baud, 921600u);
    EXPECT_EQ(link.parity, Parity::None);
    // A stray tick after the reopen does not open or send again.
    engine.onBaudTimer();
    EXPECT_EQ(link.written, Bytes{0xD9});
    EXPECT_EQ(link.opens.size(), 3u);
}

TEST_F(BringUpTest, BaudSwitchGivesUpAsALostLinkWhenThePortDoesNotComeBack) {
    const auto r = replies();
    {
        SCOPED_TRACE("the device is gone: no retry at all");
        startAndFeed(r.beforeSwitch);
        link.failOpens = 1;
        link.failure = {OpenFailure::Kind::NotFound,
                        std::make_error_code(std::errc::no_such_file_or_directory), "/dev/pts/9"};
        engine.onBaudTimer();
        EXPECT_EQ(view.log.find("** Retry the change of baudrate"), std::string::npos);
        EXPECT_NE(view.log.find("** Lost the connection to the phone (/dev/pts/9 does not exist"),
                  std::string::npos)
            << view.log;
        ASSERT_EQ(view.outcomes.size(), 1u);
        EXPECT_EQ(view.outcomes[0].kind, OutcomeKind::LinkLost);
        EXPECT_FALSE(link.connected);
        EXPECT_FALSE(EngineProbe::context(engine).baudTimerRunning());
    }
    {
        SCOPED_TRACE("the port keeps refusing: a bounded number of attempts");
        view.log.clear();
        view.outcomes.clear();
        startAndFeed(r.beforeSwitch);
        link.failOpens = 1000;
        link.failure = {OpenFailure::Kind::InUse,
                        std::make_error_code(std::errc::device_or_resource_busy), "/dev/pts/9"};
        int ticks = 0;
        while (EngineProbe::context(engine).baudTimerRunning() && ticks < 100) {
            engine.onBaudTimer();
            ++ticks;
        }
        EXPECT_EQ(ticks, BaudSwitch::kMaxReopenAttempts);
        ASSERT_EQ(view.outcomes.size(), 1u);
        EXPECT_EQ(view.outcomes[0].kind, OutcomeKind::LinkLost);
        EXPECT_NE(view.log.find("after 10 attempts: /dev/pts/9 is in use"), std::string::npos)
            << view.log;
    }
    {
        SCOPED_TRACE("the adapter was pulled: the system's reason alone says it is gone");
        view.log.clear();
        view.outcomes.clear();
        link.failOpens = 0;  // what the attempts above left
        startAndFeed(r.beforeSwitch);
        link.failOpens = 1;
        link.failure = {OpenFailure::Kind::Other, std::make_error_code(std::errc::io_error),
                        "/dev/ttyUSB0"};
        engine.onBaudTimer();
        EXPECT_EQ(view.log.find("** Retry the change of baudrate"), std::string::npos);
        EXPECT_NE(view.log.find("cannot open /dev/ttyUSB0 (" +
                                std::make_error_code(std::errc::io_error).message() + ")"),
                  std::string::npos)
            << view.log;
        ASSERT_EQ(view.outcomes.size(), 1u);
        EXPECT_EQ(view.outcomes[0].kind, OutcomeKind::LinkLost);
        EXPECT_FALSE(EngineProbe::context(engine).baudTimerRunning());
    }
}

TEST_F(BringUpTest, BootLoaderGoesIn155FullChunksAndOneOf352) {
    const auto r = replies();
    startAndFeed(r.beforeSwitch);
    engine.onBaudTimer();
    link.takeWritten();
    test::feed(engine, link, r.afterSwitch);

    const auto image = bootLoaderImage();
    ASSERT_EQ(link.writes[0], Bytes{0xD4});
    EXPECT_EQ(link.writes[1], (Bytes{0x00, 0x04, 0xD9, 0x60}));
    std::vector<std::size_t> chunkSizes;
    Bytes uploaded;
    for (std::size_t i = 2; i + 1 < link.writes.size(); ++i) {
        if (link.writes[i] == Bytes{0xF7}) {
            chunkSizes.push_back(link.writes[i + 1].size());
            uploaded.insert(uploaded.end(), link.writes[i + 1].begin(), link.writes[i + 1].end());
        }
    }
    ASSERT_EQ(chunkSizes.size(), 156u);
    EXPECT_EQ(std::count(chunkSizes.begin(), chunkSizes.end(), 2048u), 155);
    EXPECT_EQ(chunkSizes.back(), 352u);
    EXPECT_TRUE(std::equal(uploaded.begin(), uploaded.end(), image.begin(), image.end()));
    EXPECT_EQ(view.progressRange, 317792u);
    EXPECT_EQ(view.progressHistory[view.progressHistory.size() - 2], 317792u);
    EXPECT_EQ(view.progressHistory.back(), 0u);  // emptied when the flash is identified

    // The tail: jump, CS0 base, identification request.
    const auto n = link.writes.size();
    EXPECT_EQ(link.writes[n - 4], Bytes{0xFF});
    EXPECT_EQ(link.writes[n - 3], Bytes{0xD0});
    EXPECT_EQ(link.writes[n - 2], (Bytes{0x10, 0x00, 0x00, 0x00}));
    EXPECT_EQ(link.writes[n - 1], Bytes{0xD1});
    EXPECT_EQ(view.flashName, "LMR20TQ55P");
    EXPECT_EQ(engine.sectorMap().count(), 519);
    const std::optional<FlashId> id = engine.flashId();
    ASSERT_TRUE(id);
    EXPECT_EQ(Bytes(id->begin(), id->end()), test::supportedFlashId());
    EXPECT_EQ(view.events.back(), "finish");
}

TEST_F(BringUpTest, ABootLoaderOfWholeChunksEndsWithItsLastFullChunk) {
    Bytes boot(4096);
    for (std::size_t i = 0; i < boot.size(); ++i)
        boot[i] = static_cast<std::uint8_t>(i * 7 + 1);
    TargetData data = TargetData::embedded();
    data.bootLoader = boot;
    EngineProbe::bringUp(engine).setTargetData(data);
    const auto r = replies();
    startAndFeed(r.beforeSwitch);
    engine.onBaudTimer();
    link.takeWritten();
    // Echo, size sum, F7, first chunk's sum, F7: the second chunk is the last one.
    test::feed(engine, link, Bytes(r.afterSwitch.begin(), r.afterSwitch.begin() + 5));
    EXPECT_EQ(link.writes.back().size(), 2048u);
    EXPECT_EQ(EngineProbe::context(engine).state(), stateNumber(BringUpState::WAIT_LAST_CHUNK_SUM));
    test::feed(engine, link, {r.afterSwitch[5]});
    EXPECT_EQ(link.writes.back(), Bytes{0xFF});
    test::feed(engine, link, Bytes(r.afterSwitch.begin() + 6, r.afterSwitch.end()));
    EXPECT_EQ(EngineProbe::context(engine).loaderReady(), 1);
    EXPECT_NE(view.log.find("Downloading the Boot-Loader (4096 bytes)... OK!"), std::string::npos);
}

TEST_F(BringUpTest, SwappedIdentificationCodesAreRejectedAndTheLinkStops) {
    const auto r = test::bringUpReplies(EngineProbe::bringUp(engine).targetData(), 3,
                                        {0x22, 0xFC, 0x00, 0xEC, 0, 0, 0, 0});
    startAndFeed(r.beforeSwitch);
    engine.onBaudTimer();
    // The identification arrives in two notifications.
    test::feed(engine, link, r.afterSwitch, [](std::size_t left) { return left > 5 ? 1000 : 5; });
    EXPECT_NE(view.log.find("Checking FLASH ID... not supported FLASH(ManuID:22fc,DevID1:ec)\r\n"
                            "\r\n** There is nothing to do because of unknown FLASH.\r\n"),
              std::string::npos);
    EXPECT_EQ(view.messages, std::vector<std::string>{"Unknown Flash!"});
    EXPECT_EQ(EngineProbe::context(engine).loaderReady(), 0);
    EXPECT_EQ(engine.sectorMap().count(), 0);
    EXPECT_FALSE(link.connected);
    EXPECT_EQ(view.events.back(), "stopped");
    EXPECT_EQ(EngineProbe::context(engine).state(), IDLE);
    // The report names the part that was refused, until the next bring-up begins.
    ASSERT_TRUE(engine.flashId());
    EXPECT_EQ(*engine.flashId(), (FlashId{0x22, 0xFC, 0x00, 0xEC, 0, 0, 0, 0}));
    engine.start(view.userChoices);
    EXPECT_FALSE(engine.flashId());
}

TEST_F(BringUpTest, WrongGrantWaitsForANewConnectRequest) {
    engine.start(view.userChoices);
    test::feed(engine, link, {0x81, 0x12});
    EXPECT_NE(view.log.find("Bad Response from KEPLA Chip (0x12)\r\n"), std::string::npos);
    EXPECT_EQ(EngineProbe::context(engine).state(),
              stateNumber(BringUpState::WAIT_CONNECT_REQUEST));
    test::feed(engine, link, {0x81, 0x44});
    EXPECT_EQ(EngineProbe::context(engine).state(), stateNumber(BringUpState::READ_CHALLENGE));
    EXPECT_EQ(link.written, (Bytes{0x44, 0x44, 0x51}));
}

struct FailurePoint {
    std::size_t index;    // position in the pre-switch stream that is replaced
    std::uint8_t byte;    // the wrong reply
    const char* logTail;  // how the log ends
};

TEST_F(BringUpTest, WrongRepliesBeforeTheSwitchEndIdleWithTheirLine) {
    const Bytes good = replies().beforeSwitch;
    const std::vector<FailurePoint> points = {
        {18, 0x46, "KEPLA chip... Fail!\r\n"},
        {19, 0x4E, "Timeout change Fail(4e)!\r\n"},
        {20, 0x00, "(SCRAM: 0x0C000000)... Bad response(0x0) from KEPLA Chip\r\n"},
        {kFirstWordAck + 100, 0x3F, "(1780 bytes)... Bad response(0x3F) from KEPLA Chip\r\n"},
        {kFirstWordAck + 444, 0x3F, "(1780 bytes)... Bad response(0x3F) from KEPLA Chip\r\n"},
        {kFirstWordAck + 445, 0x3F, "(SCRAM:0x0C000000)... Bad response(0x3F) from KEPLA Chip\r\n"},
        {kFirstWordAck + 446, 0xAC, "Start Pre-Loader... Bad response(0xAC) from Pre-Loader\r\n"},
    };
    for (const auto& p : points) {
        test::FakeLink l;
        test::RecordingView v;
        ProtocolEngine e{l, v};
        e.start(v.userChoices);
        Bytes stream(good.begin(), good.begin() + p.index);
        stream.push_back(p.byte);
        test::feed(e, l, stream);
        const std::string tail = p.logTail;
        ASSERT_GE(v.log.size(), tail.size());
        EXPECT_EQ(v.log.substr(v.log.size() - tail.size()), tail) << "at " << p.index;
        EXPECT_EQ(EngineProbe::context(e).state(), IDLE);
        EXPECT_TRUE(l.connected);  // the port stays open; only Stop leads on
        const auto writes = l.writes.size();
        test::feed(e, l, {0x4F, 0xAB, 0x81});
        EXPECT_EQ(l.writes.size(), writes) << "nothing is sent after a failure";
    }
}

TEST_F(BringUpTest, WrongRepliesAfterTheSwitchEndIdleWithTheirLine) {
    const Bytes good = replies().afterSwitch;
    const std::size_t n = good.size();
    const std::vector<FailurePoint> points = {
        {1, 0x3C, "(317792 bytes)... Fail in sending the file size!\r\n"},
        {2, 0xF6, "(317792 bytes)... Fail to configure DMA\r\n"},
        {5, 0x00, "checksum mismatched from Pre-Loader (0x0)\r\n"},
        {n - 11, 0x01, "checksum mismatched from Pre-Loader (0x1)\r\n"},
        {n - 10, 0xAA, "(RAM:0x18000000)... Bad response from Boot-Loader (0xAA)\r\n"},
        {n - 9, 0x11, "(0x10000000)... Fail!\r\n"},
    };
    for (const auto& p : points) {
        test::FakeLink l;
        test::RecordingView v;
        v.userChoices.speedIndex = 3;
        ProtocolEngine e{l, v};
        e.start(v.userChoices);
        test::feed(e, l, replies().beforeSwitch);
        e.onBaudTimer();
        Bytes stream(good.begin(), good.begin() + p.index);
        stream.push_back(p.byte);
        test::feed(e, l, stream);
        const std::string tail = p.logTail;
        ASSERT_GE(v.log.size(), tail.size());
        EXPECT_EQ(v.log.substr(v.log.size() - tail.size()), tail) << "at " << p.index;
        EXPECT_EQ(EngineProbe::context(e).state(), IDLE);
        EXPECT_EQ(EngineProbe::context(e).loaderReady(), 0);
    }
}

TEST_F(BringUpTest, AWrongSpeedEchoStopsTheLink) {
    startAndFeed(replies().beforeSwitch);
    engine.onBaudTimer();
    test::feed(engine, link, {0x01});
    EXPECT_EQ(view.log.substr(view.log.find("** Fail")),
              "** Fail to change the baudrate (1)\r\n** Close COM port\r\n");
    EXPECT_EQ(view.messages, std::vector<std::string>{"Fail to change the baudrate of target!"});
    EXPECT_FALSE(link.connected);
    EXPECT_EQ(view.events.back(), "stopped");
}

TEST_F(BringUpTest, StopDuringTheUploadThenStartUploadsFromTheFirstWord) {
    const Bytes good = replies().beforeSwitch;
    startAndFeed(Bytes(good.begin(), good.begin() + kFirstWordAck + 200));
    engine.stop();
    EXPECT_FALSE(link.connected);
    EXPECT_EQ(EngineProbe::context(engine).state(), IDLE);

    link.takeWritten();
    engine.start(view.userChoices);
    test::feed(engine, link, Bytes(good.begin(), good.begin() + kFirstWordAck));
    // The first packet after the address is word 0 again.
    const auto image = preLoaderImage();
    EXPECT_EQ(link.writes.back(), (Bytes{0x4C, 0x00, image[0], image[1], image[2], image[3]}));
    test::feed(engine, link, Bytes(good.begin() + kFirstWordAck, good.end()));
    EXPECT_EQ(EngineProbe::context(engine).state(), stateNumber(BringUpState::WAIT_SPEED_ECHO));
}

TEST_F(BringUpTest, AutoDownLoaderStartsTheDownloadRightAfterIdentification) {
    test::TempDir dir;
    view.userChoices.autoDownload = true;
    view.userChoices.binPath = dir.write("fw.bin", Bytes(3000, 0x5A));
    test::bringUpPhone(engine, link, view);
    EXPECT_EQ(link.writes.back(), Bytes{CMD_START});
    EXPECT_EQ(EngineProbe::context(engine).state(), WAIT_START_REPLY);
    EXPECT_EQ(EngineProbe::context(engine).operationKind(), OP_FIRMWARE);
    EXPECT_EQ(view.log, " \r\n** Start Downloading BINARY file **\r\n");
    EXPECT_EQ(view.events.back(), "lock");
}

TEST_F(BringUpTest, BringUpsTellTheirStagesWithoutAStepBetween) {
    test::bringUpPhone(engine, link, view);
    // The identification makes the loader ready and ends the bring-up in one step: a view
    // told "working" in between would show an operation that never began.
    EXPECT_EQ(view.stages,
              (std::vector<Stage>{Stage::WaitingForPhone, Stage::BringingUp, Stage::Ready}));
    // With auto-download the download's own start is the next stage.
    engine.stop();
    view.stages.clear();
    test::TempDir dir;
    view.userChoices.autoDownload = true;
    view.userChoices.binPath = dir.write("fw.bin", Bytes(3000, 0x5A));
    test::bringUpPhone(engine, link, view);
    EXPECT_EQ(view.stages, (std::vector<Stage>{Stage::WaitingForPhone, Stage::BringingUp,
                                               Stage::Ready, Stage::Working}));
    // The next START, after an operation's phase was current, waits for the phone at once.
    engine.stop();
    view.stages.clear();
    engine.start(view.userChoices);
    EXPECT_EQ(view.stages, std::vector<Stage>{Stage::WaitingForPhone});
}

}  // namespace
}  // namespace zrk
