// A phone that talks nonsense. Every bring-up and loader state is reached by an honest answer
// stream and then fed random bytes, random splits and random button presses; the sanitizers
// catch memory faults, and after every call the engine must be in a state it can be in.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>
#include <string>

#include "bringup/BringUpStates.h"
#include "engine/Checksums.h"
#include "loader/LoaderStates.h"
#include "protocol/ProtocolEngine.h"
#include "support/EngineProbe.h"
#include "support/FakeClock.h"
#include "support/PhoneScript.h"
#include "support/TempDir.h"
#include "support/TestImages.h"

namespace zrk {
namespace {

using Bytes = std::vector<std::uint8_t>;
using bringup::BringUpState;
using bringup::stateNumber;

// A link that notes every byte written while the port is closed: nothing may go out then.
class CheckedLink : public test::FakeLink {
  public:
    std::size_t write(const std::uint8_t* data, std::size_t length) override {
        if (!connected)
            ++writesWhileClosed;
        return FakeLink::write(data, length);
    }
    int writesWhileClosed = 0;
};

const std::set<std::int32_t> kBringUpStates = {INITIAL,
                                               IDLE,
                                               stateNumber(BringUpState::WAIT_CONNECT_REQUEST),
                                               stateNumber(BringUpState::WAIT_CONNECT_GRANT),
                                               stateNumber(BringUpState::READ_CHALLENGE),
                                               stateNumber(BringUpState::WAIT_ID_ACK),
                                               stateNumber(BringUpState::WAIT_TIMEOUT_ACK),
                                               stateNumber(BringUpState::WAIT_LOAD_ADDRESS_ACK),
                                               stateNumber(BringUpState::WAIT_WORD_ACK),
                                               stateNumber(BringUpState::WAIT_LAST_WORD_ACK),
                                               stateNumber(BringUpState::WAIT_START_ADDRESS_ACK),
                                               stateNumber(BringUpState::WAIT_PRELOADER_READY),
                                               stateNumber(BringUpState::WAIT_SPEED_ECHO),
                                               stateNumber(BringUpState::WAIT_SIZE_SUM),
                                               stateNumber(BringUpState::WAIT_DMA_ACK),
                                               stateNumber(BringUpState::WAIT_CHUNK_SUM),
                                               stateNumber(BringUpState::WAIT_LAST_CHUNK_SUM),
                                               stateNumber(BringUpState::WAIT_LOADER_READY),
                                               stateNumber(BringUpState::WAIT_BASE_SUM),
                                               stateNumber(BringUpState::READ_FLASH_ID)};

// The NOR operations of this build and the idle state between them.
const std::set<std::int32_t> kLoaderStates = {IDLE,
                                              WAIT_START_REPLY,
                                              stateNumber(loader::LoaderState::WAIT_IMAGE_CRC_SUM),
                                              stateNumber(loader::LoaderState::WAIT_OFFSET_SUM),
                                              stateNumber(loader::LoaderState::WAIT_LENGTH_SUM),
                                              stateNumber(loader::LoaderState::WAIT_BLOCK_ACK),
                                              stateNumber(loader::LoaderState::WAIT_SECTOR_SUM),
                                              stateNumber(loader::LoaderState::WAIT_ERASE),
                                              stateNumber(loader::LoaderState::WAIT_DUMP_BLOCK)};

class RandomRepliesTest : public ::testing::Test {
  protected:
    explicit RandomRepliesTest() {
        view.userChoices.portIndex = 0;
        view.userChoices.speedIndex = 2;
        view.saveFileAnswer = dir.file("dump.hex");
        view.userChoices.binPath = dir.write("image.bin", test::randomImage(70000, 3));
    }

