// The station's runners, each with its own link, engine and loop, serving simulated phones side by
// side: what the tiles learn, what lands on the phones, and the reports they leave.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>

#include "station/StationHarness.h"
#include "support/JsonSchemaCheck.h"
#include "support/TestImages.h"

namespace zrk {
namespace {

using station::PortState;

nlohmann::json schema() {
    std::ifstream in(ZRK_REPORT_SCHEMA);
    return nlohmann::json::parse(in);
}

std::vector<std::string> reportsIn(const std::string& folder) {
    std::vector<std::string> files;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        files.push_back(entry.path().string());
    std::sort(files.begin(), files.end());
    return files;
}

station::Recipe binRecipe(const std::string& image) {
    station::Recipe recipe;
    recipe.mode = DownloadMode::ModeBin;
    recipe.binPath = image;
    recipe.speedIndex = 3;
    return recipe;
}

TEST(StationRun, FourPhonesThreePassOneFailsWithItsCauseAndEachLeavesAValidReport) {
    const test::Bytes image = test::randomImage(3 * 65536 + 1000, 5);
    sim::SimOptions faulty;
    faulty.faults.badSectorSum = 1;
    test::Station station;
    ASSERT_TRUE(station.addPhones({{}, {}, faulty, {}}));
    const std::string reports = station.dir.file("reports");
    std::filesystem::create_directory(reports);
    station::RunOptions options;
    options.reportFolder = reports;
    station.run(binRecipe(station.dir.write("fw.bin", image)), options);

    ASSERT_TRUE(station.waitFor([&] { return station.allEnded(); }));
    for (std::size_t i = 0; i < 4; ++i) {
        const test::TileSummary& tile = station.tiles[i];
        ASSERT_EQ(tile.phones.size(), 1u) << "port " << i << "\n" << tile.log;
        const station::PhoneResult& phone = tile.phones[0];
        EXPECT_FALSE(phone.flashName.empty());
        EXPECT_EQ(tile.flash, phone.flashName);
        EXPECT_GT(tile.progressEvents, 0);
        EXPECT_TRUE(phone.reportError.empty()) << phone.reportError;
        EXPECT_EQ(station.sims[i]->violationCount(), 0u) << station.sims[i]->summary();
        if (i == 2) {
            EXPECT_FALSE(phone.passed);
            EXPECT_EQ(tile.state, PortState::Failed);
            EXPECT_EQ(phone.failedCount, 1);
            // The tile's words come from the typed failure: what was asked and what came back.
            EXPECT_NE(phone.cause.find("wrong reply in \""), std::string::npos) << phone.cause;
            EXPECT_NE(phone.cause.find("expected 0x"), std::string::npos) << phone.cause;
        } else {
            EXPECT_TRUE(phone.passed) << phone.cause << "\n" << tile.log;
            EXPECT_TRUE(phone.cause.empty());
            EXPECT_EQ(tile.state, PortState::Done);
            EXPECT_EQ(phone.passedCount, 1);
            EXPECT_EQ(phone.bytes, image.size());
            EXPECT_TRUE(station.sims[i]->norRange(0, static_cast<std::uint32_t>(image.size())) ==
                        image);
        }
    }

    const test::JsonSchemaCheck check(schema());
    const auto files = reportsIn(reports);
    ASSERT_EQ(files.size(), 4u);
    int passed = 0;
    for (const auto& file : files) {
        std::ifstream in(file);
        const nlohmann::json report = nlohmann::json::parse(in);
        const auto problems = check.problems(report);
        EXPECT_TRUE(problems.empty()) << file << ": " << problems.front();
        ASSERT_EQ(report["ports"].size(), 1u);
        ASSERT_EQ(report["ports"][0]["phones"].size(), 1u);
        const auto& phone = report["ports"][0]["phones"][0];
        passed += phone["passed"].get<bool>() ? 1 : 0;
        // The bring-up and the download, with the image's size and CRC.
        EXPECT_EQ(phone["operations"].size(), 2u);
        if (!phone["passed"].get<bool>()) {
            EXPECT_EQ(report["ports"][0]["port"], "COM3");
            EXPECT_EQ(phone["result"], "failed");
            EXPECT_FALSE(phone["reason"].get<std::string>().empty());
        }
    }
    EXPECT_EQ(passed, 3);
}

TEST(StationRun, PortsWhoseDevicesShareTheirLastPartEachLeaveTheirOwnReport) {
    const test::Bytes image = test::randomImage(65536, 9);
    test::Station station;
    ASSERT_TRUE(station.addPhones({{}, {}, {}}));
    const std::string reports = station.dir.file("reports");
    std::filesystem::create_directory(reports);
    station::RunOptions options;
    options.reportFolder = reports;
    station.run(binRecipe(station.dir.write("fw.bin", image)), options,
                {"/dev/serial/a/ttyUSB0", "/dev/serial/b/ttyUSB0", "/dev/serial/c/ttyUSB0"});
    ASSERT_TRUE(station.waitFor([&] { return station.allEnded(); }));
    std::set<std::string> paths;
    for (const auto& tile : station.tiles) {
        ASSERT_EQ(tile.phones.size(), 1u) << tile.log;
        EXPECT_TRUE(tile.phones[0].passed) << tile.phones[0].cause;
        EXPECT_TRUE(paths.insert(tile.phones[0].reportPath).second) << tile.phones[0].reportPath;
    }
    const auto files = reportsIn(reports);
    ASSERT_EQ(files.size(), 3u);
    std::set<std::string> ports;
    for (const auto& file : files) {
        std::ifstream in(file);
        ports.insert(nlohmann::json::parse(in)["ports"][0]["port"].get<std::string>());
    }
    EXPECT_EQ(ports.size(), 3u);
}

TEST(StationRun, TheLoopServesPhoneAfterPhoneAndStopAllEndsEveryLink) {
    const test::Bytes image = test::randomImage(65536 + 10, 9);
    sim::SimOptions row;
    row.phonesInARow = 2;
    test::Station station;
    ASSERT_TRUE(station.addPhones({row, row, row}));
    station::RunOptions options;
    options.loop = true;
    station.run(binRecipe(station.dir.write("fw.bin", image)), options);

    // Two phones each, then every tile waits for a third that never comes.
    ASSERT_TRUE(station.waitFor([&] {
        for (const auto& tile : station.tiles)
            if (tile.phones.size() < 2 || tile.state != PortState::Waiting)
                return false;
        return true;
    }));
    for (std::size_t i = 0; i < station.tiles.size(); ++i) {
        const auto& phones = station.tiles[i].phones;
        EXPECT_TRUE(phones[0].passed && phones[1].passed) << station.tiles[i].log;
        EXPECT_EQ(phones[1].number, 2);
        EXPECT_EQ(phones[1].passedCount, 2);
        EXPECT_EQ(station.runners[i]->record().phones.size(), 2u);
        EXPECT_TRUE(station.sims[i]->hostOpen());
    }

    station.stopAll();
    ASSERT_TRUE(station.waitFor([&] { return station.allEnded(); }));
    for (std::size_t i = 0; i < station.tiles.size(); ++i) {
        EXPECT_EQ(station.tiles[i].state, PortState::Stopped);
        EXPECT_TRUE(station.runners[i]->finished());
        EXPECT_EQ(station.sims[i]->violationCount(), 0u) << station.sims[i]->summary();
    }
    // Every link is closed: each phone sees its host gone.
    for (auto& sim : station.sims)
        EXPECT_TRUE(station.waitFor([&] { return !sim->hostOpen(); }));
}

TEST(StationRun, StopInTheMiddleOfADownloadEndsThatPortOnly) {
    const test::Bytes image = test::randomImage(16 * 65536, 3);
    sim::SimOptions slow;
    slow.pacing = true;  // long enough to be stopped on the way
    test::Station station;
    ASSERT_TRUE(station.addPhones({slow, {}}));
    station.run(binRecipe(station.dir.write("fw.bin", image)), {});

    ASSERT_TRUE(station.waitFor([&] { return station.tiles[0].state == PortState::Downloading; }));
    const auto stopAt = std::chrono::steady_clock::now();
    station.runners[0]->stop();
    ASSERT_TRUE(station.waitFor([&] { return station.tiles[0].ended; }));
    // Meant to take well under a second; the bound only catches a stop that waits for the
    // download to run out.
    EXPECT_LT(std::chrono::steady_clock::now() - stopAt, std::chrono::seconds(10));
    ASSERT_TRUE(station.waitFor([&] { return station.allEnded(); }));
    ASSERT_EQ(station.tiles[0].phones.size(), 1u);
    EXPECT_FALSE(station.tiles[0].phones[0].passed);
    EXPECT_EQ(station.tiles[0].phones[0].cause, "stopped");
    EXPECT_EQ(station.tiles[0].state, PortState::Stopped);
    EXPECT_EQ(station.runners[0]->record().phones.at(0).result, "interrupted");
    ASSERT_EQ(station.tiles[1].phones.size(), 1u);
    EXPECT_TRUE(station.tiles[1].phones[0].passed) << station.tiles[1].log;
}

TEST(StationRun, APortThatCannotBeOpenedSaysSoAndEnds) {
    test::Station station;
    station.tiles.resize(1);
    station::PortTarget target{"COM9", station.dir.file("no-such-device"), {}};
    station.runners.push_back(std::make_unique<station::PortRunner>(
        0, target, binRecipe(station.dir.write("fw.bin", test::randomImage(100, 1))),
        station::RunOptions{}, station.events));
    station.runners[0]->start();
    ASSERT_TRUE(station.waitFor([&] { return station.allEnded(); }));
    EXPECT_EQ(station.tiles[0].state, PortState::PortProblem);
    EXPECT_TRUE(station.tiles[0].phones.empty());
    EXPECT_FALSE(station.tiles[0].endWords.empty());
    EXPECT_FALSE(station.runners[0]->record().note.empty());
}

TEST(StationRun, ASilentDeviceEndsItsPortWithoutHoldingUpTheOthers) {
    sim::SimOptions babbling;
    babbling.faults.babble = "nmea";  // talks without end, answers nothing
    test::Station station;
    ASSERT_TRUE(station.addPhones({babbling, {}}));
    const station::Recipe recipe =
        binRecipe(station.dir.write("fw.bin", test::randomImage(65536, 8)));
    // Only the silent port gets a short limit: the phone beside it may be slowed by a loaded
    // machine, and must not be judged by it.
    station::RunOptions shortWait;
    shortWait.silence = std::chrono::seconds(2);
    for (int i = 0; i < 2; ++i)
        station.runners.push_back(std::make_unique<station::PortRunner>(
            i, station::PortTarget{"COM" + std::to_string(i + 1), station.sims[i]->slavePath(), {}},
            recipe, i == 0 ? shortWait : station::RunOptions{}, station.events));
    for (auto& runner : station.runners)
        runner->start();

    ASSERT_TRUE(station.waitFor([&] { return station.allEnded(); }));
    EXPECT_EQ(station.tiles[0].state, PortState::PortProblem);
    EXPECT_TRUE(station.tiles[0].phones.empty());
    EXPECT_EQ(station.runners[0]->record().note, "no phone answered within 2 s");
    ASSERT_EQ(station.tiles[1].phones.size(), 1u);
    EXPECT_TRUE(station.tiles[1].phones[0].passed) << station.tiles[1].log;
}

// The pulled cable's phone hangs up the line: the pseudo-terminal number it frees could be taken
// by another test's phone, hence alone.
TEST(StationRunAlone, APulledCableOnOnePortLeavesTheOthersFinishing) {
    const test::Bytes image = test::randomImage(2 * 65536, 4);
    sim::SimOptions pulled;
    pulled.faults.hangUpAfter = 60000;  // in the middle of the boot-loader
    test::Station station;
    ASSERT_TRUE(station.addPhones({{}, pulled, {}}));
    station::RunOptions options;
    options.loop = true;
    station.run(binRecipe(station.dir.write("fw.bin", image)), options);

    ASSERT_TRUE(station.waitFor([&] {
        return station.tiles[0].phones.size() == 1 && station.tiles[2].phones.size() == 1 &&
               station.tiles[1].ended;
    }));
    ASSERT_EQ(station.tiles[1].phones.size(), 1u);
    EXPECT_FALSE(station.tiles[1].phones[0].passed);
    EXPECT_NE(station.tiles[1].phones[0].cause.find("cable pulled"), std::string::npos)
        << station.tiles[1].phones[0].cause;
    // The port is gone: the loop does not wait on it for ever.
    EXPECT_EQ(station.tiles[1].state, PortState::PortProblem);
    for (std::size_t i : {0u, 2u}) {
        EXPECT_TRUE(station.tiles[i].phones[0].passed) << station.tiles[i].log;
        EXPECT_TRUE(station.sims[i]->norRange(0, static_cast<std::uint32_t>(image.size())) ==
                    image);
    }
    station.stopAll();
    EXPECT_TRUE(station.waitFor([&] { return station.allEnded(); }));
}

}  // namespace
}  // namespace zrk
