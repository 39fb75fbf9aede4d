// Two phones in one process, each with its own link, watcher, loop and engine on its own
// protocol thread, brought up and downloaded at the same time. Anything protocol-wide that
// were shared between them (a link owner, a port table, a buffer) would cross their bytes.
#include <gtest/gtest.h>

#include <latch>
#include <thread>

#include "e2e/SimulatedPhone.h"
#include "support/TestImages.h"

namespace zrk {
namespace {

struct PhoneRun {
    bool broughtUp = false;
    std::vector<OperationOutcome> outcomes;
    std::size_t violations = 0;
    bool norMatches = false;
    std::string log;
};

void runPhone(const test::Bytes& image, int speedIndex, std::latch& bothUp, PhoneRun& run) {
    test::SimulatedPhone phone;
    phone.view.userChoices.speedIndex = speedIndex;
    if (!phone.startSimulator())
        return;
    run.broughtUp = phone.bringUp();
    bothUp.arrive_and_wait();  // the downloads overlap, whatever the bring-ups took
    if (run.broughtUp) {
        phone.view.userChoices.binPath = phone.dir.write("image.bin", image);
        phone.view.outcomes.clear();
        phone.engine.download(phone.view.userChoices);
        phone.runUntil([&] { return !phone.view.outcomes.empty(); });
        run.norMatches = phone.nor(0, static_cast<std::uint32_t>(image.size())) == image;
    }
    run.outcomes = phone.view.outcomes;
    run.violations = phone.violations();
    run.log = phone.view.log;
}

TEST(TwoPhonesE2E, TwoEnginesInOneProcessDownloadAtTheSameTime) {
    const test::Bytes first = test::randomImage(300000, 1);
    const test::Bytes second = test::randomImage(200000, 2);
    std::latch bothUp(2);
    PhoneRun a, b;
    std::thread one([&] { runPhone(first, 3, bothUp, a); });
    std::thread two([&] { runPhone(second, 2, bothUp, b); });
    one.join();
    two.join();

    for (const PhoneRun* run : {&a, &b}) {
        ASSERT_TRUE(run->broughtUp) << run->log;
        ASSERT_EQ(run->outcomes.size(), 1u) << run->log;
        EXPECT_EQ(run->outcomes[0].operation, Operation::Firmware);
        EXPECT_TRUE(run->outcomes[0].completed()) << run->log;
        EXPECT_TRUE(run->norMatches);
        EXPECT_EQ(run->violations, 0u);
    }
    EXPECT_EQ(a.outcomes[0].bytes, first.size());
    EXPECT_EQ(b.outcomes[0].bytes, second.size());
}

}  // namespace
}  // namespace zrk
