// The port list with cables plugged in: each name shows its device and the adapter behind it,
// a new adapter gets a name of its own that it keeps, Map... beside the list sets another
// device, and a START on a missing device says what is there instead.
#include <QPushButton>

#include "WindowFixture.h"
#include "app/PortComboBox.h"
#include "app/SerialScanner.h"
#include "serial/PortMap.h"

namespace zrk::test {
namespace {

SerialDevice ftdiAt(const std::string& path) {
    SerialDevice d;
    d.path = path;
    d.kind = SerialKind::Usb;
    d.usb = UsbIdentity{};
    d.usb->manufacturer = "FTDI";
    d.usb->product = "FT232R USB UART";
    d.usb->serial = "A5XK3RJ";
    d.usb->usbPath = "1-2:1.0";
    d.usb->interfaceNumber = "00";
    d.mayOpen = true;
    return d;
}

SerialDevice onBoardPort() {
    SerialDevice d;
    d.path = "/dev/ttyS0";
    return d;
}

class FailingLink : public FakeLink {
  public:
    OpenFailure lastOpenFailure() const override { return failure; }
    OpenFailure failure;
};

class PortListWindow : public WindowFixture {
  protected:
    void SetUp() override {
        WindowFixture::SetUp();
        setSerialScanner([this] { return present; });
    }
    void TearDown() override {
        window.reset();
        setSerialScanner([] { return std::vector<SerialDevice>{}; });
        for (int n = PortMap::kFirstPort; n <= PortMap::kLastPort; ++n)
            portMap().setDevice(n, "");
    }
    PortComboBox* ports() { return w<PortComboBox>("portList"); }
    QString shown(int index) {
        return ports()->itemText(index) + "  " +
               ports()->itemData(index, PortComboBox::kDetailRole).toString();
    }