    void checkInvariants(const std::string& where) {
        SCOPED_TRACE(where);
        const std::int32_t state = EngineProbe::context(engine).state();
        if (EngineProbe::context(engine).loaderReady()) {
            EXPECT_EQ(kLoaderStates.count(state), 1u) << "loader state " << state;
            EXPECT_TRUE(link.connected) << "loader phase on a closed port";
        } else {
            EXPECT_EQ(kBringUpStates.count(state), 1u) << "bring-up state " << state;
            EXPECT_FALSE(EngineProbe::context(engine).holdsOpenFile());
            // Waiting for the phone needs a port, or the timer that reopens it.
            if (state != INITIAL && state != IDLE) {
                EXPECT_TRUE(link.connected || view.timerRunning) << "state " << state;
            }
        }
        // Block mode belongs to a requested dump block and to nothing else.
        const bool waitingForBlock = EngineProbe::context(engine).loaderReady() &&
                                     state == stateNumber(loader::LoaderState::WAIT_DUMP_BLOCK);
        EXPECT_EQ(link.blockMode, waitingForBlock) << "state " << state;
        EXPECT_EQ(link.writesWhileClosed, 0);
    }

    void deliver(const Bytes& bytes) {
        link.receive(bytes);
        engine.onDataReceived();
        checkInvariants("after a notification");
    }

    // Mostly what the phone would say in this state; sometimes anything at all.
    Bytes plausibleReply() {
        const std::int32_t state = EngineProbe::context(engine).state();
        const auto any = [&] { return static_cast<std::uint8_t>(m_Random()); };
        if (!EngineProbe::context(engine).loaderReady()) {
            switch (state) {
                case stateNumber(BringUpState::WAIT_CONNECT_REQUEST):
                    return {0x81};
                case stateNumber(BringUpState::WAIT_CONNECT_GRANT):
                    return {0x44};
                case stateNumber(BringUpState::READ_CHALLENGE):
                    return {any()};
                case stateNumber(BringUpState::WAIT_PRELOADER_READY):
                case stateNumber(BringUpState::WAIT_LOADER_READY):
                    return {0xAB};
                case stateNumber(BringUpState::WAIT_SPEED_ECHO):
                    return {static_cast<std::uint8_t>(view.userChoices.speedIndex)};
                case stateNumber(BringUpState::WAIT_SIZE_SUM):
                case stateNumber(BringUpState::WAIT_CHUNK_SUM):
                case stateNumber(BringUpState::WAIT_LAST_CHUNK_SUM):
                case stateNumber(BringUpState::WAIT_BASE_SUM):
                    return {EngineProbe::context(engine).armedExchange()->expectedReply};
                case stateNumber(BringUpState::WAIT_DMA_ACK):
                    return {0xF7};
                case stateNumber(BringUpState::READ_FLASH_ID):
                    return test::supportedFlashId();
                default:
                    return {0x4F};
            }
        }
        switch (state) {
            case stateNumber(loader::LoaderState::WAIT_DUMP_BLOCK): {
                Bytes block = test::randomImage(loader::kDumpBlockSize, m_Random());
                block.push_back(sum8(block));
                return block;
            }
            case WAIT_START_REPLY:
            case stateNumber(loader::LoaderState::WAIT_BLOCK_ACK):
                return {any()};
            default: {
                // Every operation's exchange carries the reply it waits for.
                const Exchange* armed = EngineProbe::context(engine).armedExchange();
                if (!armed)
                    return {any()};
                if (armed->awaits == Exchange::Awaits::OneOf)
                    return {armed->accepted[m_Random() % armed->acceptedCount]};
                return {armed->expectedReply};
            }
        }
    }

    Bytes noise() {
        Bytes bytes(1 + m_Random() % 24);
        for (auto& b : bytes)
            b = static_cast<std::uint8_t>(m_Random());
        // Now and then a ragged dump block: too short, too long, or with a wrong sum.
        if (m_Random() % 8 == 0)
            bytes.resize(loader::kDumpBlockSize + m_Random() % 3, 0x5A);
        return bytes;
    }

    // What a user might click next; the window's locked buttons are not modelled, so every
    // button is pressed in every state.
    void pressSomething() {
        switch (m_Random() % 8) {
            case 0:
            case 7:
                engine.stop();
                break;
            case 1:
                engine.start(view.userChoices);
                break;
            case 2:
                view.userChoices.useStartNorAddress = m_Random() % 2;
                view.userChoices.startAddressText = std::vector<std::string>{
                    "10000000", "11FF0000", "0x11FFE000", "1001", "zz", ""}[m_Random() % 6];
                engine.download(view.userChoices);
                break;
            case 3:
                view.sectorsToSelect = {static_cast<int>(m_Random() % 519),
                                        static_cast<int>(m_Random() % 519)};
                engine.erase(view.userChoices);
                break;
            case 4:
                view.sectorsToSelect = {static_cast<int>(m_Random() % 519),
                                        static_cast<int>(511 + m_Random() % 8)};
                engine.dump(view.userChoices);
                break;
            default:
                if (view.timerRunning) {
                    link.failOpens = static_cast<int>(m_Random() % 2);
                    view.timerRunning = false;
                    engine.onBaudTimer();
                }
                break;
        }
        checkInvariants("after a button");
    }

