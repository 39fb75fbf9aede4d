// The progress bar's rate and time left: shown only for work that lasts, changed at most a few
// times a second, counted in what the operation counts, and not misled by a pause.
#include <gtest/gtest.h>

#include <QPlainTextEdit>
#include <QProgressBar>

#include "app/LogPane.h"
#include "app/ProgressRate.h"

namespace zrk::test {
namespace {

using namespace std::chrono_literals;
using Clock = ProgressRate::Clock;

TEST(ProgressRate, ShowsRateAndTimeLeftOnlyAfterAFewSecondsAndNotTooOften) {
    const Clock::time_point t0{};
    ProgressRate rate;
    rate.start(1'000'000, t0);
    EXPECT_EQ(rate.update(100'000, t0 + 1s), std::nullopt);
    EXPECT_EQ(rate.update(250'000, t0 + 2500ms), std::nullopt);
    EXPECT_EQ(rate.update(400'000, t0 + 4s), "%p%  \u00b7  97.7 KB/s  \u00b7  0:06 left");
    EXPECT_EQ(rate.update(410'000, t0 + 4100ms), std::nullopt);  // a quarter second apart
    EXPECT_EQ(rate.update(500'000, t0 + 5s), "%p%  \u00b7  97.7 KB/s  \u00b7  0:05 left");
    // The end is always shown, with the average of the whole operation and nothing left.
    EXPECT_EQ(rate.update(1'000'000, t0 + 5100ms), "%p%  \u00b7  191.5 KB/s");
}

TEST(ProgressRate, APauseFadesOutOfTheEstimate) {
    const Clock::time_point t0{};
    ProgressRate rate;
    rate.start(100'000'000, t0);
    std::uint64_t position = 0;
    auto run = [&](Clock::time_point from, Clock::duration length) {
        std::optional<std::string> last;
        for (auto t = from; t <= from + length; t += 100ms) {
            if (auto text = rate.update(position, t))
                last = text;
            position += 10'240;  // 100 KB/s
        }
        return last;
    };
    run(t0, 20s);
    // Thirty seconds with nothing (a question on screen), then the same pace again.
    const auto text = run(t0 + 50s, 12s);
    ASSERT_TRUE(text);
    EXPECT_TRUE(text->find("100.0 KB/s") != std::string::npos) << *text;
}

TEST(ProgressRate, CountsInTheOperationsOwnUnit) {
    const Clock::time_point t0{};
    ProgressRate rate;
    rate.start(2048, t0);  // a dump counts kilobytes
    rate.setUnit(ProgressUnit::Kilobytes);
    EXPECT_EQ(rate.update(1024, t0 + 4s), "%p%  \u00b7  256.0 KB/s  \u00b7  0:04 left");
    rate.start(40, t0);  // an erase counts sectors; a new range counts bytes again
    EXPECT_EQ(rate.update(2, t0 + 4s), "%p%  \u00b7  0 B/s  \u00b7  1:16 left");
    rate.start(40, t0);
    rate.setUnit(ProgressUnit::Sectors);
    EXPECT_EQ(rate.update(10, t0 + 4s), "%p%  \u00b7  2.5 sectors/s  \u00b7  0:12 left");
    // Progress going back (a read-back after the write) measures afresh.
    rate.start(1'000'000, t0);
    EXPECT_TRUE(rate.update(900'000, t0 + 10s));
    EXPECT_EQ(rate.update(10'000, t0 + 11s), std::nullopt);
    EXPECT_EQ(rate.update(110'000, t0 + 12s), "%p%  \u00b7  97.7 KB/s  \u00b7  0:09 left");
}

TEST(ProgressRate, TextsOfRates) {
    EXPECT_EQ(ProgressRate::rateText(850, ProgressUnit::Bytes), "850 B/s");
    EXPECT_EQ(ProgressRate::rateText(1.25 * 1024 * 1024, ProgressUnit::Bytes), "1.2 MB/s");
    EXPECT_EQ(ProgressRate::rateText(3000, ProgressUnit::Kilobytes), "2.9 MB/s");
}

TEST(ProgressBarText, AppearsForLongWorkAndGoesWithTheNextRange) {
    QPlainTextEdit text;
    QProgressBar bar;
    bar.setTextVisible(false);
    LogPane pane(text, bar);
    Clock::time_point now{};
    pane.setClock([&] { return now; });

    pane.setProgressRange(1'000'000);
    pane.setProgressPos(0);
    now += 1s;
    pane.setProgressPos(100'000);
    EXPECT_FALSE(bar.isTextVisible());
    now += 3s;
    pane.setProgressPos(400'000);
    EXPECT_TRUE(bar.isTextVisible());
    EXPECT_EQ(bar.text(), "40%  \u00b7  97.7 KB/s  \u00b7  0:06 left");

    pane.setProgressRange(3);  // the next operation starts quiet
    EXPECT_FALSE(bar.isTextVisible());
    pane.setProgressUnit(ProgressUnit::Sectors);
    now += 4s;
    pane.setProgressPos(1);
    EXPECT_EQ(bar.text(), "33%  \u00b7  0.2 sectors/s  \u00b7  0:08 left");
    // The link closing sets the bar back to 0: the text goes with it.
    pane.setProgressPos(0);
    EXPECT_FALSE(bar.isTextVisible());
}

}  // namespace
}  // namespace zrk::test
