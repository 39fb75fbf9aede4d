// The window as the owner of a real port: bytes the phone sends on a pseudo-terminal reach the
// engine on the window's thread through the watcher's posted events, and closing the window
// closes the port.
#include <unistd.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>

#include "WindowFixture.h"
#include "engine/OpenFailureText.h"
#include "serial/CommPort.h"
#include "serial/PortMap.h"
#include "serial/PseudoTerminal.h"

namespace zrk::test {
namespace {

TEST(RealPort, ThePhonesBytesAreDrainedOnTheWindowsThread) {
    QTemporaryDir dir;
    SettingsStore settings(dir.filePath("s.ini"));
    ScriptedPrompter prompter;
    PseudoTerminal phone;
    ASSERT_TRUE(phone.open());
    portMap().setDevice(20, phone.slavePath());
    CommPort port;
    {
        MainWindow window(port, settings, prompter);
        ASSERT_TRUE(port.open(20, 115200)) << describeOpenFailure(port.lastOpenFailure());
        const unsigned char bytes[] = {0x81, 0x81, 0x81};
        ASSERT_EQ(::write(phone.masterFd(), bytes, sizeof bytes), 3);
        // The watcher queues the bytes on its own thread; nothing drains them until the window's
        // thread runs its events.
        QDeadlineTimer deadline(30000);
        while (port.receiveQueue().count() < 3 && !deadline.hasExpired())
            QThread::msleep(5);
        ASSERT_EQ(port.receiveQueue().count(), 3);
        while (port.receiveQueue().count() > 0 && !deadline.hasExpired())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        EXPECT_EQ(port.receiveQueue().count(), 0);
    }
    EXPECT_FALSE(port.isConnected());
    portMap().setDevice(20, "");
}

}  // namespace
}  // namespace zrk::test
