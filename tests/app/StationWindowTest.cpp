// The station window over simulated phones: tiles that say PASS or FAIL with the cause, the
// reports in the chosen folder, the recipe kept for the next run, and a close during writes that
// asks first.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QThread>
#include <filesystem>
#include <fstream>
#include <memory>

#include "ScriptedPrompter.h"
#include "app/SettingsStore.h"
#include "app/dialogs/StationTile.h"
#include "app/dialogs/StationWindow.h"
#include "engine/SectorMap.h"
#include "engine/StartAddress.h"
#include "sim/PhoneSimulator.h"
#include "station/StationEvents.h"
#include "support/TestImages.h"

namespace zrk {
namespace {

class StationWindowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        settings = std::make_unique<SettingsStore>(dir.filePath("settings.ini"));
    }

    std::string addPhone(sim::SimOptions options = {}) {
        sims.push_back(std::make_unique<sim::PhoneSimulator>(options));
        std::string error;
        EXPECT_TRUE(sims.back()->start(&error)) << error;
        return sims.back()->slavePath();
    }

    // The window's events until done() holds, with a bound for a loaded machine.
    bool pumpUntil(const std::function<bool()>& done) {
        QDeadlineTimer deadline(180000);
        while (!done()) {
            if (deadline.hasExpired())
                return false;
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
            QThread::msleep(10);
        }
        return true;
    }

    station::Recipe recipe(const test::Bytes& image) {
        station::Recipe r;
        r.binPath = dir.filePath("fw.bin").toStdString();
        std::ofstream(r.binPath, std::ios::binary)
            .write(reinterpret_cast<const char*>(image.data()),
                   static_cast<std::streamsize>(image.size()));
        r.speedIndex = 3;
        return r;
    }

    QTemporaryDir dir;
    std::unique_ptr<SettingsStore> settings;
    test::ScriptedPrompter prompter;
    std::vector<std::unique_ptr<sim::PhoneSimulator>> sims;
};

TEST_F(StationWindowTest, TilesSayPassOrFailWithTheCauseAndTheRecipeIsKept) {
    sim::SimOptions faulty;
    faulty.faults.badSectorSum = 0;
    const QString good = QString::fromStdString(addPhone());
    const QString bad = QString::fromStdString(addPhone(faulty));
    const test::Bytes image = test::randomImage(2 * 65536, 2);
    const QString reports = dir.filePath("reports/today");
    {
        StationWindow window(*settings, prompter);
        window.setRecipe(recipe(image));
        window.addDevicePath(good);
        window.addDevicePath(bad);
        window.setReportFolder(reports);
        window.startAll();
        ASSERT_EQ(window.tiles().size(), 2u) << prompter.messageTexts().join('\n').toStdString();
        ASSERT_TRUE(pumpUntil([&] { return !window.running(); }));
        window.drainEvents();

        StationTile& pass = *window.tiles()[0];
        StationTile& fail = *window.tiles()[1];
        EXPECT_EQ(pass.resultText(), "PASS") << window.portLog(0).toStdString();
        EXPECT_EQ(fail.resultText(), "FAIL");
        EXPECT_TRUE(fail.causeText().startsWith("wrong reply in"))
            << fail.causeText().toStdString();
        // A screen reader hears what the tile shows.
        EXPECT_TRUE(pass.accessibleDescription().contains("last phone: PASS"));
        EXPECT_TRUE(fail.accessibleDescription().contains(fail.causeText()));
        EXPECT_TRUE(fail.accessibleDescription().contains("failed 1"));
        // Each label is heard with its value, not only by its role.
        const auto heard = [](const StationTile& tile, const QString& text) {
            for (const QLabel* label : tile.findChildren<QLabel*>())
                if (label->text() == text)
                    return label->accessibleName();
            return QString();
        };
        EXPECT_TRUE(heard(pass, "PASS").endsWith("last result: PASS"))
            << heard(pass, "PASS").toStdString();
        EXPECT_TRUE(heard(fail, fail.causeText()).endsWith("cause: " + fail.causeText()));
        const QString stage =
            heard(pass, QString::fromLatin1(station::portStateWords(pass.state())));
        EXPECT_TRUE(stage.contains("stage: ")) << stage.toStdString();
        EXPECT_FALSE(window.portLog(1).isEmpty());
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(reports.toStdString()),
                                std::filesystem::directory_iterator{}),
                  2);
        EXPECT_TRUE(sims[0]->norRange(0, static_cast<std::uint32_t>(image.size())) == image);

        // Save report...: both ports in one document.
        prompter.saveAnswers.push_back(dir.filePath("all.json"));
        window.saveReport();
        EXPECT_TRUE(QFile::exists(dir.filePath("all.json")));
    }
    // The next window starts with the same recipe, ports and folder.
    StationWindow again(*settings, prompter);
    EXPECT_EQ(again.recipe().binPath, dir.filePath("fw.bin").toStdString());
    EXPECT_EQ(again.recipe().speedIndex, 3);
    again.startAll();
    ASSERT_EQ(again.tiles().size(), 2u);
    EXPECT_EQ(again.tiles()[1]->accessibleName(), bad + " tile");
    again.stopAll();
    ASSERT_TRUE(pumpUntil([&] { return !again.running(); }));
}

TEST_F(StationWindowTest, TheStartAddressHintIsAnAddressTheFieldTakes) {
    StationWindow window(*settings, prompter);
    QLineEdit* field = nullptr;
    for (QLineEdit* edit : window.findChildren<QLineEdit*>())
        if (edit->accessibleName() == "NOR start address")
            field = edit;
    ASSERT_NE(field, nullptr);
    SectorMap map;
    map.activate();
    EXPECT_EQ(
        judgeStartAddress(parseStartAddress(field->placeholderText().toStdString()), map).kind,
        StartAddressVerdict::Kind::Accepted)
        << field->placeholderText().toStdString();
    EXPECT_TRUE(field->accessibleDescription().contains("0x10000000 to 0x11FFFFFF"))
        << field->accessibleDescription().toStdString();
}

TEST_F(StationWindowTest, ClosingDuringAWriteAsksFirstAndNoKeepsItRunning) {
    sim::SimOptions paced;
    paced.pacing = true;
    const QString device = QString::fromStdString(addPhone(paced));
    StationWindow window(*settings, prompter);
    window.setRecipe(recipe(test::randomImage(16 * 65536, 6)));
    window.addDevicePath(device);
    window.startAll();
    ASSERT_EQ(window.tiles().size(), 1u);
    ASSERT_TRUE(
        pumpUntil([&] { return window.tiles()[0]->state() == station::PortState::Downloading; }));

    prompter.yes = false;
    window.reject();
    ASSERT_EQ(prompter.questions.size(), 1u);
    EXPECT_EQ(prompter.defaults.back(), DefaultAnswer::No);
    EXPECT_TRUE(window.running());

    prompter.yes = true;
    window.reject();
    EXPECT_FALSE(window.running());
    EXPECT_EQ(window.tiles()[0]->resultText(), "FAIL");
    EXPECT_EQ(window.tiles()[0]->causeText(), "stopped");
    // Closed, the window still has the run for "Save report...".
    ASSERT_EQ(window.records().size(), 1u);
    EXPECT_EQ(window.records()[0].phones.at(0).result, "interrupted");
}

}  // namespace
}  // namespace zrk