    // Stop, forget what the phone left in the queue, and bring it up again without a fault.
    void freshPhone() {
        engine.stop();
        std::uint8_t byte;
        while (link.queue.pop(byte)) {
        }
        link.failOpens = 0;
        test::bringUpPhone(engine, link, view);
        ASSERT_EQ(EngineProbe::context(engine).loaderReady(), 1);
        checkInvariants("after bring-up");
    }

    void run(int steps, int honestPercent, bool keepLoaderPhase) {
        for (int i = 0; i < steps && !HasFailure(); ++i) {
            if (keepLoaderPhase && !EngineProbe::context(engine).loaderReady())
                freshPhone();
            const unsigned roll = m_Random() % 100;
            if (roll < 5) {
                pressSomething();
            } else if (roll < 5 + static_cast<unsigned>(honestPercent)) {
                deliver(plausibleReply());
            } else {
                deliver(noise());
            }
            if (view.timerRunning && m_Random() % 4 == 0) {
                view.timerRunning = false;
                engine.onBaudTimer();
                checkInvariants("after the baud timer");
            }
        }
    }

    std::mt19937 m_Random{20261208};
    CheckedLink link;
    test::RecordingView view;
    test::FakeClock clock;
    ProtocolEngine engine{link, view, clock};
    test::TempDir dir;
};

TEST_F(RandomRepliesTest, NoiseInEveryBringUpStateLeavesAPossibleState) {
    const auto honest = test::bringUpReplies(EngineProbe::bringUp(engine).targetData(),
                                             view.userChoices.speedIndex);
    Bytes whole = honest.beforeSwitch;
    const std::size_t switchAt = whole.size();
    whole.insert(whole.end(), honest.afterSwitch.begin(), honest.afterSwitch.end());
    // Cut the honest stream where every state begins, and here and there in the long runs of
    // pre-loader words and boot-loader chunks.
    std::set<std::size_t> cuts;
    for (std::size_t cut = 0; cut < whole.size(); cut += 41)
        cuts.insert(cut);
    for (std::size_t cut = 0; cut < 24; ++cut)
        cuts.insert(cut);
    for (std::size_t cut = switchAt - 4; cut < switchAt + 8; ++cut)
        cuts.insert(cut);
    for (std::size_t cut = whole.size() - 14; cut < whole.size(); ++cut)
        cuts.insert(cut);
    for (const std::size_t cut : cuts) {
        if (HasFailure())
            break;
        SCOPED_TRACE("cut at " + std::to_string(cut));
        engine.stop();
        engine.start(view.userChoices);
        checkInvariants("after START");
        std::size_t at = 0;
        while (at < cut) {
            if (at == switchAt) {
                view.timerRunning = false;
                engine.onBaudTimer();
            }
            const std::size_t end = at < switchAt ? std::min(cut, switchAt) : cut;
            deliver(Bytes(whole.begin() + static_cast<std::ptrdiff_t>(at),
                          whole.begin() + static_cast<std::ptrdiff_t>(end)));
            at = end;
        }

        for (int i = 0; i < 6; ++i) {
            deliver(noise());
            if (view.timerRunning) {
                view.timerRunning = false;
                engine.onBaudTimer();
                checkInvariants("after the baud timer");
            }
        }
    }
}

TEST_F(RandomRepliesTest, AMostlyHonestPhoneAndARestlessUserNeverBreakTheEngine) {
    // Honest enough to get through a bring-up now and then, faulty enough to fail anywhere.
    run(6000, 93, false);
    run(6000, 80, true);
}

}  // namespace
}  // namespace zrk
