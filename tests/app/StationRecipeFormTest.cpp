// The station's recipe form as the settings keep it: every field comes back in the next window
// as it was stored, and stored values the form cannot show fall back to ones it can.
#include <gtest/gtest.h>

#include <QGroupBox>
#include <QTemporaryDir>
#include <QWidget>

#include "ScriptedPrompter.h"
#include "app/SettingsStore.h"
#include "app/dialogs/StationRecipeForm.h"

namespace zrk {
namespace {

TEST(StationRecipeForm, EveryFieldComesBackAsStoredAndOutOfRangeValuesFallBack) {
    QTemporaryDir dir;
    test::ScriptedPrompter prompter;
    QWidget window;
    station::Recipe r;
    r.mode = DownloadMode::ModeBinAndQix;
    r.binPath = dir.filePath("fw.bin").toStdString();
    r.qixPath = dir.filePath("fs.qix").toStdString();
    r.useStartAddress = true;
    r.startAddressText = "0x10020000";
    r.codePage = "CP1252";
    r.verify = true;
    r.powerOn = true;
    r.speedIndex = 2;
    {
        SettingsStore settings(dir.filePath("s.ini"));
        StationRecipeForm form(window, prompter);
        form.box()->setParent(&window);
        form.setRecipe(r);
        form.store(settings);
    }
    SettingsStore settings(dir.filePath("s.ini"));
    StationRecipeForm again(window, prompter);
    again.box()->setParent(&window);
    again.load(settings);
    const station::Recipe back = again.recipe();
    EXPECT_EQ(back.mode, r.mode);
    EXPECT_EQ(back.binPath, r.binPath);
    EXPECT_EQ(back.qixPath, r.qixPath);
    EXPECT_EQ(back.cfgPath, dir.filePath("fs.cfg").toStdString());
    EXPECT_TRUE(back.useStartAddress);
    EXPECT_EQ(back.startAddressText, r.startAddressText);
    EXPECT_EQ(back.codePage, r.codePage);
    EXPECT_TRUE(back.verify);
    EXPECT_TRUE(back.powerOn);
    EXPECT_EQ(back.speedIndex, r.speedIndex);

    settings.writeInt("StationMode", 7);
    settings.writeInt("StationSpeed", 99);
    settings.writeString("StationCodePage", "  CP949 ");
    StationRecipeForm odd(window, prompter);
    odd.box()->setParent(&window);
    odd.load(settings);
    EXPECT_EQ(odd.recipe().mode, DownloadMode::ModeBinAndQix);
    EXPECT_EQ(odd.recipe().speedIndex, 0);
    EXPECT_EQ(odd.recipe().codePage, "CP949");
}

}  // namespace
}  // namespace zrk
