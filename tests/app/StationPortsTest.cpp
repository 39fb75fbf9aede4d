// The station's port list: the cables plugged in come first, and paths that differ only at
// their ends can be told apart.
#include <gtest/gtest.h>

#include <QListWidget>
#include <QTemporaryDir>

#include "ScriptedPrompter.h"
#include "app/SerialScanner.h"
#include "app/SettingsStore.h"
#include "app/dialogs/StationWindow.h"
#include "serial/PortMap.h"

namespace zrk {
namespace {

class StationPorts : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        settings = std::make_unique<SettingsStore>(dir.filePath("settings.ini"));
    }
    void TearDown() override {
        setSerialScanner([] { return std::vector<SerialDevice>{}; });
        portMap().setDevice(4, "");
    }
    QStringList shown(StationWindow& window) {
        auto* list = window.findChild<QListWidget*>();
        QStringList texts;
        for (int i = 0; list && i < list->count(); ++i)
            texts << list->item(i)->text();
        return texts;
    }

    QTemporaryDir dir;
    std::unique_ptr<SettingsStore> settings;
    test::ScriptedPrompter prompter;
};

TEST_F(StationPorts, TheDevicesPresentComeFirstWithTheirNamesAndIdentity) {
    SerialDevice adapter;
    adapter.path = "/dev/ttyUSB0";
    adapter.kind = SerialKind::Usb;
    adapter.usb = UsbIdentity{};
    adapter.usb->manufacturer = "FTDI";
    adapter.usb->product = "FT232R USB UART";
    adapter.usb->serial = "A5XK3RJ";
    SerialDevice unnamed;
    unnamed.path = "/dev/ttyACM1";
    unnamed.kind = SerialKind::Acm;
    SerialDevice terminal;
    terminal.path = "/dev/pts/4";
    terminal.kind = SerialKind::PseudoTerminal;
    setSerialScanner([=] { return std::vector<SerialDevice>{adapter, unnamed, terminal}; });
    portMap().setDevice(4, "/dev/ttyUSB0");

    StationWindow window(*settings, prompter);
    const QStringList texts = shown(window);
    ASSERT_EQ(texts.size(), 21);
    EXPECT_EQ(texts[0], "COM4  /dev/ttyUSB0  FTDI FT232R USB UART  A5XK3RJ");
    EXPECT_EQ(texts[1], "/dev/ttyACM1  ACM");
    EXPECT_EQ(texts[2], "COM1  /dev/ttyS0");
    EXPECT_FALSE(texts.contains("COM4  /dev/ttyUSB0")) << "listed once";
}

TEST_F(StationPorts, AddedPathsAreShownWholeSoTheirEndsTellThemApart) {
    const QString first = "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A5XK3RJ-if00-port0";
    const QString second = "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_B71QZ02-if00-port0";
    StationWindow window(*settings, prompter);
    window.addDevicePath(first);
    window.addDevicePath(second);
    window.show();
    auto* list = window.findChild<QListWidget*>();
    ASSERT_NE(list, nullptr);
    const QFontMetrics metrics(list->font());
    for (int i = list->count() - 2; i < list->count(); ++i) {
        const QListWidgetItem* item = list->item(i);
        // The text as the list draws it into the part of the row one can see.
        const int room = list->viewport()->width() - 30;  // the check box and margins
        const QString drawn = metrics.elidedText(item->text(), list->textElideMode(), room);
        EXPECT_TRUE(drawn.endsWith(item->text().right(18)))
            << drawn.toStdString() << " in " << room << " px";
        EXPECT_EQ(item->toolTip(), item->text());
    }
}

}  // namespace
}  // namespace zrk