    std::vector<SerialDevice> present;
};

TEST_F(PortListWindow, APluggedInAdapterGetsTheFirstFreeNameShownWithItsIdentity) {
    present = {onBoardPort(), ftdiAt("/dev/ttyUSB0")};
    open();
    // COM1 is the on-board port's; the adapter is COM2, one click away.
    EXPECT_EQ(ports()->itemText(1), "COM2");
    EXPECT_EQ(shown(1), "COM2  /dev/ttyUSB0  FTDI FT232R USB UART  A5XK3RJ");
    EXPECT_EQ(shown(0), "COM1  /dev/ttyS0  on-board");
    EXPECT_EQ(shown(4), "COM5  /dev/ttyS4");
    EXPECT_EQ(portMap().device(2), "/dev/ttyUSB0");
    EXPECT_EQ(ports()->itemData(1, Qt::AccessibleTextRole).toString(),
              "COM2, /dev/ttyUSB0  FTDI FT232R USB UART  A5XK3RJ");

    // Plugged in again where the system gives it another path: still COM2.
    window.reset();
    portMap().setDevice(2, "");
    present = {onBoardPort(), ftdiAt("/dev/ttyUSB3")};
    reopen();
    EXPECT_EQ(portMap().device(2), "/dev/ttyUSB3");
    EXPECT_EQ(SettingsStore(settingsFile()).portDevice(2), "/dev/ttyUSB3");
    EXPECT_EQ(SettingsStore(settingsFile()).portAdapter(2), "serial=A5XK3RJ:00");
}

TEST_F(PortListWindow, OpeningTheListLooksForCablesPluggedInSinceTheStart) {
    open();
    EXPECT_EQ(shown(0), "COM1  /dev/ttyS0");
    present = {ftdiAt("/dev/ttyUSB0")};
    ports()->showPopup();
    ports()->hidePopup();
    EXPECT_EQ(shown(0), "COM1  /dev/ttyUSB0  FTDI FT232R USB UART  A5XK3RJ");
}

TEST_F(PortListWindow, MapBesideTheListSetsTheDeviceOfTheChosenName) {
    present = {onBoardPort(), ftdiAt("/dev/ttyUSB0")};
    open();
    ports()->setCurrentIndex(6);
    prompter.textAnswers.push_back(QStringLiteral("/dev/ttyUSB0"));
    click("mapButton");
    ASSERT_EQ(prompter.textInitials.size(), 1);
    EXPECT_EQ(prompter.textInitials[0], "/dev/ttyS6");
    EXPECT_EQ(portMap().device(7), "/dev/ttyUSB0");
    // Chosen by its path, the adapter is still followed by its serial number.
    EXPECT_EQ(SettingsStore(settingsFile()).portAdapter(7), "serial=A5XK3RJ:00");

    // Like the list, it waits while a port is open.
    window->stageChanged(Stage::WaitingForPhone);
    EXPECT_FALSE(enabled("mapButton"));
    window->linkClosed();
    EXPECT_TRUE(enabled("mapButton"));
}

TEST(PortListFailure, StartOnAMissingDeviceNamesTheDevicesPresentAndHowToMapOne) {
    QTemporaryDir dir;
    SettingsStore settings(dir.filePath("s.ini"));
    ScriptedPrompter prompter;
    FailingLink link;
    setSerialScanner([] { return std::vector<SerialDevice>{ftdiAt("/dev/ttyUSB0")}; });
    settings.writeInt("COM", 1);
    settings.setPortDevice(2, "/dev/ttyS1");
    link.failure = {OpenFailure::Kind::NotFound,
                    std::make_error_code(std::errc::no_such_file_or_directory), "/dev/ttyS1"};
    {
        MainWindow window(link, settings, prompter);
        window.messageBox("Port Initialization Failed!", MessageIcon::Error);
        ASSERT_EQ(prompter.messages.size(), 1u);
        EXPECT_EQ(prompter.messages[0].text, "Port Initialization Failed!");
        const QString& detail = prompter.messages[0].detail;
        EXPECT_TRUE(detail.startsWith("/dev/ttyS1 does not exist")) << detail.toStdString();
        EXPECT_TRUE(detail.contains("COM1  /dev/ttyUSB0  FTDI FT232R USB UART  A5XK3RJ"))
            << detail.toStdString();
        EXPECT_TRUE(detail.contains("Map...")) << detail.toStdString();
        const std::string& log = window.logText();
        EXPECT_NE(log.find("** Serial devices present:\r\n"
                           "   COM1  /dev/ttyUSB0  FTDI FT232R USB UART  A5XK3RJ\r\n"),
                  std::string::npos)
            << log;
        EXPECT_NE(log.find("press Map... beside the list to set the device COM2 stands for"),
                  std::string::npos)
            << log;
    }
    setSerialScanner([] { return std::vector<SerialDevice>{}; });
    for (int n = PortMap::kFirstPort; n <= PortMap::kLastPort; ++n)
        portMap().setDevice(n, "");
}

// The cause goes under the port's own box only, and the log's report needs a device to describe:
// another box keeps its text alone, and a failure with no device path stops at the box.
TEST(PortListFailure, TheCauseGoesOnlyUnderThePortsBoxAndTheLogOnlyWithADevice) {
    QTemporaryDir dir;
    SettingsStore settings(dir.filePath("s.ini"));
    ScriptedPrompter prompter;
    FailingLink link;
    link.failure = {OpenFailure::Kind::PermissionDenied,
                    std::make_error_code(std::errc::permission_denied), "/dev/ttyS0"};
    MainWindow window(link, settings, prompter);
    const std::string before = window.logText();
    window.messageBox("Cannot open file!", MessageIcon::Error);
    ASSERT_EQ(prompter.messages.size(), 1u);
    EXPECT_TRUE(prompter.messages[0].detail.isEmpty()) << prompter.messages[0].detail.toStdString();
    EXPECT_EQ(window.logText(), before);

    link.failure = {OpenFailure::Kind::ThreadFailed,
                    std::make_error_code(std::errc::resource_unavailable_try_again), ""};
    window.messageBox("Port Initialization Failed!", MessageIcon::Error);
    ASSERT_EQ(prompter.messages.size(), 2u);
    EXPECT_TRUE(prompter.messages[1].detail.startsWith("cannot start the reader for"))
        << prompter.messages[1].detail.toStdString();
    // Not a missing device: no list of what is there instead.
    EXPECT_FALSE(prompter.messages[1].detail.contains('\n'));
    EXPECT_EQ(window.logText(), before);
}

}  // namespace
}  // namespace zrk::test
