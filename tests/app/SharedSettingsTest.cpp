// The window and the command line share one settings store: what the toolkit writes, the
// toolkit-free reader reads as the same values, and what that writes the window reads back,
// with every other value the window stored kept.
#include <QDir>
#include <QSettings>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <cstdlib>
#include <optional>
#include <string>

#include "app/SettingsStore.h"
#include "files/UserSettings.h"

namespace zrk::test {
namespace {

class SharedSettings : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(m_Home.isValid());
        if (const char* old = std::getenv("XDG_CONFIG_HOME"))
            m_OldXdg = old;
        ::setenv("XDG_CONFIG_HOME", m_Home.path().toLocal8Bit().constData(), 1);
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_Home.path());
    }
    void TearDown() override {
        const std::string restored =
            m_OldXdg ? *m_OldXdg
                     : std::string(std::getenv("HOME") ? std::getenv("HOME") : "") + "/.config";
        if (m_OldXdg)
            ::setenv("XDG_CONFIG_HOME", m_OldXdg->c_str(), 1);
        else
            ::unsetenv("XDG_CONFIG_HOME");
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                           QString::fromStdString(restored));
    }
    static QSettings windowStore() {
        return QSettings(SettingsStore::kOrganisation, SettingsStore::kApplication);
    }
    static UserSettings commandLineStore() {
        return UserSettings(SettingsStore::kOrganisation, SettingsStore::kApplication);
    }

    QTemporaryDir m_Home;
    std::optional<std::string> m_OldXdg;
};

TEST_F(SharedSettings, WhatTheWindowStoresReadsTheSameWithoutTheToolkit) {
    const QString awkward = QString::fromUtf8("/home/jörg/fw, \"new\"; v=2 \t.cla");
    {
        QSettings window = windowStore();
        window.setValue("Setting/COM", 7);
        window.setValue("Setting/SPEED", -1);
        window.setValue("Setting/BinPath", awkward);
        window.setValue("Setting/VavPath", QString::fromUtf8("  leading and trailing  "));
        window.setValue("Ports/COM3", "/dev/ttyUSB0");
        window.setValue("Ports/COM3.adapter", "serial=A5XK3RJ:00");
        window.setValue("Ports/COM4", QString::fromUtf8("@odd\\name\x01"
                                                        "1f"));
        window.setValue("Ports/COM5", QStringList{"a", "b"});
        window.sync();
        ASSERT_EQ(window.status(), QSettings::NoError);
    }
    const UserSettings shared = commandLineStore();
    EXPECT_EQ(shared.number("Setting", "COM"), 7);
    EXPECT_EQ(shared.number("Setting", "SPEED"), -1);
    EXPECT_EQ(shared.text("Setting", "BinPath"), awkward.toStdString());
    EXPECT_EQ(shared.text("Setting", "VavPath"), "  leading and trailing  ");
    EXPECT_EQ(shared.text("Ports", "COM3"), "/dev/ttyUSB0");
    EXPECT_EQ(shared.text("Ports", "COM3.adapter"), "serial=A5XK3RJ:00");
    EXPECT_EQ(shared.text("Ports", "COM4"), std::string("@odd\\name\x01"
                                                        "1f"));
    // A list is not a string to the window either.
    EXPECT_EQ(shared.text("Ports", "COM5"), std::nullopt);
    EXPECT_EQ(shared.text("Ports", "COM6"), std::nullopt);
    EXPECT_EQ(shared.number("Setting", "BinPath"), std::nullopt);
}

TEST_F(SharedSettings, WhatTheCommandLineStoresTheWindowReadsAndNothingElseIsLost) {
    {
        QSettings window = windowStore();
        window.setValue("Setting/COM", 2);
        window.setValue("Setting/BinPath", "/data/fw.cla");
        window.setValue("Ports/COM9", "/dev/ttyACM0");
        window.setValue("Ports/COM9.adapter", "usb=1-1.2:1.0");
        window.setValue("Station/Recipe", "keep me");
        window.sync();
    }
    UserSettings shared = commandLineStore();
    // The window changes something after the command line has read the store: kept too.
    {
        QSettings window = windowStore();
        window.setValue("Setting/SPEED", 3);
        window.sync();
    }
    const std::string awkward =
        "/dev/serial/by-id/usb-FTDI_FT232R, \"x\"; =\t\x7f"
        "ab";
    shared.setText("Ports", "COM3", awkward);
    shared.setText("Ports", "COM3.adapter", "serial=A5XK3RJ:00");
    shared.remove("Ports", "COM9.adapter");
    shared.setText("Ports", "COM9", "");
    std::string whyNot;
    ASSERT_TRUE(shared.save(&whyNot)) << whyNot;

    QSettings window = windowStore();
    EXPECT_EQ(window.value("Ports/COM3").toString().toStdString(), awkward);
    EXPECT_EQ(window.value("Ports/COM3.adapter").toString(), "serial=A5XK3RJ:00");
    EXPECT_EQ(window.value("Ports/COM9").toString(), "");
    EXPECT_FALSE(window.contains("Ports/COM9.adapter"));
    EXPECT_EQ(window.value("Setting/COM").toInt(), 2);
    EXPECT_EQ(window.value("Setting/SPEED").toInt(), 3);
    EXPECT_EQ(window.value("Setting/BinPath").toString(), "/data/fw.cla");
    EXPECT_EQ(window.value("Station/Recipe").toString(), "keep me");
    EXPECT_EQ(commandLineStore().text("Ports", "COM3"), awkward);
}

TEST_F(SharedSettings, AFirstSaveMakesTheStoreAndAnUnwritableOneSaysWhere) {
    UserSettings shared = commandLineStore();
    EXPECT_EQ(shared.text("Setting", "COM"), std::nullopt);
    shared.setText("Ports", "COM1", "/dev/ttyUSB1");
    ASSERT_TRUE(shared.save());
    EXPECT_EQ(windowStore().value("Ports/COM1").toString(), "/dev/ttyUSB1");

    // The organisation's folder taken by a file: the store cannot be made there.
    const QString blocked = m_Home.path() + "/blocked";
    ASSERT_TRUE(QDir().mkpath(blocked));
    ::setenv("XDG_CONFIG_HOME", blocked.toLocal8Bit().constData(), 1);
    {
        QFile squatter(blocked + "/" + SettingsStore::kOrganisation);
        ASSERT_TRUE(squatter.open(QIODevice::WriteOnly));
    }
    UserSettings refused = commandLineStore();
    refused.setText("Ports", "COM1", "/dev/ttyUSB1");
    std::string whyNot;
    EXPECT_FALSE(refused.save(&whyNot));
    EXPECT_NE(whyNot.find(blocked.toStdString()), std::string::npos) << whyNot;
}

}  // namespace
}  // namespace zrk::test
