#pragma once
// A main window over a fake link, with a settings store in a temporary folder and scripted
// prompts.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QTemporaryDir>
#include <memory>

#include "ScriptedPrompter.h"
#include "app/MainWindow.h"
#include "app/SettingsStore.h"
#include "protocol/ProtocolEngine.h"
#include "support/FakeLink.h"

namespace zrk::test {

class WindowFixture : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        settings = std::make_unique<SettingsStore>(settingsFile());
    }
    QString settingsFile() const { return dir.filePath(QStringLiteral("settings.ini")); }

    MainWindow& open() {
        window = std::make_unique<MainWindow>(link, *settings, prompter);
        return *window;
    }
    // A second run: a fresh store object on the same file, and a fresh window.
    MainWindow& reopen() {
        window.reset();
        settings = std::make_unique<SettingsStore>(settingsFile());
        return open();
    }

    template <typename T = QWidget>
    T* w(const char* name) {
        T* widget = window->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }
    bool enabled(const char* name) { return w(name)->isEnabled(); }
    QString text(const char* name) { return w<QLineEdit>(name)->text(); }
    void click(const char* name) { w<QAbstractButton>(name)->click(); }
    const std::string& log() const { return window->logText(); }
    bool logHas(const std::string& part) const { return log().find(part) != std::string::npos; }

    // Enabled state of many controls at once, for readable expectations.
    std::string states(std::initializer_list<const char*> names) {
        std::string out;
        for (const char* name : names)
            out += enabled(name) ? 'E' : 'D';
        return out;
    }

    QTemporaryDir dir;
    std::unique_ptr<SettingsStore> settings;
    FakeLink link;
    ScriptedPrompter prompter;
    std::unique_ptr<MainWindow> window;
};

}  // namespace zrk::test
