#pragma once
// The main window on a real CommPort, COM1 mapped to a phone simulator's pseudo-terminal, its
// prompts scripted. The Qt event loop is pumped until a condition holds; every wait has a
// generous deadline and a missed one fails the test instead of hanging it.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QComboBox>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QLineEdit>
#include <QProgressBar>
#include <QTemporaryDir>
#include <algorithm>
#include <functional>
#include <initializer_list>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "ControlLayout.h"
#include "ScriptedPrompter.h"
#include "app/MainWindow.h"
#include "app/SettingsStore.h"
#include "protocol/ProtocolEngine.h"
#include "serial/ByteTrace.h"
#include "serial/CommPort.h"
#include "serial/PortMap.h"
#include "sim/PhoneSimulator.h"
#include "support/TestImages.h"

namespace zrk::test {

// Keeps the bytes the host wrote, in order (the watcher's reads are not kept).
class HostBytes : public TraceSink {
  public:
    void traceBlock(TraceDirection direction, const std::uint8_t* data,
                    std::size_t length) override {
        if (direction != TraceDirection::HostToPhone)
            return;
        std::lock_guard lock(m_Lock);
        m_Bytes.insert(m_Bytes.end(), data, data + length);
    }
    void traceNote(const std::string&) override {}
    Bytes bytes() const {
        std::lock_guard lock(m_Lock);
        return m_Bytes;
    }
    void clear() {
        std::lock_guard lock(m_Lock);
        m_Bytes.clear();
    }

  private:
    mutable std::mutex m_Lock;
    Bytes m_Bytes;
};

// In mode BIN with the start address unticked.
inline const std::string kLoaderLayout = layout("DDDEDE EEEEE EE EEE EEEE EEE DD D ED EEEE");
inline const std::string kLockedLayout = layout("DDDEDD DDDDD DD DDD DDDD DDD DD D DD EEEE");
inline const std::string kUnconnectedLayout = layout("EEEDEE DDDDD DD EEE EEEE EEE DD D DD EEEE");

inline constexpr const char* kClosingText =
    "\r\n\r\n** Now you can do the followings. **\r\n\r\n1. Download the BINARY and/or QIX "
    "files\r\n2. Dump NOR-Flash\r\n3. Erase NOR-Flash\r\n4. Format Nand-Flash\r\n5. Dump QIX "
    "files\r\n6. Check the status of NAND-Flash\r\n";

class SimWindowFixture : public ::testing::Test {
  protected:
    // A loaded two-core machine with sanitizers is slow; a phone silent this long is a fault.
    static constexpr int kDeadlineMs = 120000;

    void TearDown() override {
        window.reset();  // closes the port and joins its watcher
        port.close();
        port.setTrace(nullptr);
        if (sim)
            sim->stop();
        portMap().setDevice(1, "");
    }

    // A strict simulator behind COM1 and a fresh window in front of it.
    void startPhone(const sim::SimOptions& options = {}) {
        ASSERT_TRUE(dir.isValid());
        settings = std::make_unique<SettingsStore>(dir.filePath(QStringLiteral("settings.ini")));
        sim = std::make_unique<sim::PhoneSimulator>(options);
        std::string error;
        ASSERT_TRUE(sim->start(&error)) << error;
        port.setTrace(&hostBytes);
        window = std::make_unique<MainWindow>(port, *settings, prompter);
        window->useSimulator(QString::fromStdString(sim->slavePath()));
    }

    // Runs the window's events until done() holds; false when the deadline passed first.
    bool pumpUntil(const std::function<bool()>& done, int deadlineMs = kDeadlineMs) {
        QDeadlineTimer deadline(deadlineMs);
        while (!done()) {
            if (deadline.hasExpired())
                return false;
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        }
        return true;
    }

    ProtocolEngine& engine() { return window->engine(); }

    template <typename T = QWidget>
    T* w(const char* name) {
        T* widget = window->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }
    void click(const char* name) { w<QAbstractButton>(name)->click(); }
    QString text(const char* name) { return w<QLineEdit>(name)->text(); }
    std::string controls() {
        std::string out;
        for (const char* name : kAllControls)
            out += w(name)->isEnabled() ? 'E' : 'D';
        return out;
    }
    QProgressBar& progress() { return *w<QProgressBar>("progressBar"); }
    const std::string& log() { return window->logText(); }
    bool logHas(const std::string& part) { return log().find(part) != std::string::npos; }

    void chooseSpeed(int index) { w<QComboBox>("speedList")->setCurrentIndex(index); }

    // The phone's answer to START: the loader phase, or a stopped link after a failure.
    bool loaderReady() { return engine().stage() == Stage::Ready; }
    bool linkStopped() { return !port.isConnected() && w("startButton")->isEnabled(); }

    // START and the whole bring-up; true when the flash was identified.
    bool bringUp() {
        prompter.messages.clear();
        click("startButton");
        return pumpUntil([&] { return loaderReady() || linkStopped(); }) && loaderReady();
    }

    // Picks the firmware image through BIN... as a person would.
    std::string pickImage(const Bytes& image, const std::string& name = "image.bin") {
        const QString path = dir.filePath(QString::fromStdString(name));
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(reinterpret_cast<const char*>(image.data()), static_cast<qint64>(image.size()));
        file.close();
        prompter.openAnswers.push_back(path);
        click("binButton");
        return path.toStdString();
    }

    // An operation from its button to its closing message box; false if none came.
    bool operate(const char* button) {
        prompter.messages.clear();
        click(button);
        return pumpUntil([&] { return !prompter.messages.empty(); });
    }
    QString lastMessage() const {
        return prompter.messages.empty() ? QString() : prompter.messages.back().text;
    }

    Bytes nor(std::uint32_t offset, std::size_t length) const {
        return sim->norRange(offset, static_cast<std::uint32_t>(length));
    }

    QTemporaryDir dir;
    std::unique_ptr<SettingsStore> settings;
    ScriptedPrompter prompter;
    std::unique_ptr<sim::PhoneSimulator> sim;
    HostBytes hostBytes;
    CommPort port;
    std::unique_ptr<MainWindow> window;
};

}  // namespace zrk::test
